#pragma once

// Helpers of the page tests: the message boxes a page shows, recorded
// instead of shown (and answered), a progress that stops when told, and
// wide/narrow conversions of file names.
#include <Progress.h>
#include <platform/StringW.h>
#include <platform/UiHooks.h>

#include <string>
#include <vector>

namespace kel::test {

// Records every message box while it lives; a question gets `answer`.
class MessageRecorder {
public:
    explicit MessageRecorder(int answer = kel::platform::kIdOk)
    {
        kel::platform::SetMessageBoxHook([this, answer](const CStringW& text, const CStringW&, UINT) {
            m_messages.push_back(text.str());
            return answer;
        });
    }
    ~MessageRecorder() { kel::platform::SetMessageBoxHook(nullptr); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::wstring>& Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }

private:
    std::vector<std::wstring> m_messages;
};

// Counts the reports of a page action and answers "stop" from report
// number `stopAt` on (never, by default).
class CountingProgress : public kel::bench::CProgress {
public:
    explicit CountingProgress(int stopAt = -1) : m_nStopAt(stopAt) {}
    bool Step(ULONGLONG, ULONGLONG) override
    {
        ++m_nSteps;
        return m_nStopAt < 0 || m_nSteps < m_nStopAt;
    }
    int Steps() const { return m_nSteps; }

private:
    int m_nStopAt;
    int m_nSteps = 0;
};

// The UTF-8 bytes of a wide file name, as the file system holds it.
inline std::string Narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t ch : text) {
        const auto c = static_cast<char32_t>(ch);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

inline CStringW Wide(const std::string& path)
{
    return CStringW(std::wstring(path.begin(), path.end()));
}

} // namespace kel::test
