#include "FileReplacement.h"

#include <cerrno>

namespace kel::platform {

bool CFileReplacement::Open(const std::string& target, int& error)
{
    m_bOpen = false;
    const CFileHandle::Opened opened = m_rewrite.OpenOrNew(target);
    if (opened == CFileHandle::Opened::Yes && m_rewrite.Begin()) {
        m_bOpen = true;
        return true;
    }
    error = errno;
    m_rewrite.Abandon();
    return false;
}

bool CFileReplacement::Write(std::string_view bytes, int& error)
{
    if (m_bOpen && m_rewrite.Write(bytes))
        return true;
    error = m_bOpen ? errno : EBADF;
    return false;
}

bool CFileReplacement::Commit(int& error)
{
    error = 0;
    if (!m_bOpen) {
        error = EBADF;
        return false;
    }
    m_bOpen = false;
    if (m_rewrite.Commit())
        return true;
    error = errno;
    return false;
}

} // namespace kel::platform
