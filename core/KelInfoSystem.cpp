#include "KelInfoSystem.h"

#include "KelException.h"
#include "KelRegistry.h"
#include "platform/CodePage.h"
#include "platform/Folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace kel::platform;

namespace {

// The expansion buffer of the platform, terminator included, and the label
// that the expansion carries in front of the value.
constexpr size_t kExpansionBuffer = 260;
constexpr std::wstring_view kTempLabel = L"TEMP       = ";

// File systems that hold files of their own; pseudo and virtual ones (proc,
// sysfs, cgroup, tmpfs, ...) are no drives.
bool IsRealFileSystem(std::string_view device, std::string_view type)
{
    static constexpr std::string_view kNetworkAndLayered[] = {"nfs", "nfs4", "cifs", "smb3", "overlay", "zfs", "9p",
                                                              "virtiofs", "fuseblk"};
    if (!device.empty() && device.front() == '/')
        return true;
    for (std::string_view known : kNetworkAndLayered) {
        if (type == known)
            return true;
    }
    return false;
}

// /proc/self/mounts writes blanks and backslashes as octal escapes.
std::string UnescapeMountField(std::string_view field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::vector<std::string> RealMountPoints()
{
    std::vector<std::string> points{"/"};
    FILE* mounts = std::fopen("/proc/self/mounts", "re");
    if (!mounts)
        return points;
    char line[4096];
    while (std::fgets(line, sizeof line, mounts)) {
        char device[1024], folder[2048], type[256];
        if (std::sscanf(line, "%1023s %2047s %255s", device, folder, type) != 3)
            continue;
        if (!IsRealFileSystem(device, type))
            continue;
        std::string point = UnescapeMountField(folder);
        if (!IsFolder(point))
            continue; // a file bound over another file is no drive
        if (point.back() != '/')
            point += '/';
        bool seen = false;
        for (const std::string& known : points)
            seen = seen || known == point;
        if (!seen)
            points.push_back(point);
    }
    std::fclose(mounts);
    return points;
}

const char* TemporaryFolderVariable()
{
    for (const char* name : {"TEMP", "TMPDIR"}) {
        if (const char* value = std::getenv(name); value && *value)
            return value;
    }
    return "/tmp";
}

} // namespace

void CKelInfoSystem::GetLogicalDrives(CStringList* list)
{
    if (!list)
        return;
    for (const std::string& point : RealMountPoints())
        list->AddTail(CStringW(MultiByteToWide(point, CodePage::System)));
}

CStringW CKelInfoSystem::GetSystemDrive()
{
    if (!IsFolder("/"))
        throw new CKelException(static_cast<DWORD>(errno));
    return CStringW(L"/");
}

DWORD CKelInfoSystem::GetIEVer()
{
    const CStringW version =
        CKelRegistry::LocalReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
    if (version.IsEmpty())
        return 0;
    switch (version.GetAt(0)) {
    case L'7': return 1;
    case L'8': return 2;
    case L'9': return 3;
    default: return 0;
    }
}

CStringW CKelInfoSystem::GetTempDirectory()
{
    // An unset TEMP falls back to TMPDIR and /tmp: the bare text "%TEMP%"
    // that the platform would leave is no folder.
    const std::wstring value = MultiByteToWide(TemporaryFolderVariable(), CodePage::System);
    if (kTempLabel.size() + value.size() + 1 > kExpansionBuffer)
        return CStringW();
    return CStringW(value);
}
