// KelShell: one scripted task per run, chosen by the first argument.
//
//     KelShell kelftp -s SERVER -id USER [-pw PASSWORD] -up|-dn -bin|-text -lf LOCAL -rf REMOTE
//     KelShell kelgrep -e EXPRESSION -f FILE
//
// Exit status 1 for help and for success, 0 when kelftp failed ten times.
#include "ExecFTP.h"
#include "ExecGrep.h"
#include "HelpText.h"
#include "KelLog.h"
#include "platform/CodePage.h"
#include "platform/Folder.h"
#include "platform/ProcessArguments.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>
#include <vector>

namespace {

// The user's locale, so that Korean wide text reaches the terminal in its
// code set; a locale without one (C, POSIX) gets C.UTF-8 instead.
void SetConsoleLocale()
{
    const char* chosen = std::setlocale(LC_ALL, "");
    if (!chosen || std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0)
        std::setlocale(LC_ALL, "C.UTF-8");
}

// The log goes to ./Log/ of the working directory. A link there could take
// the entries anywhere (in a shared folder someone else may have made it),
// so a linked ./Log means no log at all, and a line that says so.
void InitLog()
{
    constexpr int kInfo = 1;
    constexpr int kAboveEveryLevel = 3;
    if (kel::platform::KindOfPath("./Log") == kel::platform::PathKind::Link) {
        std::fwprintf(stderr, L"KelShell: ./Log is a symbolic link, so no log is written\n");
        std::fflush(stderr);
        CKelLog::Init(kAboveEveryLevel, L"./Log/");
        return;
    }
    CKelLog::Init(kInfo, L"./Log/");
}

[[noreturn]] void PrintTopLevelHelp()
{
    PrintHelpAndExit({
        L"KelShell.exe 가능한 하위 명령 목록",
        L"  help\t\t[도움말]",
        L"  kelftp\t[ftp 기능을 사용하려고 할때]",
        L"  kelgrep\t[grep 기능을 사용하려고 할때]",
    });
}

int Dispatch(int argumentCount, const wchar_t* const* arguments)
{
    if (argumentCount >= 2 && std::wcscmp(arguments[1], L"kelftp") == 0) {
        CExecFTP command(argumentCount, arguments);
        return command.exec();
    }
    if (argumentCount >= 2 && std::wcscmp(arguments[1], L"kelgrep") == 0) {
        CExecGrep command(argumentCount, arguments);
        return 1;
    }
    PrintTopLevelHelp();
}

} // namespace

int main(int argc, char** argv)
{
    // Linux needs no framework start-up that could fail: the arguments are
    // turned into wide text (bytes of the user's code set; never rejected).
    // The argument area is remembered so that a password can be blanked there.
    kel::platform::KeepProcessArguments(argc, argv);
    std::vector<std::wstring> wide;
    for (int index = 0; index < argc; ++index)
        wide.push_back(kel::platform::MultiByteToWide(argv[index], kel::platform::CodePage::System));
    std::vector<const wchar_t*> arguments;
    for (const std::wstring& argument : wide)
        arguments.push_back(argument.c_str());
    arguments.push_back(nullptr);

    SetConsoleLocale();
    InitLog();
    return Dispatch(argc, arguments.data());
}
