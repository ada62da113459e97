#include "KelRegistry.h"

#include "platform/WinApp.h"

#include "TestSupport.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Every fsync of the process, with what the watched path named at that
// moment, so that a test can tell what reached the disk before a rename.
struct SyncRecord {
    dev_t device;
    ino_t inode;
    bool folder;
    ino_t watchedInode; // 0 when the watched path named nothing
};
std::mutex g_syncMutex;
std::vector<SyncRecord> g_syncs;
std::string g_watchedPath;

} // namespace

// Takes the place of the C library's fsync for the whole program, the
// library under test included.
extern "C" __attribute__((visibility("default"))) int fsync(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) == 0) {
        std::lock_guard lock(g_syncMutex);
        struct stat watched {};
        const bool named = !g_watchedPath.empty() && lstat(g_watchedPath.c_str(), &watched) == 0;
        g_syncs.push_back({info.st_dev, info.st_ino, S_ISDIR(info.st_mode), named ? watched.st_ino : 0});
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

// Points the registry store at a private folder for one test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store = m_dir / "registry";
        setenv("KEL_REGISTRY_ROOT", m_store.c_str(), 1);
    }
    void TearDown() override { unsetenv("KEL_REGISTRY_ROOT"); }

    // Every value file below the store, to look at what is on disk.
    std::vector<fs::path> ValueFiles() const
    {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_store)) {
            if (entry.is_regular_file() && entry.path().filename().string().rfind("v.", 0) == 0)
                files.push_back(entry.path());
        }
        return files;
    }

    kel::test::SharedTempDir m_dir;
    std::string m_store;
};

std::string CaptureDelete(HKEY root, wchar_t* buffer, int& result)
{
    testing::internal::CaptureStdout();
    result = CKelRegistry::LocalDeleteSubKey(root, buffer);
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST_F(RegistryTest, StringsAndNumbersReadBackWithTheirType)
{
    EXPECT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Name", L"한글 value"));
    EXPECT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Count", 4000000000u));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Name"), L"한글 value");
    EXPECT_EQ(static_cast<DWORD>(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Count")),
              4000000000u);
    // A value of the other type reads as nothing rather than as raw bytes.
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Count"), L"");
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Name"), 0);
    // Overwriting replaces, also with another type.
    EXPECT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Name", 7));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Software\\Kel\\Test", L"Name"), 7);
    // Roots are separate trees.
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_LOCAL_MACHINE, L"Software\\Kel\\Test", L"Name"), 0);
}

TEST_F(RegistryTest, NamesCompareWithoutCase)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\MixedCase\\Ελλάδα", L"Value", L"v"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"SOFTWARE\\mixedcase\\ΕΛΛΆΔΑ", L"VALUE"), L"v");
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"SOFTWARE\\mixedcase\\ελλάδα", L"VALUE"), L"v");
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"software\\MIXEDCASE\\ελλάδα", L"value", L"w"));
    EXPECT_EQ(ValueFiles().size(), 1u);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\MixedCase\\Ελλάδα", L"Value"), L"w");
    // Names with '/' and '%' are names, not paths.
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"a/b\\50%", L"x/../y", L"z"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"A/B\\50%", L"X/../Y"), L"z");
    EXPECT_FALSE(fs::exists(m_store + "/HKEY_CURRENT_USER/k.a"));
}

TEST_F(RegistryTest, StringsUpTo259CharactersFitTheReadBuffer)
{
    const std::wstring longest(259, L'x');
    const std::wstring tooLong(260, L'y');
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", L"a", longest.c_str()));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", L"b", tooLong.c_str()));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", L"a").str(), longest);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", L"b"), L"");
    // A character beyond the BMP takes two UTF-16 units of the buffer.
    const std::wstring astral = std::wstring(258, L'x') + L"\U0001F600";
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", L"c", astral.c_str()));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", L"c"), L"");
    const std::wstring fits = std::wstring(257, L'x') + L"\U0001F600";
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", L"d", fits.c_str()));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", L"d").str(), fits);
    // Long names are kept apart even when their file names are shortened.
    const std::wstring name1 = std::wstring(250, L'가') + L"1";
    const std::wstring name2 = std::wstring(250, L'가') + L"2";
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Long", name1.c_str(), 1));
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Long", name2.c_str(), 2));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Long", name1.c_str()), 1);
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Long", name2.c_str()), 2);
}

