#include "KelInfoMachine.h"

#include "KelException.h"
#include "KelInfoSystem.h"
#include "platform/FileHandle.h"

#include <cerrno>
#include <sys/statvfs.h>

DWORD CKelInfoMachine::GenerateHDDID(const wchar_t* root)
{
    const CStringW volume = root ? CStringW(root) : CKelInfoSystem::GetSystemDrive();
    struct statvfs info {};
    if (statvfs(kel::platform::NarrowPath(volume).c_str(), &info) != 0)
        throw new CKelException(static_cast<DWORD>(errno));
    // The file system id stands for the volume serial number; both halves
    // of a 64-bit id count.
    const unsigned long long id = info.f_fsid;
    return static_cast<DWORD>(id ^ (id >> 32));
}
