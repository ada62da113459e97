#pragma once

// CKelException: the one error type of the libraries. Its message always
// begins with "KelException : ". Created with new, raised by pointer, released
// by the catcher with Delete():
//
//     try { ... } catch (CKelException* e) { show(e->GetMessage()); e->Delete(); }
#include "platform/Exception.h"
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class KELCORE_API CKelException : public CException {
public:
    CKelException() = default;
    // printf-style; a message that is only to be passed on must be given as
    // an argument of L"%ls", never as the format.
    explicit CKelException(const wchar_t* format, ...);
    // The text of an error number (CKelUtil::MessageError).
    explicit CKelException(const DWORD& errorNumber);
    explicit CKelException(int errorNumber) : CKelException(static_cast<DWORD>(errorNumber)) {}
    ~CKelException() override;

    const CStringW& GetMessage() const { return m_strMessage; }

private:
    CStringW m_strMessage;
};
