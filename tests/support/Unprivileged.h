#pragma once

// Runs part of a test as an unprivileged user. Root reads, writes and removes
// every file, so checks about permissions mean nothing as root: there the
// part runs in a child process that has become "nobody".
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace kel::test {

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNoGroup = 65534;

// Runs `body` (which uses ordinary EXPECTs) as the current user when that
// is not root. As root, `owned` and everything below it are given to nobody
// first (keep it in a SharedTempDir, which nobody can reach), and `body`
// runs in a child as nobody; its failures are printed there and make the
// result false here.
inline bool RunUnprivileged(const std::filesystem::path& owned, const std::function<void()>& body)
{
    if (geteuid() != 0) {
        body();
        return true;
    }
    bool given = lchown(owned.c_str(), kNobody, kNoGroup) == 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(owned))
        given = lchown(entry.path().c_str(), kNobody, kNoGroup) == 0 && given;
    if (!given)
        return false;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kNoGroup) != 0 || setuid(kNobody) != 0)
            _exit(2);
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace kel::test
