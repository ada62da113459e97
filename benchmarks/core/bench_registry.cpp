// Registry store: writes and reads per second of 10,000 values (strings and
// 32-bit numbers over 100 keys), beside a peer that does the least a
// crash-safe store must: one file per value, written to a temporary file,
// flushed to the disk, renamed into place and its folder flushed, read back
// with open/read/close. Then the deletion of a
// key with 1,000 and with 10,000 children (one value each), beside removing
// a folder of as many folders holding one file each: the time per child
// stays the same when the key has ten times the children.
#include "KelRegistry.h"
#include "KelFileOperation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kValues = 10000;
constexpr int kKeys = 100;
constexpr int kChunk = 1000;

std::wstring KeyOf(int i) { return L"Software\\KelBench\\Recent File List " + std::to_wstring(i % kKeys); }
std::wstring NameOf(int i) { return L"File" + std::to_wstring(i); }
std::wstring TextOf(int i) { return L"C:\\Projects\\Solution" + std::to_wstring(i) + L"\\App.sln"; }

template <typename Work>
double Seconds(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The peer: the same values as plain files, one folder per key.
void PeerWrite(const std::string& path, const std::string& bytes)
{
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (write(fd, bytes.data(), bytes.size()) < 0 || fsync(fd) != 0)
        std::perror("write");
    close(fd);
    rename(temporary.c_str(), path.c_str());
    const int folder = open(std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0 && fsync(folder) != 0)
        std::perror("fsync");
    if (folder >= 0)
        close(folder);
}

void PeerWrite(const std::string& folder, int key, const std::string& name, const std::string& bytes)
{
    PeerWrite(folder + "/" + std::to_string(key % kKeys) + "/" + name, bytes);
}

bool PeerRead(const std::string& folder, int i, std::string& bytes)
{
    const std::string path = folder + "/" + std::to_string(i % kKeys) + "/" + std::to_string(i);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[1024];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    bytes.assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return n > 0;
}

// Deletes a key of `children` children, each with one value, and a folder
// like it through std::filesystem::remove_all; prints both.
bool DeleteManyChildren(const std::string& peerFolder, int children)
{
    bool ok = true;
    const std::wstring parent = L"Software\\KelBench\\Many" + std::to_wstring(children);
    const std::string peerParent = peerFolder + "/many" + std::to_string(children);
    for (int i = 0; i < children; ++i) {
        const std::wstring child = parent + L"\\Child" + std::to_wstring(i);
        ok &= CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, child.c_str(), L"n", static_cast<DWORD>(i));
        const std::string peerChild = peerParent + "/child" + std::to_string(i);
        std::filesystem::create_directories(peerChild);
        PeerWrite(peerChild + "/n", std::to_string(i));
    }
    std::vector<wchar_t> buffer(parent.begin(), parent.end());
    buffer.push_back(0);
    const double ours = Seconds([&] { ok &= CKelRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, buffer.data()) == 1; });
    const double peer = Seconds([&] { std::filesystem::remove_all(peerParent); });
    ok &= CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, (parent + L"\\Child0").c_str(), L"n") == 0;
    std::printf("  LocalDeleteSubKey, %6d children      %7.3f s (%5.1f us a child)   peer remove_all %7.3f s"
                "   ratio (peer time / ours) %5.2f\n",
                children, ours, ours * 1e6 / children, peer, peer / ours);
    return ok;
}

void PrintRate(const char* what, double seconds)
{
    std::printf("  %-42s %9.0f values/s  (%.3f s)\n", what, kValues / seconds, seconds);
}

} // namespace

