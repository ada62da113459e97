#pragma once

// CExecGrep: the kelgrep sub-command. It reads "-e" (search expression) and
// "-f" (file argument) from the whole argument vector; a bare sub-command or
// any other option word prints the kelgrep help and ends the process with
// status 1. No search is started: the command accepts its options only.
#include "KelFileFind.h"

class CExecGrep : public CKelFileFind {
public:
    CExecGrep(int argumentCount, const wchar_t* const* arguments);

    void vFoundFolder(const wchar_t* path, const wchar_t* name) override;
    // Writes the file's full path and a newline to standard output.
    void vFoundFile(const wchar_t* path, const wchar_t* name, const wchar_t* title) override;

    const CStringW& Expression() const { return m_strExpression; }
    const CStringW& FileArgument() const { return m_strFile; }

private:
    [[noreturn]] static void _PrintHelp();

    CStringW m_strExpression;
    CStringW m_strFile;
};
