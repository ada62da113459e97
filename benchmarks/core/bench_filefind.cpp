// File search over a generated tree of 200,000 files in 20,000 folders,
// beside find(1) and fd (Debian's fdfind) over the same tree in the same run:
//     find DIR -type f -name '*.cpp' -o -name '*.h'
//     fdfind -j 1 -u -s -t f -g '*.{cpp,h}' DIR
// fd gets as many threads as the search uses (one). Prints the times, the
// counts (which must agree) and the ratios peer/ours.
#include "KelFileFind.h"
#include "KelFileOperation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kTopFolders = 200;
constexpr int kSubFolders = 99;  // 200 + 200 * 99 = 20,000 folders
constexpr int kFilesPerFolder = 10; // 200,000 files
const char* const kFileNames[kFilesPerFolder] = {"main.cpp", "main.h",    "util.cpp", "util.h",  "notes.txt",
                                                 "main.o",   "README",    "data.hpp", "Test.CPP", "view.cpp"};

class CountingFind : public CKelFileFind {
public:
    void vFoundFolder(const wchar_t*, const wchar_t*) override { ++folders; }
    void vFoundFile(const wchar_t*, const wchar_t*, const wchar_t*) override { ++files; }
    long folders = 0;
    long files = 0;
};

void MakeFiles(const std::string& folder)
{
    for (const char* name : kFileNames) {
        const int fd = open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            close(fd);
    }
}

void GenerateTree(const std::string& root)
{
    for (int top = 0; top < kTopFolders; ++top) {
        const std::string topFolder = root + "/module" + std::to_string(top);
        mkdir(topFolder.c_str(), 0755);
        MakeFiles(topFolder);
        for (int sub = 0; sub < kSubFolders; ++sub) {
            const std::string subFolder = topFolder + "/part" + std::to_string(sub);
            mkdir(subFolder.c_str(), 0755);
            MakeFiles(subFolder);
        }
    }
}

// Runs a tool with its output counted in lines through a pipe, as a user
// would see it; -1 when it cannot be started or fails.
long RunCountingLines(const std::vector<const char*>& arguments)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<const char*> argv = arguments;
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    long lines = 0;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        lines += std::count(buffer, buffer + n, '\n');
    close(fds[0]);
    if (error != 0)
        return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? lines : -1;
}

long RunFind(const std::string& root)
{
    return RunCountingLines({"find", root.c_str(), "-type", "f", "-name", "*.cpp", "-o", "-name", "*.h"});
}

// fd with one thread, hidden and ignored files included, names matched with
// case as find and the search match them.
long RunFd(const std::string& root)
{
    return RunCountingLines({"fdfind", "-j", "1", "-u", "-s", "-t", "f", "-g", "*.{cpp,h}", root.c_str()});
}

// KEL_BENCH_TMP, else /dev/shm, else the temporary folder. A memory file
// system keeps generation short on a busy disk; both tools walk the same tree.
std::filesystem::path BenchFolder()
{
    if (const char* folder = std::getenv("KEL_BENCH_TMP"); folder && *folder)
        return folder;
    struct statvfs info {};
    if (statvfs("/dev/shm", &info) == 0 && access("/dev/shm", W_OK) == 0
        && static_cast<unsigned long long>(info.f_bavail) * info.f_frsize > (1ull << 30)
        && info.f_favail > 400000)
        return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

template <typename Work>
double BestSeconds(int runs, Work work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main()
{
    std::string pattern = (BenchFolder() / "kel-bench-find-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const auto generationStart = std::chrono::steady_clock::now();
    GenerateTree(root);
    const double generation =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - generationStart).count();
    std::printf("bench_filefind: %d folders, %d files generated in %.1f s under %s\n",
                kTopFolders * (kSubFolders + 1), kTopFolders * (kSubFolders + 1) * kFilesPerFolder, generation,
                root.c_str());

    const std::wstring wideRoot(root.begin(), root.end());
    long ours = 0;
    long peer = 0;
    long fd = 0;
    long folders = 0;
    // One warm-up each so both walk a tree that is in the page cache.
    RunFind(root);
    const bool haveFd = RunFd(root) >= 0;
    const auto walk = [&] {
        CountingFind find;
        find.FindFoldersFiles(wideRoot.c_str(), L".cpp,.h", 1, 0);
        ours = find.files;
        folders = find.folders;
    };
    walk();
    double oursSeconds = 1e30, peerSeconds = 1e30, fdSeconds = 1e30;
    for (int round = 0; round < 3; ++round) { // interleaved, best of three
        oursSeconds = std::min(oursSeconds, BestSeconds(1, walk));
        peerSeconds = std::min(peerSeconds, BestSeconds(1, [&] { peer = RunFind(root); }));
        if (haveFd)
            fdSeconds = std::min(fdSeconds, BestSeconds(1, [&] { fd = RunFd(root); }));
    }
    std::printf("  FindFoldersFiles(\".cpp,.h\")   %8.3f s  %ld files, %ld folders\n", oursSeconds, ours, folders);
    std::printf("  find -name '*.cpp' -o -name '*.h' %6.3f s  %ld files\n", peerSeconds, peer);
    if (haveFd)
        std::printf("  fdfind -j 1 -g '*.{cpp,h}'        %6.3f s  %ld files\n", fdSeconds, fd);
    else
        std::printf("  fdfind: not installed (Debian package fd-find)\n");
    if (ours != peer || (haveFd && ours != fd))
        std::printf("  COUNTS DIFFER\n");
    const double ratio = peerSeconds / oursSeconds;
    std::printf("  speed ratio (find time / ours)   %8.2f  (aim >= 1.00: %s)\n", ratio, ratio >= 1.0 ? "met" : "NOT met");
    if (haveFd) {
        const double fdRatio = fdSeconds / oursSeconds;
        std::printf("  speed ratio (fd time / ours)     %8.2f  (aim >= 1.00: %s)\n", fdRatio, fdRatio >= 1.0 ? "met" : "NOT met");
    }

    // Deletion: half of the modules by DeleteDirectory, the other half by
    // one rm -rf, the same amount of work for each.
    const double removal = BestSeconds(1, [&] {
        for (int top = 0; top < kTopFolders / 2; ++top) {
            const std::wstring folder = wideRoot + L"/module" + std::to_wstring(top);
            CKelFileOperation::DeleteDirectory(folder.c_str());
        }
    });
    const double peerRemoval = BestSeconds(1, [&] {
        std::vector<std::string> arguments{"rm", "-rf"};
        for (int top = kTopFolders / 2; top < kTopFolders; ++top)
            arguments.push_back(root + "/module" + std::to_string(top));
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        if (posix_spawnp(&child, "rm", nullptr, nullptr, argv.data(), environ) == 0)
            waitpid(child, nullptr, 0);
    });
    std::printf("  DeleteDirectory, half the tree    %8.3f s\n", removal);
    std::printf("  rm -rf, other half                %8.3f s\n", peerRemoval);
    std::printf("  deletion ratio (rm time / ours)  %8.2f\n", peerRemoval / removal);
    std::error_code error;
    std::filesystem::remove_all(root, error);
    return ours == peer && (!haveFd || ours == fd) ? 0 : 1;
}
