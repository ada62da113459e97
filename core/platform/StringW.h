#pragma once

// CStringW: the growable wide string that every interface of the family uses,
// with the framework's operation names over std::wstring. CString is the same
// type. It converts implicitly to const wchar_t*, so code reads as it would
// against the framework.
#include "KelExport.h"

#include <cstdarg>
#include <string>
#include <string_view>

class KELCORE_API CStringW {
public:
    CStringW() = default;
    CStringW(const wchar_t* text) : m_str(text ? text : L"") {}
    CStringW(const wchar_t* text, int length) : m_str(text ? std::wstring(text, length > 0 ? length : 0) : std::wstring()) {}
    CStringW(std::wstring text) : m_str(std::move(text)) {}
    CStringW(std::wstring_view text) : m_str(text) {}
    CStringW(wchar_t ch, int repeat = 1) : m_str(repeat > 0 ? repeat : 0, ch) {}
    // Narrow text is taken as the system multi-byte code page.
    explicit CStringW(const char* text);

    operator const wchar_t*() const { return m_str.c_str(); }
    const wchar_t* GetString() const { return m_str.c_str(); }
    const std::wstring& str() const { return m_str; }
    std::wstring& str() { return m_str; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    wchar_t GetAt(int index) const { return m_str.at(static_cast<size_t>(index)); }
    void SetAt(int index, wchar_t ch) { m_str.at(static_cast<size_t>(index)) = ch; }

    // printf-style formatting; wide string arguments are %ls.
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);
    void AppendFormatV(const wchar_t* format, va_list args);

    CStringW Left(int count) const;
    CStringW Mid(int first) const;
    CStringW Mid(int first, int count) const;
    CStringW Right(int count) const;

    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int Replace(wchar_t oldCh, wchar_t newCh);
    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Remove(wchar_t ch);
    int Insert(int index, const wchar_t* text);
    int Delete(int index, int count = 1);

    CStringW& Trim();
    CStringW& Trim(wchar_t ch);
    CStringW& Trim(const wchar_t* chars);
    CStringW& TrimLeft();
    CStringW& TrimLeft(wchar_t ch);
    CStringW& TrimLeft(const wchar_t* chars);
    CStringW& TrimRight();
    CStringW& TrimRight(wchar_t ch);
    CStringW& TrimRight(const wchar_t* chars);

    // Next token after `start`, skipping leading delimiters; `start` becomes
    // -1 (and the result empty) when no token is left.
    CStringW Tokenize(const wchar_t* delimiters, int& start) const;

    CStringW& MakeUpper();
    CStringW& MakeLower();
    int Compare(const wchar_t* other) const;
    // Ignores case by Unicode's simple case folding (CaseFold.h), whatever
    // the locale: "ſ", "s" and "S" compare equal, as do "ς", "σ" and "Σ".
    int CompareNoCase(const wchar_t* other) const;

    // Writable buffer of at least `minLength` characters; ReleaseBuffer takes
    // the text up to its first zero (or `newLength` characters).
    wchar_t* GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);

    CStringW& operator=(const wchar_t* text) { m_str = text ? text : L""; return *this; }
    CStringW& operator+=(const CStringW& other) { m_str += other.m_str; return *this; }
    CStringW& operator+=(const wchar_t* text) { if (text) m_str += text; return *this; }
    CStringW& operator+=(wchar_t ch) { m_str += ch; return *this; }
    void AppendChar(wchar_t ch) { m_str += ch; }
    void Append(const wchar_t* text, int length) { if (text && length > 0) m_str.append(text, static_cast<size_t>(length)); }

    friend CStringW operator+(const CStringW& a, const CStringW& b) { return CStringW(a.m_str + b.m_str); }
    friend CStringW operator+(const CStringW& a, const wchar_t* b) { return CStringW(a.m_str + (b ? b : L"")); }
    friend CStringW operator+(const wchar_t* a, const CStringW& b) { return CStringW((a ? a : L"") + b.m_str); }
    friend CStringW operator+(const CStringW& a, wchar_t b) { return CStringW(a.m_str + b); }
    friend bool operator==(const CStringW& a, const CStringW& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CStringW& a, const wchar_t* b) { return a.m_str == (b ? b : L""); }
    friend bool operator<(const CStringW& a, const CStringW& b) { return a.m_str < b.m_str; }

private:
    std::wstring m_str;
};

using CString = CStringW;
