#pragma once

// Helpers shared by the tests: private temporary folders and whole-file I/O.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace kel::test {

// A fresh folder under $KEL_TEST_TMP (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir() : TempDir(FromEnvironment()) {}

    ~TempDir()
    {
        std::error_code error;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, error);
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

protected:
    static std::filesystem::path FromEnvironment()
    {
        const char* base = std::getenv("KEL_TEST_TMP");
        return base && *base ? base : "/tmp";
    }

    explicit TempDir(const std::filesystem::path& root)
    {
        std::filesystem::create_directories(root);
        std::string pattern = (root / "kel-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }

private:
    std::filesystem::path m_path;
};

// A fresh folder directly under /tmp that every user may enter. Tests that
// hand files to an unprivileged user keep them here: $KEL_TEST_TMP lies in
// the build folder, which may sit below a folder only its owner enters (a
// clone under /root, or in a mktemp -d folder).
class SharedTempDir : public TempDir {
public:
    SharedTempDir() : TempDir("/tmp")
    {
        using std::filesystem::perms;
        std::filesystem::permissions(path(), perms::owner_all | perms::group_exec | perms::others_exec);
    }
};

// Sets (or, with a null value, unsets) one environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name, m_old;
    bool m_had = false;
};

// A full disk for this process while it lives: writes that would take a
// file past `bytes` fail with EFBIG (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit low{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &low);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// The names in `dir`, without "." and "..".
inline std::set<std::string> FileNames(const std::filesystem::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace kel::test