int main()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kel-bench-registry-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    setenv("KEL_REGISTRY_ROOT", (root + "/store").c_str(), 1);
    const std::string peerFolder = root + "/peer";
    for (int key = 0; key < kKeys; ++key)
        std::filesystem::create_directories(peerFolder + "/" + std::to_string(key));

    std::vector<std::wstring> keys, names, texts;
    std::vector<std::string> peerTexts;
    for (int i = 0; i < kValues; ++i) {
        keys.push_back(KeyOf(i));
        names.push_back(NameOf(i));
        texts.push_back(TextOf(i));
        peerTexts.emplace_back(texts.back().begin(), texts.back().end());
    }

    // Ours and the peer take turns in chunks of 1,000 values, so that a busy
    // disk weighs on both alike.
    bool ok = true;
    double writeStrings = 0, readStrings = 0, writeNumbers = 0, readNumbers = 0;
    double peerWrites = 0, peerReads = 0, peerReplaces = 0;
    std::string bytes;
    for (int first = 0; first < kValues; first += kChunk) {
        const int last = first + kChunk;
        writeStrings += Seconds([&] {
            for (int i = first; i < last; ++i)
                ok &= CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, keys[i].c_str(), names[i].c_str(),
                                                     texts[i].c_str());
        });
        peerWrites += Seconds([&] {
            for (int i = first; i < last; ++i)
                PeerWrite(peerFolder, i, std::to_string(i), peerTexts[i]);
        });
    }
    for (int first = 0; first < kValues; first += kChunk) {
        const int last = first + kChunk;
        readStrings += Seconds([&] {
            for (int i = first; i < last; ++i)
                ok &= CKelRegistry::LocalReadString(HKEY_CURRENT_USER, keys[i].c_str(), names[i].c_str())
                    == texts[i].c_str();
        });
        peerReads += Seconds([&] {
            for (int i = first; i < last; ++i)
                ok &= PeerRead(peerFolder, i, bytes) && bytes == peerTexts[i];
        });
    }
    // Numbers rewrite one value per key again and again: each write
    // replaces an existing file, which the file system must keep whole.
    for (int first = 0; first < kValues; first += kChunk) {
        const int last = first + kChunk;
        writeNumbers += Seconds([&] {
            for (int i = first; i < last; ++i)
                ok &= CKelRegistry::LocalWriteInt(HKEY_CURRENT_USER, keys[i].c_str(), L"Count", static_cast<DWORD>(i));
        });
        peerReplaces += Seconds([&] {
            for (int i = first; i < last; ++i)
                PeerWrite(peerFolder, i, "Count", std::to_string(i));
        });
        readNumbers += Seconds([&] {
            for (int i = first; i < last; ++i)
                ok &= CKelRegistry::LocalReadInt(HKEY_CURRENT_USER, keys[i].c_str(), L"Count") >= 0;
        });
    }
    wchar_t tree[64] = L"Software\\KelBench";
    const double deleteTree = Seconds([&] { ok &= CKelRegistry::LocalDeleteSubKey(HKEY_CURRENT_USER, tree) == 1; });

    std::printf("bench_registry: %d values over %d keys under %s\n", kValues, kKeys, root.c_str());
    PrintRate("LocalWriteString", writeStrings);
    PrintRate("LocalReadString", readStrings);
    PrintRate("LocalWriteInt", writeNumbers);
    PrintRate("LocalReadInt", readNumbers);
    PrintRate("peer: new file, temporary + rename", peerWrites);
    PrintRate("peer: open/read/close", peerReads);
    PrintRate("peer: replacing file, temporary + rename", peerReplaces);
    std::printf("  LocalDeleteSubKey of the whole tree  %.3f s\n", deleteTree);
    std::printf("  new-value write ratio (peer time / ours)  %6.2f\n", peerWrites / writeStrings);
    std::printf("  replacing write ratio (peer time / ours) %6.2f\n", peerReplaces / writeNumbers);
    std::printf("  read ratio (peer time / ours)            %6.2f\n", peerReads / readStrings);
    ok &= DeleteManyChildren(peerFolder, 1000);
    ok &= DeleteManyChildren(peerFolder, 10000);
    if (!ok)
        std::printf("  A VALUE DID NOT READ BACK\n");
    CKelFileOperation::DeleteDirectory(std::wstring(root.begin(), root.end()).c_str());
    return ok ? 0 : 1;
}
