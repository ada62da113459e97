#include "HelpText.h"

#include <cstdlib>
#include <iostream>

void PrintHelpLines(std::initializer_list<const wchar_t*> lines)
{
    std::wcout << L"" << std::endl;
    for (const wchar_t* line : lines)
        std::wcout << line << std::endl;
}

void PrintHelpAndExit(std::initializer_list<const wchar_t*> lines)
{
    PrintHelpLines(lines);
    std::exit(1);
}