TEST_F(RegistryTest, MissingValuesKeysAndStoreReadAsNothing)
{
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Nowhere", L"v"), L"");
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Nowhere", L"v"), 0);
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Zero", L"stored", 0));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Zero", L"missing"), 0);
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Zero", L"stored"), 0);
    // A root that is no root key.
    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1234));
    EXPECT_FALSE(CKelRegistry::LocalWriteString(bogus, L"k", L"v", L"x"));
    EXPECT_EQ(CKelRegistry::LocalReadString(bogus, L"k", L"v"), L"");
}

TEST_F(RegistryTest, DamagedValueFilesReadAsNothing)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Bad", L"text", L"hello"));
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Bad", L"number", 5));
    const std::vector<fs::path> files = ValueFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const fs::path& file : files) {
        const std::string bytes = kel::test::ReadBytes(file.string());
        kel::test::WriteBytes(file.string(), bytes.substr(0, bytes.size() - 1));
    }
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Bad", L"text"), L"");
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Bad", L"number"), 0);
    kel::test::WriteBytes(files[0].string(), "garbage");
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Bad", L"text"), L"");
    // Writing again mends it.
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Bad", L"text", L"again"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Bad", L"text"), L"again");
}

TEST_F(RegistryTest, StoreBlockedByAFileFailsCleanly)
{
    fs::create_directories(m_store);
    kel::test::WriteBytes(m_store + "/HKEY_CURRENT_USER", "not a folder");
    EXPECT_FALSE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"k", L"v", L"x"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"k", L"v"), L"");
    wchar_t buffer[64] = L"k";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, buffer, result), "Key not found.\n");
    EXPECT_EQ(result, 1);
}

TEST_F(RegistryTest, UnreadableKeysReadAsNothingAndAreNotDeleted)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Locked\\Inner", L"v", L"kept"));
    const fs::path locked = fs::path(m_store) / "HKEY_CURRENT_USER" / "k.locked";
    // Root reads every folder: an ordinary user owns the store instead.
    EXPECT_TRUE(kel::test::RunUnprivileged(m_dir.path(), [&] {
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Locked\\Inner", L"v"), L"");
        EXPECT_FALSE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Locked\\Inner", L"v", L"new"));
        wchar_t buffer[32] = L"Locked";
        int result = -1;
        EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, buffer, result), "Error opening key.\n");
        EXPECT_EQ(result, 0);
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Locked\\Inner", L"v"), L"kept");
    }));
}

TEST_F(RegistryTest, DeleteSubKeyRemovesNestedTreeAndRestoresTheBuffer)
{
    for (const wchar_t* key : {L"Soft\\Recent\\A", L"Soft\\Recent\\A\\Deep\\Deeper", L"Soft\\Recent\\B",
                               L"Soft\\Recent\\C\\X", L"Soft\\Keep"}) {
        ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, key, L"File1", L"c:\\x.sln"));
    }
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Soft\\Recent", L"Count", 3));

    wchar_t buffer[512] = L"Soft\\Recent\\";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, buffer, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, L"Soft\\Recent");
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Soft\\Recent", L"Count"), 0);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Soft\\Recent\\A\\Deep\\Deeper", L"File1"), L"");
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Soft\\Keep", L"File1"), L"c:\\x.sln");
    EXPECT_FALSE(fs::exists(m_store + "/HKEY_CURRENT_USER/k.soft/k.recent"));
    // No leftovers of the deletes beside the surviving key.
    for (const auto& entry : fs::directory_iterator(m_store + "/HKEY_CURRENT_USER/k.soft"))
        EXPECT_EQ(entry.path().filename().string().rfind(".del", 0), std::string::npos) << entry.path();
}

TEST_F(RegistryTest, DeleteSubKeyOfLeafAndOfMissingKey)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Leaf", L"n", 1));
    wchar_t leaf[16] = L"LEAF";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, leaf, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(leaf, L"LEAF");
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Leaf", L"n"), 0);

    wchar_t missing[32] = L"Not\\There";
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, missing, result), "Key not found.\n");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(missing, L"Not\\There");

    wchar_t root[8] = L"";
    EXPECT_EQ(CaptureDelete(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(7)), root, result),
              "Error opening key.\n");
    EXPECT_EQ(result, 0);
}

