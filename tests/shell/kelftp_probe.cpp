// kelftp with a 1.5-second server time-out instead of 30 seconds, so that the
// tests can show a silent server being timed out and retried in seconds.
//     kelftp_probe kelftp OPTIONS...   (the arguments of KelShell)
#include "ExecFTP.h"
#include "KelLog.h"
#include "platform/CodePage.h"
#include "platform/ProcessArguments.h"

#include <clocale>
#include <string>
#include <vector>

namespace {

class CProbeFTP : public CExecFTP {
public:
    CProbeFTP(int count, const wchar_t* const* arguments) : CExecFTP(count, arguments) { SetTimeout(1500); }
};

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    kel::platform::KeepProcessArguments(argc, argv);
    std::vector<std::wstring> wide;
    for (int index = 0; index < argc; ++index)
        wide.push_back(kel::platform::MultiByteToWide(argv[index], kel::platform::CodePage::System));
    std::vector<const wchar_t*> arguments;
    for (const std::wstring& argument : wide)
        arguments.push_back(argument.c_str());
    CKelLog::Init(1, L"./Log/");
    CProbeFTP command(argc, arguments.data());
    return command.exec();
}
