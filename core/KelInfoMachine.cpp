#include "KelInfoMachine.h"

#include "KelException.h"
#include "KelInfoSystem.h"
#include "platform/FileHandle.h"
#include "platform/Folder.h"

#include <cerrno>

DWORD CKelInfoMachine::GenerateHDDID(const wchar_t* root)
{
    const CStringW volume = root ? CStringW(root) : CKelInfoSystem::GetSystemDrive();
    // The file system id stands for the volume serial number; both halves
    // of a 64-bit id count.
    unsigned long long id = 0;
    if (!kel::platform::FileSystemId(kel::platform::NarrowPath(volume), id))
        throw new CKelException(static_cast<DWORD>(errno));
    return static_cast<DWORD>(id ^ (id >> 32));
}
