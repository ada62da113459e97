#pragma once

// CFileRewrite: gives a file new content whole, the way a careful editor
// saves it. The new bytes go to a temporary file in the file's own folder,
// unnamed where the file system allows it, so that a process killed while
// writing leaves nothing behind. Commit makes the new content durable, gives
// it the old file's mode and, where the process may, its owner and group,
// checks that the old file has not changed meanwhile, renames the new file
// over the old name in one step and makes the folder durable. Until Commit
// succeeds the old file is untouched; a rewrite that is not committed is
// dropped with its temporary file.
//
// The old file is opened without ever blocking. By default a final link, a
// FIFO, a device and a folder are refused; SRewritePolicy lets a caller such
// as a download follow the link or write a device as it is. Failures return
// false and leave errno set.
#include "FileHandle.h"
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

// How a rewrite treats what it finds under the name.
struct SRewritePolicy {
    // A final symbolic link: refused (Opened::Link), or the file it leads to
    // is rewritten and the link stays. A link that leads nowhere is refused
    // either way (errno from following it), so it is never replaced by a file.
    bool followLink = false;
    // A device or a FIFO with a reader: refused (Opened::NotRegular), or
    // written as it is, with nothing to replace. A FIFO without a reader
    // fails at once with ENXIO, a folder with EISDIR.
    bool writeOthersStraight = false;
    // The old file is opened for writing and locked (flock) until Commit: a
    // file the process may not write fails, one locked elsewhere fails with
    // EBUSY.
    bool lockForWriting = false;
    // Commit refuses (Changed()) when the old file changed after Open.
    bool checkUnchanged = true;
    // The temporary file has its name from the start, so that it can be
    // watched while it grows, instead of only just before the rename.
    bool namedTemporary = false;

    // A file received whole from elsewhere, as downloads save it.
    static SRewritePolicy Transfer()
    {
        return { .followLink = true, .writeOthersStraight = true, .lockForWriting = true, .checkUnchanged = false,
                 .namedTemporary = true };
    }
};

class KELCORE_API CFileRewrite {
public:
    CFileRewrite() = default;
    explicit CFileRewrite(const SRewritePolicy& policy) : m_policy(policy) {}
    ~CFileRewrite();
    CFileRewrite(const CFileRewrite&) = delete;
    CFileRewrite& operator=(const CFileRewrite&) = delete;

    // Opens the file `path` for its rewrite, and (unless locked for writing)
    // for reading what it holds now through Original(). Link (errno ELOOP
    // or the reason a followed link leads nowhere) and NotRegular (EINVAL)
    // set errno too.
    CFileHandle::Opened Open(const std::string& path);
    // Prepares a new file `path` instead: Commit creates it, or replaces a
    // file that appeared meanwhile. Its mode follows the umask.
    bool OpenNew(const std::string& path);
    // Open, or OpenNew when nothing is under the name.
    CFileHandle::Opened OpenOrNew(const std::string& path);

    CFileHandle& Original() { return m_original; }
    // How many names the old file has (hard links); 0 for a new file.
    unsigned long long Links() const { return m_links; }
    // True when the target is written as it is (a device, a FIFO).
    bool WritesStraight() const { return m_straight; }
    // The name being written: the target written straight, the temporary
    // file while it has a name, else empty.
    std::string WrittenName() const;

    // Creates the temporary file that receives the new content.
    bool Begin();
    bool Write(std::string_view bytes);
    // Bytes written so far.
    unsigned long long Written() const { return m_written; }
    // Waits until the disk holds the written bytes up to `upTo`: Commit's
    // sync taken a piece at a time, so that a caller can do other work (tell
    // its progress) between pieces. False (errno set) when writing them out
    // failed; nothing to wait for when the target is written straight.
    bool SyncWritten(unsigned long long upTo);
    // Puts the new content in place (see above) and closes everything. False,
    // with the old file as it was and no temporary file left, when a step
    // fails; Changed() then tells whether the reason was that the old file
    // had changed.
    bool Commit();
    bool Changed() const { return m_changed; }
    // Drops what was written and closes everything; never fails.
    void Abandon();

private:
    bool _OpenFolder(const std::string& path);
    CFileHandle::Opened _OpenOther();
    CFileHandle::Opened _OpenRegular();
    bool _Lock();
    bool _BeginNamed();
    bool _GiveOwnerAndMode();
    bool _StillTheSame();
    bool _NameTemporary();
    bool _CommitStraight();
    void _DropTemporary();

    SRewritePolicy m_policy;
    int m_folder = -1;
    std::string m_folderName;    // as given, for WrittenName
    std::string m_name;          // the file's name in m_folder
    std::string m_temporaryName; // empty while the temporary file has no name
    CFileHandle m_original, m_temporary;
    bool m_new = false, m_changed = false, m_straight = false;
    unsigned long long m_links = 0, m_device = 0, m_inode = 0, m_size = 0;
    unsigned long long m_written = 0, m_started = 0; // bytes written; bytes the disk was asked to write
    unsigned long long m_synced = 0;                 // bytes the disk is known to hold
    long long m_modifiedSeconds = 0, m_modifiedNanoseconds = 0;
    unsigned m_mode = 0, m_owner = 0, m_group = 0;
};

} // namespace kel::platform
