#pragma once

// The message of the CKelException that an operation raises (the exception
// is released).
#include "KelException.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace kel::test {

// The message, or nothing when the operation raised nothing.
template <typename Operation>
std::optional<std::wstring> RaisedText(Operation operation)
{
    try {
        operation();
    } catch (CKelException* e) {
        std::wstring text = e->GetMessage().str();
        e->Delete();
        return text;
    }
    return std::nullopt;
}

// The message, or `whenNothing` when nothing was raised.
template <typename Operation>
std::wstring RaisedMessage(Operation operation, const std::wstring& whenNothing = L"(nothing raised)")
{
    return RaisedText(operation).value_or(whenNothing);
}

// The message; the test fails when nothing was raised.
template <typename Operation>
std::wstring CaughtMessage(Operation operation)
{
    std::optional<std::wstring> text = RaisedText(operation);
    if (!text)
        ADD_FAILURE() << "no CKelException";
    return text.value_or(std::wstring());
}

} // namespace kel::test
