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
// The old file is opened without following a final link and without ever
// blocking: a link, a FIFO, a device or a folder is refused. Failures return
// false and leave errno set.
#include "FileHandle.h"
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

class KELCORE_API CFileRewrite {
public:
    CFileRewrite() = default;
    ~CFileRewrite();
    CFileRewrite(const CFileRewrite&) = delete;
    CFileRewrite& operator=(const CFileRewrite&) = delete;

    // Opens the regular file `path` for its rewrite, and for reading what it
    // holds now through Original().
    CFileHandle::Opened Open(const std::string& path);
    // Prepares a new file `path` instead: Commit creates it, or replaces a
    // file that appeared meanwhile. Its mode follows the umask.
    bool OpenNew(const std::string& path);

    CFileHandle& Original() { return m_original; }
    // How many names the old file has (hard links); 0 for a new file.
    unsigned long long Links() const { return m_links; }

    // Creates the temporary file that receives the new content.
    bool Begin();
    bool Write(std::string_view bytes);
    // Puts the new content in place (see above). False, with the old file
    // as it was and no temporary file left, when a step fails; Changed()
    // then tells whether the reason was that the old file had changed.
    bool Commit();
    bool Changed() const { return m_changed; }

private:
    bool _OpenFolder(const std::string& path);
    bool _BeginNamed();
    bool _GiveOwnerAndMode();
    bool _StillTheSame();
    bool _NameTemporary();
    void _Drop();

    int m_folder = -1;
    std::string m_name;          // the file's name in m_folder
    std::string m_temporaryName; // empty while the temporary file has no name
    CFileHandle m_original, m_temporary;
    bool m_new = false, m_changed = false;
    unsigned long long m_links = 0, m_device = 0, m_inode = 0, m_size = 0;
    long long m_modifiedSeconds = 0, m_modifiedNanoseconds = 0;
    unsigned m_mode = 0, m_owner = 0, m_group = 0;
};

} // namespace kel::platform
