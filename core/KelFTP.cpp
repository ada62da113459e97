#include "KelFTP.h"

#include "ChunkBatch.h"
#include "ClientErrors.h"
#include "KelException.h"
#include "KelUtil.h"
#include "platform/FileHandle.h"
#include "platform/FtpSession.h"
#include "platform/LocalFile.h"
#include "platform/Unicode.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

using kel::platform::CFtpFile;
using kel::platform::CFtpSession;
using kel::platform::CLocalFile;
using kel::platform::InternetError;

using kel::detail::ChunkBatch;
using kel::detail::ThrowInternetError;
using kel::detail::ThrowLocalError;

namespace {

constexpr int kDefaultTimeoutMs = 30000;

std::string RemoteBytes(const wchar_t* path) { return kel::platform::WideToUtf8(path ? path : L""); }

// Everything before the last '/', or empty.
std::string RemoteFolder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

CKelFTP::CKelFTP() : m_nTimeoutMs(kDefaultTimeoutMs) {}

CKelFTP::~CKelFTP()
{
    Close();
}

void CKelFTP::Connection(const wchar_t* server, const wchar_t* user, const wchar_t* password, const int& port,
                         int passive)
{
    Close();
    auto session = std::make_unique<CFtpSession>(m_nTimeoutMs);
    try {
        // Names travel as UTF-8 (RFC 2640), as current servers expect.
        session->Connect(RemoteBytes(server), static_cast<WORD>(port), RemoteBytes(user), RemoteBytes(password),
                         passive != 0);
    } catch (const InternetError& error) {
        ThrowInternetError(error);
    }
    m_pConnection = std::move(session);
}

void CKelFTP::Close()
{
    if (m_pConnection)
        m_pConnection->Close();
    m_pConnection.reset();
}

void CKelFTP::_DropConnection()
{
    // The session may be in the middle of a transfer: no goodbye, just close.
    m_pConnection.reset();
}

// A failed transfer leaves the object unconnected, whatever failed.
void CKelFTP::_Transfer(const std::function<void()>& work)
{
    try {
        work();
    } catch (const InternetError& error) {
        _DropConnection();
        ThrowInternetError(error);
    } catch (...) {
        _DropConnection();
        throw;
    }
}

void CKelFTP::_RequireConnection(const int& transferType) const
{
    if (!m_pConnection)
        throw new CKelException(L"Connection이 없습니다.");
    if (transferType != kTransferText && transferType != kTransferBinary)
        throw new CKelException(L"지원하지 않는 전송 형식 %d 입니다.", transferType);
}

void CKelFTP::vWaitForSpeedBalance()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CKelFTP::CheckUploadSource(const wchar_t* localPath)
{
    CLocalFile local;
    int error = 0;
    if (!local.OpenForReading(kel::platform::NarrowPath(localPath), error) && error != EBUSY)
        ThrowLocalError(localPath, error);
    local.Close(error);
}

void CKelFTP::Upload(const wchar_t* localPath, const wchar_t* remotePath, const int& transferType)
{
    _RequireConnection(transferType);
    const std::string remote = RemoteBytes(remotePath);
    _Transfer([&] {
        // The local file is opened before anything happens on the server, so
        // a missing source never truncates the remote file.
        CLocalFile local;
        int error = 0;
        ULONGLONG totalSize = 0;
        if (!local.OpenForReading(kel::platform::NarrowPath(localPath), error) || !local.Length(totalSize, error))
            ThrowLocalError(localPath, error);

        // Once the folder is current the file is named from inside it: the
        // whole path again would put a relative "sub/a.bin" in "sub/sub".
        const std::string folder = RemoteFolder(remote);
        std::string target = remote;
        if (m_pConnection->SetCurrentDirectory(folder))
            target = remote.substr(folder.size() + 1);
        else
            m_pConnection->CreateDirectory(folder);

        std::unique_ptr<CFtpFile> file = m_pConnection->OpenFile(target, true);
        auto readChunk = [&](char* into) {
            size_t read = 0;
            if (!local.Read(into, kChunkSize, read, error))
                ThrowLocalError(localPath, error);
            return read;
        };
        ChunkBatch batch;
        DWORD chunkIndex = 0;
        for (bool more = true; more;) {
            more = batch.Fill([this] { vWaitForSpeedBalance(); }, readChunk);
            if (batch.IsEmpty())
                break;
            file->Write(batch.Bytes());
            file->Flush();
            batch.Report(chunkIndex, [&](const DWORD& bytes, const DWORD& index) {
                vUploadState(bytes, index, totalSize, localPath, remotePath);
            });
        }
        file->Close();
        local.Close(error);
    });
}

void CKelFTP::Download(const wchar_t* remotePath, const wchar_t* localPath, const int& transferType)
{
    _RequireConnection(transferType);
    const std::string remote = RemoteBytes(remotePath);
    _Transfer([&] {
        ULONGLONG totalSize = 0;
        if (!m_pConnection->FileSize(remote, totalSize))
            totalSize = 0;

        std::unique_ptr<CFtpFile> file = m_pConnection->OpenFile(remote, false);
        CLocalFile local;
        int error = 0;
        if (!local.CreateForWriting(kel::platform::NarrowPath(localPath), error))
            ThrowLocalError(localPath, error);

        ChunkBatch batch;
        DWORD chunkIndex = 0;
        for (bool more = true; more;) {
            more = batch.Fill([this] { vWaitForSpeedBalance(); },
                              [&](char* into) { return file->Read(into, kChunkSize); });
            if (batch.IsEmpty())
                break;
            if (!local.Write(batch.Bytes(), error))
                ThrowLocalError(localPath, error);
            batch.Report(chunkIndex, [&](const DWORD& bytes, const DWORD& index) {
                vDownloadState(bytes, index, totalSize, remotePath, localPath);
            });
        }
        // Only a transfer the server calls complete replaces the local file;
        // a write error that shows only now (a full disk) is still a failure.
        file->Close();
        if (!local.Commit(error))
            ThrowLocalError(localPath, error);
    });
}