TEST_F(RegistryTest, DeleteSubKeyNeverEmptiesARootKey)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Precious", L"v", L"kept"));
    for (const wchar_t* path : {L"", L"\\", L"\\\\"}) {
        wchar_t buffer[8] = {};
        std::wcscpy(buffer, path);
        int result = -1;
        EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, buffer, result), "");
        EXPECT_EQ(result, 0);
        EXPECT_STREQ(buffer, path);
        EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Precious", L"v"), L"kept");
    }
}

TEST_F(RegistryTest, UserOperationsGoThroughTheApplicationProfile)
{
    CWinApp app(L"KelWatch");
    app.SetRegistryKey(L"Local AppWizard-Generated Applications");
    CKelRegistry registry;
    registry.SetApp(&app);
    EXPECT_EQ(registry.UserReadInt(L"Settings", L"ApplicationLook", 212), 212);
    EXPECT_EQ(registry.UserReadString(L"Settings", L"Last", L"default"), L"default");
    EXPECT_TRUE(registry.UserWriteInt(L"Settings", L"ApplicationLook", -5));
    EXPECT_TRUE(registry.UserWriteString(L"Settings", L"Last", L"파일.log"));
    EXPECT_EQ(registry.UserReadInt(L"Settings", L"ApplicationLook", 0), -5);
    EXPECT_EQ(registry.UserReadString(L"Settings", L"Last", L""), L"파일.log");
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER,
                                            L"Software\\Local AppWizard-Generated Applications\\KelWatch\\Settings",
                                            L"Last"),
              L"파일.log");
    // A null value deletes the entry.
    EXPECT_TRUE(app.WriteProfileString(L"Settings", L"Last", nullptr));
    EXPECT_EQ(registry.UserReadString(L"Settings", L"Last", L"gone"), L"gone");
    EXPECT_EQ(AfxGetApp(), &app);
}

TEST_F(RegistryTest, UserOperationsWithoutApplicationReportFailure)
{
    CKelRegistry registry;
    EXPECT_EQ(registry.UserReadInt(L"S", L"E", 3), 3);
    EXPECT_EQ(registry.UserReadString(L"S", L"E", L"d"), L"d");
    EXPECT_FALSE(registry.UserWriteInt(L"S", L"E", 1));
    EXPECT_FALSE(registry.UserWriteString(L"S", L"E", L"x"));
}

// A writer killed with SIGKILL while it rewrites a set of keys leaves every
// key it had completely written readable: with its last reported contents or
// with the ones it was writing, never damaged and never gone.
TEST_F(RegistryTest, WriterKilledMidWriteLeavesCompleteKeys)
{
    constexpr int kKeys = 16;
    const std::wstring payload(200, L'p');
    const auto keyOf = [](int round, int generation) {
        return L"Crash\\Round" + std::to_wstring(round) + L"\\Key" + std::to_wstring(generation % kKeys);
    };
    for (int round = 0; round < 4; ++round) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipeFds[0]);
            for (int generation = 0;; ++generation) {
                const std::wstring key = keyOf(round, generation);
                const std::wstring value = payload + std::to_wstring(generation);
                if (!CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, key.c_str(), L"Text", value.c_str())
                    || !CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, key.c_str(), L"Number",
                                                    static_cast<DWORD>(generation)))
                    _exit(2);
                if (write(pipeFds[1], &generation, sizeof generation) != sizeof generation)
                    _exit(3);
            }
        }
        close(pipeFds[1]);
        int done = -1;
        int reported = 0;
        const int killAfter = 40 + round * 97;
        while (read(pipeFds[0], &done, sizeof done) == sizeof done) {
            if (++reported == killAfter)
                kill(child, SIGKILL);
        }
        close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself: " << status;
        ASSERT_GE(done, kKeys);

        for (int last = done - kKeys + 1; last <= done; ++last) {
            const std::wstring key = keyOf(round, last);
            const std::wstring text = CKelRegistry::LocalReadString(HKEY_CURRENT_USER, key.c_str(), L"Text").str();
            const int number = CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, key.c_str(), L"Number");
            const int next = last + kKeys; // the write that may have been cut
            EXPECT_TRUE(text == payload + std::to_wstring(last) || text == payload + std::to_wstring(next))
                << "key " << last % kKeys << " holds " << text.size() << " characters";
            EXPECT_TRUE(number == last || number == next) << "key " << last % kKeys << " holds " << number;
        }
    }
}

