#pragma once

// Helpers of the page tests: the message boxes a page shows, recorded
// instead of shown, and wide/narrow conversions of file names.
#include <platform/StringW.h>
#include <platform/UiHooks.h>

#include <string>
#include <vector>

namespace kel::test {

// Records every message box while it lives.
class MessageRecorder {
public:
    MessageRecorder()
    {
        kel::platform::SetMessageBoxHook([this](const CStringW& text, const CStringW&, UINT) {
            m_messages.push_back(text.str());
            return kel::platform::kIdOk;
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

inline CStringW Wide(const std::string& path)
{
    return CStringW(std::wstring(path.begin(), path.end()));
}

} // namespace kel::test
