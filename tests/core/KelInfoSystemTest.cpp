#include "KelInfoMachine.h"
#include "KelInfoSystem.h"

#include "KelException.h"
#include "KelRegistry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/statvfs.h>

using kel::test::ScopedEnv;

TEST(InfoSystem, DrivesAreAppendedAndIncludeTheSystemDrive)
{
    CStringList drives;
    drives.AddTail(L"kept");
    CKelInfoSystem::GetLogicalDrives(&drives);
    ASSERT_GE(drives.GetCount(), 2);
    EXPECT_EQ(drives.GetHead(), L"kept");
    bool root = false;
    POSITION position = drives.GetHeadPosition();
    drives.GetNext(position);
    while (position) {
        const CStringW& drive = drives.GetNext(position);
        EXPECT_EQ(drive.Right(1), L"/");
        EXPECT_NE(drive.Find(L"/proc"), 0);
        EXPECT_NE(drive.Find(L"/sys/"), 0);
        root = root || drive == L"/";
    }
    EXPECT_TRUE(root);
    CKelInfoSystem::GetLogicalDrives(nullptr);
}

TEST(InfoSystem, SystemDriveIsTheRoot)
{
    EXPECT_EQ(CKelInfoSystem::GetSystemDrive(), L"/");
}

TEST(InfoSystem, BrowserVersionCodeFromTheLocalMachineKey)
{
    kel::test::TempDir dir;
    ScopedEnv store("KEL_REGISTRY_ROOT", dir.path().c_str());
    EXPECT_EQ(CKelInfoSystem::GetIEVer(), 0u);
    const struct {
        const wchar_t* version;
        DWORD code;
    } cases[] = {{L"7.0.5730.13", 1}, {L"8.0", 2}, {L"9.11.1", 3}, {L"6.0", 0}, {L"11.0", 0}, {L"", 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer",
                                                   L"Version", c.version));
        EXPECT_EQ(CKelInfoSystem::GetIEVer(), c.code) << c.code;
    }
    // The current user's tree is not the machine's.
    ASSERT_TRUE(CKelRegistry::LocalDeleteSubKey(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE").data()));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Internet Explorer",
                                               L"Version", L"9.0"));
    EXPECT_EQ(CKelInfoSystem::GetIEVer(), 0u);
}

TEST(InfoSystem, TempDirectoryFallsBackFromTempToTmpdirToTmp)
{
    {
        ScopedEnv temp("TEMP", "E:\\TEMP"), tmpdir("TMPDIR", "/var/other");
        EXPECT_EQ(CKelInfoSystem::GetTempDirectory(), L"E:\\TEMP");
    }
    {
        ScopedEnv temp("TEMP", nullptr), tmpdir("TMPDIR", "/var/other");
        EXPECT_EQ(CKelInfoSystem::GetTempDirectory(), L"/var/other");
    }
    {
        ScopedEnv temp("TEMP", ""), tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(CKelInfoSystem::GetTempDirectory(), L"/tmp");
    }
    // The label and the terminator share the 260 characters with the value.
    const std::string fits = "/" + std::string(245, 't');
    const std::string tooLong = fits + "u";
    {
        ScopedEnv temp("TEMP", fits.c_str());
        EXPECT_EQ(CKelInfoSystem::GetTempDirectory().GetLength(), 246);
    }
    ScopedEnv temp("TEMP", tooLong.c_str());
    EXPECT_EQ(CKelInfoSystem::GetTempDirectory(), L"");
}

TEST(InfoMachine, VolumeIdOfTheSystemDriveAndOfOtherVolumes)
{
    const DWORD system = CKelInfoMachine::GenerateHDDID(nullptr);
    EXPECT_EQ(CKelInfoMachine::GenerateHDDID(L"/"), system);
    EXPECT_EQ(CKelInfoMachine::GenerateHDDID(L"/"), system);

    // Another volume gives its own id: compare with what the system says
    // about it, folded to 32 bits.
    struct statvfs info {};
    ASSERT_EQ(statvfs("/proc", &info), 0);
    const unsigned long long id = info.f_fsid;
    EXPECT_EQ(CKelInfoMachine::GenerateHDDID(L"/proc"), static_cast<DWORD>(id ^ (id >> 32)));
}

TEST(InfoMachine, MissingVolumeRaisesTheSystemError)
{
    try {
        CKelInfoMachine::GenerateHDDID(L"/no/such/volume/here");
        FAIL() << "no exception";
    } catch (CKelException* e) {
        const CStringW message = e->GetMessage();
        e->Delete();
        EXPECT_EQ(message.Find(L"KelException : "), 0);
        EXPECT_GT(message.GetLength(), 15);
    }
}