// ---- Names in every script, and keys with many children ----

TEST_F(RegistryTest, NamesCompareByUnicodeCaseFoldingInEveryScript)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Łódź\\ſtation", L"ẞ", L"v"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"SOFTWARE\\łÓDŹ\\STATION", L"ß"), L"v");
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"software\\ŁÓDŹ\\Station", L"ß", L"w"));
    EXPECT_EQ(ValueFiles().size(), 1u) << "one key and one value, whatever the case";
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Łódź\\ſtation", L"ẞ"), L"w");
    // Scripts that fold to upper case or lie beyond the basic plane.
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"\uAB70\\\U00010400", L"Ὀδυσσεύς", 7));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"\u13A0\\\U00010428", L"ὈΔΥΣΣΕΎΣ"), 7);
    // Dotted and dotless i stay apart, as outside Turkish.
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Turkic", L"İ", 1));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Turkic", L"i"), 0);

    // A key keeps the spelling it was made with.
    kel::platform::CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, L"SOFTWARE\\ŁÓDŹ"), 0);
    CStringW name;
    ASSERT_EQ(key.EnumKey(0, name), 0);
    EXPECT_EQ(name, L"ſtation");
}

TEST_F(RegistryTest, DeleteSubKeyWithManyChildrenRemovesEveryOneAndLeavesNoTrash)
{
    constexpr int kChildren = 600;
    for (int i = 0; i < kChildren; ++i) {
        const std::wstring child = L"Many\\Recent\\Child" + std::to_wstring(i);
        ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, child.c_str(), L"n", static_cast<DWORD>(i)));
    }
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Many\\Recent\\Child7\\Deeper", L"n", 1));
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Many\\Kept", L"n", 1));
    // What a delete killed half way left: in the trash, and inside a key
    // (where an earlier version of the store kept it).
    const std::string root = m_store + "/HKEY_CURRENT_USER";
    fs::create_directories(root + "/.deleted/killed");
    kel::test::WriteBytes(root + "/.deleted/killed/v.x", "x");
    fs::create_directories(root + "/k.many/k.recent/k.child3/.del.old/key");
    kel::test::WriteBytes(root + "/k.many/k.recent/k.child3/.del.old/key/v.x", "x");

    wchar_t buffer[64] = L"MANY\\recent";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, buffer, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, L"MANY\\recent");
    EXPECT_FALSE(fs::exists(root + "/k.many/k.recent"));
    EXPECT_EQ(CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, L"Many\\Kept", L"n"), 1);
    EXPECT_TRUE(fs::is_empty(root + "/.deleted")) << "nothing waits in the trash";
    for (const auto& entry : fs::directory_iterator(root + "/k.many")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == ".name" || name == "k.kept") << name;
    }
}

// ---- Links, FIFOs and left-overs in the store; what reaches the disk ----

