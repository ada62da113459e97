#pragma once

// The message of the CKelException that `operation` raises (the exception
// is released), or "(nothing raised)".
#include "KelException.h"

#include <string>

namespace kel::test {

template <typename Operation>
std::wstring RaisedMessage(Operation operation)
{
    try {
        operation();
    } catch (CKelException* e) {
        std::wstring text = e->GetMessage().str();
        e->Delete();
        return text;
    }
    return L"(nothing raised)";
}

} // namespace kel::test
