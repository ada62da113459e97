#pragma once

// CExecFTP: the kelftp sub-command. The constructor reads the options of the
// whole argument vector (index 0 the program, 1 the sub-command); a bad or
// incomplete command line prints the kelftp help and ends the process with
// status 1. exec() moves the file, retrying the whole transfer up to ten
// attempts 1000 ms apart, and logs retries and completion through _kelLog.
// A source file that cannot be opened fails at once, without a login. The
// final failure also prints one line "kelftp: MESSAGE" on standard error.
//
// The password of "-pw" is blanked in the process's argument area once read.
// Without "-pw" it comes from the environment (KELFTP_PASSWORD), else from
// ~/.netrc by the server's name (Netrc.h); a ~/.netrc that others may read or
// change is refused, which fails the run at once.
#include "KelFTP.h"

#include <functional>

class CExecFTP : public CKelFTP {
public:
    static constexpr int kAttempts = 10;
    static constexpr int kRetryPauseMs = 1000;
    static constexpr int kUpload = 0;
    static constexpr int kDownload = 1;
    static constexpr const char* kPasswordVariable = "KELFTP_PASSWORD";

    CExecFTP(int argumentCount, const wchar_t* const* arguments);

    // 1 after a successful transfer, 0 after ten failed attempts.
    int exec();

protected:
    void vDownloadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                        const wchar_t* remotePath, const wchar_t* localPath) override;
    void vUploadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                      const wchar_t* localPath, const wchar_t* remotePath) override;

private:
    [[noreturn]] static void _PrintHelp();
    // Stores the value of "-pw" (at `index` + 1) and blanks it in the process's arguments.
    void _TakePassword(const std::function<void()>& takeValue, int index);
    // Raises a CKelException when ~/.netrc is needed but refused or unreadable.
    void _FindPassword();
    void _LogProgress(const char* function, const wchar_t* word, const DWORD& bytesInChunk, const DWORD& chunkIndex,
                      const ULONGLONG& totalSize, const wchar_t* source, const wchar_t* destination);
    void _LogFailure(const CStringW& message);
    static void _ReportFinalFailure(const CStringW& message);

    CStringW m_strServer;
    CStringW m_strUser;
    CStringW m_strPassword;
    bool m_bPasswordGiven = false; // "-pw" was on the command line, even empty
    int m_nDirection = -1;    // none until -up or -dn
    int m_nTransferType = 0;  // none until -bin or -text
    CStringW m_strLocalFile;
    CStringW m_strRemoteFile;
};
