#pragma once

// The help screens of KelShell: an empty line, then the given lines, each
// written to standard output and flushed.
#include <initializer_list>

void PrintHelpLines(std::initializer_list<const wchar_t*> lines);

// Prints the help and ends the process with status 1, as a bad command line does.
[[noreturn]] void PrintHelpAndExit(std::initializer_list<const wchar_t*> lines);
