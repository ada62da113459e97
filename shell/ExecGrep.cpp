#include "ExecGrep.h"

#include "HelpText.h"

#include <iostream>

CExecGrep::CExecGrep(int argumentCount, const wchar_t* const* arguments)
{
    if (argumentCount == 2)
        _PrintHelp();
    for (int index = 2; index < argumentCount; index += 2) {
        const CStringW option = arguments[index];
        const wchar_t* value = index + 1 < argumentCount ? arguments[index + 1] : L"";
        if (option == L"-e")
            m_strExpression = value;
        else if (option == L"-f")
            m_strFile = value;
        else
            _PrintHelp();
    }
}

void CExecGrep::_PrintHelp()
{
    PrintHelpAndExit({
        L"kelgrep 가능한 하위 명령 목록\t",
        L"  -f\t\t[파일]\t\t\t\t",
    });
}

void CExecGrep::vFoundFolder(const wchar_t*, const wchar_t*) {}

void CExecGrep::vFoundFile(const wchar_t* path, const wchar_t*, const wchar_t*)
{
    std::wcout << path << std::endl;
}
