#include "KelException.h"

#include "KelUtil.h"

#include <cstdarg>

namespace {
constexpr const wchar_t* kPrefix = L"KelException : ";
}

CKelException::CKelException(const wchar_t* format, ...)
{
    // The formatted text is kept whole rather than cut at a fixed buffer.
    CStringW text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    m_strMessage = kPrefix + text;
}

CKelException::CKelException(const DWORD& errorNumber)
    : m_strMessage(kPrefix + CKelUtil::MessageError(errorNumber))
{
}

CKelException::~CKelException() = default;
