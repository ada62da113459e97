#pragma once

// CFileReplacement: a file written whole before it takes the place of the
// one it replaces. The bytes go to a new file beside the target (same
// folder, so the rename cannot cross file systems); Commit flushes it to
// the disk, gives it the old file's mode and (where the process may) owner,
// renames it over the target and flushes the folder. Until Commit the
// target keeps its old bytes; an object destroyed or abandoned before
// Commit removes its file and leaves the target as it was.
//
// A target that is not a regular file (a device such as /dev/null, a pipe
// with a reader) has nothing to replace and is written straight. A pipe
// without a reader fails at once instead of blocking. A target reached
// through a symbolic link is replaced where the link points, so the link
// stays. The existing target is locked (flock) from Open to Commit, so two
// transfers to one file cannot interleave.
//
// Failures return false with the errno value in `error`. Not thread safe.
#include "FileHandle.h"
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

class KELCORE_API CFileReplacement {
public:
    CFileReplacement() = default;
    ~CFileReplacement() { Abandon(); }
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;

    bool Open(const std::string& target, int& error);
    bool Write(std::string_view bytes, int& error);
    // Puts the written file in the target's place; the object is closed
    // afterwards, whatever the result.
    bool Commit(int& error);
    // Removes what was written; the target stays as it was. Never fails.
    void Abandon();

    bool IsOpen() const { return m_file.IsOpen(); }
    // The name being written (the target itself when written straight).
    const std::string& WrittenName() const { return m_temporary.empty() ? m_final : m_temporary; }

private:
    bool _OpenTarget(const std::string& target, int& error);
    bool _CreateBeside(int& error);
    bool _Settle(int& error);

    CFileHandle m_file;      // what is written
    CFileHandle m_target;    // the existing target, locked until the rename
    std::string m_final;     // the name the file takes on Commit
    std::string m_temporary; // empty when the target is written straight
    bool m_bExisted = false;
    unsigned m_nMode = 0;
    unsigned m_nOwner = 0;
    unsigned m_nGroup = 0;
    unsigned long long m_nWritten = 0; // bytes written so far
    unsigned long long m_nStarted = 0; // bytes the disk was asked to write
};

} // namespace kel::platform
