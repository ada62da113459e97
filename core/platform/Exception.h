#pragma once

// The framework's root class and exception base. Exceptions are made on the
// heap, raised by pointer and released by the catcher with Delete().
#include "KelExport.h"
#include "Types.h"

class KELCORE_API CObject {
public:
    virtual ~CObject() = default;
};

class KELCORE_API CException : public CObject {
public:
    explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}

    // Frees a heap exception; a no-op for one whose auto-delete flag is off.
    void Delete()
    {
        if (m_bAutoDelete)
            delete this;
    }
    // The framework's own message query: no text of its own.
    virtual bool GetErrorMessage(wchar_t* buffer, UINT maxLength, UINT* helpContext = nullptr) const
    {
        if (buffer && maxLength > 0)
            buffer[0] = 0;
        if (helpContext)
            *helpContext = 0;
        return false;
    }

protected:
    bool m_bAutoDelete;
};
