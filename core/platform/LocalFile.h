#pragma once

// CLocalFile: a local file opened for a whole-file transfer with exclusive
// access: it takes an exclusive lock, so another process that holds a lock on
// the file (or is transferring it) makes the open fail instead of sharing it.
// Failures return false with the errno value in `error`.
//
// Reads go through a 64 KiB buffer, so a transfer in 4096-byte chunks costs
// the system one call per 64 KiB. A file created for writing is written
// beside its name and takes the name only at Commit (CFileReplacement), so a
// transfer that fails leaves the old file as it was. Writes go straight to
// the disk: once Write returns true the bytes are in the file being written,
// and a caller may say so.
#include "FileHandle.h"
#include "FileReplacement.h"
#include "KelExport.h"
#include "Types.h"

#include <string>
#include <string_view>

namespace kel::platform {

class KELCORE_API CLocalFile {
public:
    bool OpenForReading(const std::string& path, int& error);
    // Starts a file that replaces `path` at Commit; a device or a pipe is
    // written as it is, without a lock.
    bool CreateForWriting(const std::string& path, int& error);
    bool Length(ULONGLONG& length, int& error) const;
    // Fills `buffer` unless the file ends first.
    bool Read(void* buffer, size_t length, size_t& read, int& error);
    bool Write(std::string_view bytes, int& error);
    // A file created for writing takes its name now, with the old file's
    // mode; any failure leaves the old file as it was.
    bool Commit(int& error);
    // Closes and reports a delayed write error. A file created for writing
    // and not committed is removed.
    bool Close(int& error);

private:
    bool _Lock(int& error);

    CFileHandle m_file;                // read
    CFileReplacement m_replacement;    // written
    std::string m_buffer;   // read ahead
    size_t m_nBufferAt = 0; // next byte to hand out
};

} // namespace kel::platform
