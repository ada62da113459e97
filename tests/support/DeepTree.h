#pragma once

// Helpers for trees deeper than any path can name: building a chain of
// folders one level at a time, removing it again, and running code in a
// child process under a low limit of open files.
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kel::test {

// Builds `depth` nested folders named `folder` below `top`, each holding a
// file `file` (written after the sub-folder, so that listings put it on
// either side of it). Only one folder is open at a time. True on success.
inline bool MakeFolderChain(const std::string& top, int depth, const char* folder, const char* file)
{
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        const bool made = mkdirat(fd, folder, 0755) == 0;
        const int child = made ? openat(fd, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        const int leaf = child >= 0 ? openat(child, file, O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : -1;
        close(fd);
        fd = child;
        if (leaf < 0) {
            if (fd >= 0)
                close(fd);
            return false;
        }
        close(leaf);
    }
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// Removes a tree of any depth with the system's rm, which needs no path
// longer than the system allows.
inline void RemoveTree(const std::string& path)
{
    const std::string command = "rm -rf '" + path + "'";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

// Runs `body` in a child process with at most `limit` open files; true when
// the child ran it and it returned true.
inline bool RunWithFileLimit(rlim_t limit, const std::function<bool()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        rlimit low{limit, limit};
        _exit(setrlimit(RLIMIT_NOFILE, &low) == 0 && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace kel::test