TEST_F(RegistryTest, DeletingAKeyThatIsALinkRemovesTheLinkAndNothingItLeadsTo)
{
    const fs::path documents = m_dir.path() / "Documents";
    fs::create_directories(documents / "k.inner");
    kel::test::WriteBytes((documents / "letter.txt").string(), "dear");
    kel::test::WriteBytes((documents / "v.x").string(), "not a value");
    kel::test::WriteBytes((documents / "k.inner" / "notes.txt").string(), "notes");
    const auto documentsHoldEverything = [&] {
        EXPECT_EQ(kel::test::ReadBytes((documents / "letter.txt").string()), "dear");
        EXPECT_EQ(kel::test::ReadBytes((documents / "v.x").string()), "not a value");
        EXPECT_EQ(kel::test::ReadBytes((documents / "k.inner" / "notes.txt").string()), "notes");
    };
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Kept", L"v", L"kept"));
    const std::string software = m_store + "/HKEY_CURRENT_USER/k.software";
    fs::create_directory_symlink(documents, software + "/k.x");

    wchar_t key[64] = L"Software\\x";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, key, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(software + "/k.x")));
    documentsHoldEverything();
    EXPECT_TRUE(fs::is_empty(m_store + "/HKEY_CURRENT_USER/.deleted")) << "the link waits in the trash";

    // A link on the way to a key is not followed either: the key below it is
    // not in the store.
    fs::create_directory_symlink(documents, software + "/k.linked");
    wchar_t below[64] = L"Software\\Linked\\Inner";
    CaptureDelete(HKEY_CURRENT_USER, below, result);
    documentsHoldEverything();

    // Deleting the whole tree removes the link inside it as a link.
    wchar_t all[64] = L"Software";
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, all, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(software)));
    documentsHoldEverything();
}

TEST_F(RegistryTest, ATrashFolderThatIsALinkIsNeverFollowed)
{
    const fs::path elsewhere = m_dir.path() / "Elsewhere";
    fs::create_directories(elsewhere);
    kel::test::WriteBytes((elsewhere / "precious").string(), "keep me");
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Gone", L"n", 1));
    fs::create_directory_symlink(elsewhere, m_store + "/HKEY_CURRENT_USER/.deleted");

    wchar_t key[16] = L"Gone";
    int result = -1;
    EXPECT_EQ(CaptureDelete(HKEY_CURRENT_USER, key, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(kel::test::ReadBytes((elsewhere / "precious").string()), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), {}), 1) << "nothing was put there";
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(m_store + "/HKEY_CURRENT_USER/.deleted")));
}

// A value file is flushed to the disk before it takes the value's name, and
// its folder after; otherwise a power loss can leave the name on an empty file.
TEST_F(RegistryTest, AValueReachesTheDiskBeforeItReplacesTheOldOne)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Sync", L"Other", L"x"));
    const std::string folder = m_store + "/HKEY_CURRENT_USER/k.sync";
    const std::string value = folder + "/v.name";
    struct stat folderInfo {};
    ASSERT_EQ(stat(folder.c_str(), &folderInfo), 0);
    const auto inodeOf = [](const std::string& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    };
    const auto syncsOfWrite = [&](const wchar_t* text) {
        {
            std::lock_guard lock(g_syncMutex);
            g_syncs.clear();
            g_watchedPath = value;
        }
        EXPECT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Sync", L"Name", text));
        std::lock_guard lock(g_syncMutex);
        g_watchedPath.clear();
        return g_syncs;
    };

    for (const wchar_t* text : {L"first", L"second"}) {
        const ino_t before = inodeOf(value);
        const std::vector<SyncRecord> syncs = syncsOfWrite(text);
        const ino_t after = inodeOf(value);
        ASSERT_NE(after, 0u);
        ASSERT_NE(after, before);
        bool fileFirst = false, folderAfter = false;
        for (const SyncRecord& sync : syncs) {
            fileFirst |= !sync.folder && sync.inode == after && sync.watchedInode == before;
            folderAfter |= sync.folder && sync.inode == folderInfo.st_ino && sync.device == folderInfo.st_dev
                && sync.watchedInode == after;
        }
        EXPECT_TRUE(fileFirst) << "the new file was not flushed before the rename";
        EXPECT_TRUE(folderAfter) << "the folder was not flushed after the rename";
        EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Sync", L"Name"), text);
    }
}

