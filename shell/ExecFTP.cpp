#include "ExecFTP.h"

#include "HelpText.h"
#include "KelException.h"
#include "KelLog.h"
#include "KelUtil.h"
#include "Netrc.h"
#include "platform/CodePage.h"
#include "platform/PrivateFile.h"
#include "platform/ProcessArguments.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace {

constexpr int kLevelDebug = 0;
constexpr int kLevelInfo = 1;
constexpr int kLevelError = 2;
constexpr const char* kSourceLabel = "ExecFTP";

struct ExceptionDelete {
    void operator()(CKelException* exception) const { exception->Delete(); }
};
using OwnedException = std::unique_ptr<CKelException, ExceptionDelete>;

// A message may quote the server, and the log and the terminal would act on
// its escape sequences: every control character but tab becomes '?' (C1
// controls and DEL too). The CR LF between lines stays; the log indents it.
CStringW PrintableMessage(const CStringW& message)
{
    std::wstring printable;
    const std::wstring_view text(message.GetString(), static_cast<size_t>(message.GetLength()));
    for (size_t at = 0; at < text.size(); ++at) {
        const wchar_t character = text[at];
        if (character == L'\r' && at + 1 < text.size() && text[at + 1] == L'\n') {
            printable += L"\r\n";
            ++at;
        } else if ((character < 0x20 && character != L'\t') || (character >= 0x7F && character < 0xA0)) {
            printable += L'?';
        } else {
            printable += character;
        }
    }
    return CStringW(std::move(printable));
}

std::string SystemBytes(const CStringW& text)
{
    return kel::platform::WideToMultiByte(text.GetString(), kel::platform::CodePage::System);
}

CStringW SystemText(const std::string& bytes)
{
    return kel::platform::MultiByteToWide(bytes, kel::platform::CodePage::System);
}

// The text of ~/.netrc, empty when there is none. A file that others may
// read or change is refused rather than trusted with a password.
std::string ReadNetrc()
{
    using kel::platform::PrivateFileStatus;
    const std::string path = kel::platform::HomeFolder() + "/.netrc";
    std::string text;
    const PrivateFileStatus status = kel::platform::ReadPrivateFile(path, text);
    const int error = errno;
    const CStringW widePath = SystemText(path);
    switch (status) {
    case PrivateFileStatus::Read:
    case PrivateFileStatus::Missing:
        return text;
    case PrivateFileStatus::OpenToOthers:
        throw new CKelException(L"%ls : other users can read or change this file, so it is not used (chmod 600 it)",
                                widePath.GetString());
    case PrivateFileStatus::NotAFile:
        throw new CKelException(L"%ls : not a regular file", widePath.GetString());
    case PrivateFileStatus::Failed:
        break;
    }
    CStringW reason = CKelUtil::MessageError(static_cast<DWORD>(error));
    reason.TrimRight(L"\r\n");
    throw new CKelException(L"%ls : %ls", widePath.GetString(), reason.GetString());
}

} // namespace

CExecFTP::CExecFTP(int argumentCount, const wchar_t* const* arguments)
{
    if (argumentCount == 2)
        _PrintHelp();
    for (int index = 2; index < argumentCount;) {
        const CStringW option = arguments[index];
        // A value is the next word whatever it looks like; empty at the end.
        auto takeValue = [&](CStringW& field) {
            field = index + 1 < argumentCount ? arguments[index + 1] : L"";
            index += 2;
        };
        auto setFlag = [&](int& field, int value) {
            field = value;
            index += 1;
        };
        if (option == L"-s")
            takeValue(m_strServer);
        else if (option == L"-id")
            takeValue(m_strUser);
        else if (option == L"-pw")
            _TakePassword([&] { takeValue(m_strPassword); }, index);
        else if (option == L"-lf")
            takeValue(m_strLocalFile);
        else if (option == L"-rf")
            takeValue(m_strRemoteFile);
        else if (option == L"-up")
            setFlag(m_nDirection, kUpload);
        else if (option == L"-dn")
            setFlag(m_nDirection, kDownload);
        else if (option == L"-bin")
            setFlag(m_nTransferType, kTransferBinary);
        else if (option == L"-text")
            setFlag(m_nTransferType, kTransferText);
        else
            _PrintHelp();
    }
    // A transfer needs both a direction and a type; without either the
    // command line is incomplete, which the help answers.
    if (m_nDirection < 0 || m_nTransferType == 0)
        _PrintHelp();
}

void CExecFTP::_PrintHelp()
{
    PrintHelpAndExit({
        L"kelftp 가능한 하위 명령 목록\t",
        L"  -s\t\t[서버명]\t\t\t",
        L"  -id\t\t[아이디]\t\t\t",
        L"  -pw\t\t[암호]\t\t\t\t",
        L"  -up|dn\t\t\t\t\t\t",
        L"  -bin|text\t\t\t\t\t",
        L"  -lf\t\t[로컬 파일]\t\t\t",
        L"  -rf\t\t[리모트 파일]\t\t",
        L"  -pw 가 없으면 암호는 환경 변수 KELFTP_PASSWORD 에서,",
        L"  그것도 없으면 ~/.netrc 에서 서버 이름으로 찾습니다 (본인만 읽고 쓸 수 있는 파일).",
    });
}

