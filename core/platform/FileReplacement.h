#pragma once

// CFileReplacement: the file rewrite (CFileRewrite) as downloads use it,
// with errno values handed back in `error`. A file received whole takes the
// target's place only at Commit, with the old file's mode and (where the
// process may) owner; until then the target keeps its old bytes, and an
// object destroyed or abandoned before Commit leaves it as it was.
//
// A target reached through a symbolic link is replaced where the link
// points, so the link stays. A device such as /dev/null, or a pipe with a
// reader, is written straight; a pipe without a reader fails at once
// (ENXIO). The existing target is locked (flock) from Open to Commit, so
// two transfers to one file cannot interleave (EBUSY). A missing target is
// created. Not thread safe.
#include "FileRewrite.h"
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

class KELCORE_API CFileReplacement {
public:
    bool Open(const std::string& target, int& error);
    bool Write(std::string_view bytes, int& error);
    // Puts the written file in the target's place; the object is closed
    // afterwards, whatever the result.
    bool Commit(int& error);
    // Removes what was written; the target stays as it was. Never fails.
    void Abandon()
    {
        m_rewrite.Abandon();
        m_bOpen = false;
    }

    bool IsOpen() const { return m_bOpen; }
    // The name being written (the target itself when written straight).
    std::string WrittenName() const { return m_rewrite.WrittenName(); }

private:
    CFileRewrite m_rewrite { SRewritePolicy::Transfer() };
    bool m_bOpen = false;
};

} // namespace kel::platform
