#pragma once

// CWatchLineSink: where a read cycle puts the lines it cut, one call per
// line, each without its line end. The view's line store is one; the text
// form of the cycle (each line followed by "\r\n") is another.
#include <string_view>

class CWatchLineSink {
public:
    virtual ~CWatchLineSink() = default;

    virtual void AddLine(std::wstring_view line) = 0;
    // A line of a UTF-8 file as its bytes, which may be ill-formed; the
    // default decodes it (U+FFFD per ill-formed sequence) and calls AddLine.
    virtual void AddUtf8Line(std::string_view bytes);
};