void CExecFTP::_TakePassword(const std::function<void()>& takeValue, int index)
{
    // Every local user can read a process's arguments: the password is
    // blanked there as soon as it has been copied.
    takeValue();
    kel::platform::HideProcessArgument(index + 1);
    m_bPasswordGiven = true;
}

void CExecFTP::_FindPassword()
{
    if (m_bPasswordGiven)
        return;
    if (const char* fromEnvironment = std::getenv(kPasswordVariable)) {
        m_strPassword = SystemText(fromEnvironment);
        return;
    }
    const NetrcLogin login = FindNetrcLogin(ReadNetrc(), SystemBytes(m_strServer), SystemBytes(m_strUser));
    if (!login.found)
        return;
    if (m_strUser.IsEmpty())
        m_strUser = SystemText(login.login);
    m_strPassword = SystemText(login.password);
}

int CExecFTP::exec()
{
    // A password that cannot be found, or a source that cannot be opened,
    // will not be there on a retry either.
    try {
        _FindPassword();
        if (m_nDirection == kUpload)
            CheckUploadSource(m_strLocalFile);
    } catch (CKelException* caught) {
        OwnedException exception(caught);
        _LogFailure(exception->GetMessage());
        _ReportFinalFailure(exception->GetMessage());
        return 0;
    }
    for (int failures = 0;;) {
        try {
            Connection(m_strServer, m_strUser, m_strPassword, 0, 1);
            if (m_nDirection == kUpload)
                Upload(m_strLocalFile, m_strRemoteFile, m_nTransferType);
            else
                Download(m_strRemoteFile, m_strLocalFile, m_nTransferType);
            Close();
            return 1;
        } catch (CKelException* caught) {
            OwnedException exception(caught);
            Close();
            if (++failures == kAttempts) {
                _ReportFinalFailure(exception->GetMessage());
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
            _LogFailure(exception->GetMessage());
        }
    }
}

void CExecFTP::_LogFailure(const CStringW& message)
{
    // The message is logged whole: the FTP client keeps the password out of
    // every message it raises.
    try {
        _kelLog.LogPreFix(kSourceLabel, __LINE__, "CExecFTP::exec");
        _kelLog.Log(kLevelError, L"%ls", PrintableMessage(message).GetString());
    } catch (CKelException* caught) {
        // A log that cannot be written must not stop the retries.
        caught->Delete();
    }
}

void CExecFTP::_ReportFinalFailure(const CStringW& message)
{
    // One line on standard error, so a script sees why without the log;
    // standard output stays as quiet as ever.
    CStringW line = PrintableMessage(message);
    line.TrimRight(L"\r\n");
    line.Replace(L"\r\n", L" ");
    line.Replace(L'\n', L' ');
    line.Replace(L'\r', L' ');
    std::fwprintf(stderr, L"kelftp: %ls\n", line.GetString());
    std::fflush(stderr);
}

void CExecFTP::_LogProgress(const char* function, const wchar_t* word, const DWORD& bytesInChunk,
                            const DWORD& chunkIndex, const ULONGLONG& totalSize, const wchar_t* source,
                            const wchar_t* destination)
{
    // 32-bit on purpose: the position wraps for files of 4 GiB and more.
    const DWORD position = chunkIndex * kChunkSize + bytesInChunk;
    try {
        // A line per chunk that the threshold drops anyway is not made at all.
        if (CKelLog::s_nLogLevel <= kLevelDebug) {
            _kelLog.LogPreFix(kSourceLabel, __LINE__, function);
            _kelLog.Log(kLevelDebug, L"Ftp %ls %d (%d/%lld) %ls %ls", word, static_cast<int>(bytesInChunk),
                        static_cast<int>(position), static_cast<long long>(totalSize), source, destination);
        }
        if (static_cast<ULONGLONG>(position) == totalSize) {
            _kelLog.LogPreFix(kSourceLabel, __LINE__, function);
            _kelLog.Log(kLevelInfo, L"Ftp %ls (%lld) %ls %ls", word, static_cast<long long>(totalSize), source,
                        destination);
        }
    } catch (CKelException* caught) {
        // A log that cannot be written (a full disk) must not turn a sound
        // transfer into a failed attempt.
        caught->Delete();
    }
}

void CExecFTP::vDownloadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                              const wchar_t* remotePath, const wchar_t* localPath)
{
    _LogProgress("CExecFTP::vDownloadState", L"Download", bytesInChunk, chunkIndex, totalSize, remotePath, localPath);
}

void CExecFTP::vUploadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                            const wchar_t* localPath, const wchar_t* remotePath)
{
    _LogProgress("CExecFTP::vUploadState", L"Upload", bytesInChunk, chunkIndex, totalSize, localPath, remotePath);
}