// A writer killed between its temporary file and the rename leaves the file
// behind; the next write of that key removes it, but not the file of a
// writer at work (which holds a lock on it), nor anything of other keys.
TEST_F(RegistryTest, AWriteClearsWhatAKilledWriterLeftInItsKey)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Left", L"v", L"1"));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Other", L"v", L"1"));
    const std::string folder = m_store + "/HKEY_CURRENT_USER/k.left";
    const std::string other = m_store + "/HKEY_CURRENT_USER/k.other";
    kel::test::WriteBytes(folder + "/.tmp.Killed", "half a value");
    kel::test::WriteBytes(folder + "/.tmp.Active", "being written");
    kel::test::WriteBytes(other + "/.tmp.Killed", "half a value");
    const int active = open((folder + "/.tmp.Active").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(active, 0);
    ASSERT_EQ(flock(active, LOCK_EX), 0);

    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Left", L"v", L"2"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Left", L"v"), L"2");
    EXPECT_FALSE(fs::exists(folder + "/.tmp.Killed"));
    EXPECT_EQ(kel::test::ReadBytes(folder + "/.tmp.Active"), "being written");
    EXPECT_TRUE(fs::exists(other + "/.tmp.Killed"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {".name", ".tmp.Active", "v.v"}));

    close(active); // its writer ended without renaming it
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Left", L"v", L"3"));
    EXPECT_FALSE(fs::exists(folder + "/.tmp.Active"));
}

// Names too long for a file name are stored under a shortened one, which two
// names can share. Each keeps its own value: here the shared file already
// holds the other name's value when the second name is first read and written.
TEST_F(RegistryTest, LongValueNamesSharingAFileNameKeepTheirOwnValues)
{
    const std::wstring name1 = std::wstring(250, L'가') + L"1";
    const std::wstring name2 = std::wstring(250, L'가') + L"2";
    kel::platform::CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, L"Long", KEY_WRITE), 0);
    ASSERT_EQ(key.SetString(name2.c_str(), L"probe"), 0);
    ASSERT_EQ(ValueFiles().size(), 1u);
    const std::string file2 = ValueFiles()[0].string();
    ASSERT_EQ(key.DeleteValue(name2.c_str()), 0);
    ASSERT_EQ(key.SetString(name1.c_str(), L"one"), 0);
    ASSERT_EQ(ValueFiles().size(), 1u);
    const std::string file1 = ValueFiles()[0].string();
    ASSERT_NE(file1, file2);
    fs::copy_file(file1, file2); // name1's value under the file name of name2
    const std::string shared = kel::test::ReadBytes(file2);

    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name2.c_str()), L"");
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", name2.c_str(), L"two"));
    EXPECT_EQ(kel::test::ReadBytes(file2), shared) << "the other name's value was written over";
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name2.c_str()), L"two");
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name1.c_str()), L"one");
    // Written again, it replaces its own value; deleted, only its own goes.
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"LONG", name2.c_str(), L"two again"));
    EXPECT_EQ(ValueFiles().size(), 3u);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name2.c_str()), L"two again");
    EXPECT_EQ(key.DeleteValue(name2.c_str()), 0);
    EXPECT_EQ(key.DeleteValue(name2.c_str()), ENOENT);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name2.c_str()), L"");
    EXPECT_EQ(kel::test::ReadBytes(file2), shared);
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Long", name1.c_str()), L"one");
    // A delete closes the gap it leaves (the last slot in use moves into
    // it), so that a search, which ends at the first free slot, still finds
    // every value after it.
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Long", name2.c_str(), L"three"));
    ASSERT_EQ(ValueFiles().size(), 3u);
    fs::copy_file(file2, file2 + "%2"); // a third name's value after it
    EXPECT_EQ(key.DeleteValue(name2.c_str()), 0);
    EXPECT_EQ(kel::test::ReadBytes(file2 + "%1"), shared);
    EXPECT_FALSE(fs::exists(file2 + "%2"));
}

// A FIFO where a value file should be is no value, and reading it never waits
// for a writer; writing the value puts a value file in its place.
TEST_F(RegistryTest, AFifoInTheStoreReadsAsNothingWithoutWaiting)
{
    ASSERT_TRUE(CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, L"Pipes", L"other", 1));
    const std::string fifo = m_store + "/HKEY_CURRENT_USER/k.pipes/v.pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto read = std::make_shared<std::promise<CStringW>>();
    std::future<CStringW> text = read->get_future();
    std::thread([read] {
        read->set_value(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Pipes", L"pipe"));
    }).detach(); // left behind, blocked, only if the read waits
    ASSERT_EQ(text.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the read waits on the FIFO";
    EXPECT_EQ(text.get(), L"");
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Pipes", L"pipe", L"value"));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Pipes", L"pipe"), L"value");
    EXPECT_TRUE(fs::is_regular_file(fifo));
}
