#pragma once

// Small conversions shared by the codec tests.
#include <KelBase64.h>
#include <KelException.h>
#include <KelHex.h>

#include "RaisedMessage.h"

#include <string>
#include <vector>

namespace kel::test {

inline std::vector<BYTE> Bytes(const std::string& text)
{
    return std::vector<BYTE>(text.begin(), text.end());
}

inline std::wstring Base64Of(const std::vector<BYTE>& data)
{
    std::wstring text(CKelBase64::EncodeCount(data.data(), data.size()) + 1, L'\0');
    CKelBase64::Encode(text.data(), data.data(), data.size());
    text.pop_back();
    return text;
}

inline std::vector<BYTE> FromBase64(const std::wstring& text)
{
    std::vector<BYTE> data(CKelBase64::DecodeCount(text.c_str(), text.size()) + 1, 0);
    const size_t count = CKelBase64::Decode(data.data(), text.c_str(), text.size());
    data.resize(count);
    return data;
}

inline std::wstring HexOf(const std::vector<BYTE>& data)
{
    std::wstring text(CKelHex::EncodeCount(data.data(), data.size()) + 1, L'\0');
    CKelHex::Encode(text.data(), data.data(), data.size());
    text.pop_back();
    return text;
}

// The message of the CKelException that `action` raises; empty when none.
template <typename Action>
std::wstring ExceptionMessage(Action action)
{
    return RaisedMessage(action, L"");
}

} // namespace kel::test
