#pragma once

// Real servers for the tests, started by the test itself and stopped when the
// helper goes out of scope: a child process that reports its port by writing
// it to a file (the scripts in this folder do), or that is probed by
// connecting to a port chosen in advance (vsftpd).
#include "TestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kel::test {

#ifndef KEL_TEST_SUPPORT_DIR
#error "KEL_TEST_SUPPORT_DIR must name tests/support"
#endif

inline std::string SupportFile(const std::string& name) { return std::string(KEL_TEST_SUPPORT_DIR) + "/" + name; }

// Debian's Python packages belong to the system interpreter.
constexpr const char* kSystemPython = "/usr/bin/python3";

// A port that was free a moment ago on 127.0.0.1.
inline int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

inline bool CanConnect(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    void Spawn(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + arguments[0]);
    }

    // Waits until the child wrote its port into `portFile`.
    void WaitForPortFile(const std::string& portFile)
    {
        for (int tries = 0; tries < 200; ++tries) {
            std::ifstream in(portFile);
            if (in >> m_port)
                return;
            _ThrowIfExited();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("server did not report its port");
    }

    void WaitForConnect(int port)
    {
        for (int tries = 0; tries < 200; ++tries) {
            if (CanConnect(port)) {
                m_port = port;
                return;
            }
            _ThrowIfExited();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        throw std::runtime_error("server does not accept connections");
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        for (int tries = 0; tries < 60; ++tries) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    int Port() const { return m_port; }

private:
    void _ThrowIfExited()
    {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("server exited at start-up");
        }
    }

    pid_t m_pid = -1;
    int m_port = 0;
};

// pyftpdlib serving `Root()` to one user, with an optional fault
// (see ftp_server.py).
class PyFtpServer {
public:
    static constexpr const char* kUser = "kel";
    static constexpr const char* kPassword = "secret";

    explicit PyFtpServer(const std::string& fault = "none", long dropAfter = 65536)
    {
        std::filesystem::create_directories(m_dir.path() / "root");
        const std::string portFile = m_dir / "port";
        m_process.Spawn({kSystemPython, SupportFile("ftp_server.py"), "--root", Root(), "--port-file", portFile,
                         "--user", kUser, "--password", kPassword, "--fault", fault, "--drop-after",
                         std::to_string(dropAfter)});
        m_process.WaitForPortFile(portFile);
    }

    std::string Root() const { return (m_dir.path() / "root").string(); }
    int Port() const { return m_process.Port(); }

private:
    TempDir m_dir;
    ServerProcess m_process;
};

// vsftpd with anonymous access (any password) to `Root()`, uploads and MKD
// allowed. It runs as the user who starts it and so cannot chroot: clients
// must use names relative to the root (an absolute path is the machine's).
class VsftpdServer {
public:
    VsftpdServer()
    {
        std::filesystem::create_directories(m_dir.path() / "root");
        std::filesystem::create_directories(m_dir.path() / "empty");
        const int port = FreeLoopbackPort();
        const std::string config = m_dir / "vsftpd.conf";
        std::ofstream out(config);
        out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
            << "\nrun_as_launching_user=YES\nanonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\n"
               "anon_root="
            << Root()
            << "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
               "anon_other_write_enable=YES\nanon_umask=022\npasv_enable=YES\npasv_address=127.0.0.1\n"
               "seccomp_sandbox=NO\nbackground=NO\nxferlog_enable=NO\nsyslog_enable=NO\nsecure_chroot_dir="
            << (m_dir.path() / "empty").string() << "\nftp_username=" << UserName() << "\n";
        out.close();
        m_process.Spawn({"/usr/sbin/vsftpd", config});
        m_process.WaitForConnect(port);
    }

    std::string Root() const { return (m_dir.path() / "root").string(); }
    int Port() const { return m_process.Port(); }

private:
    static std::string UserName()
    {
        const char* user = std::getenv("USER");
        return user && *user ? user : "root";
    }

    TempDir m_dir;
    ServerProcess m_process;
};

// The HTTP server of http_server.py; RecordDir() receives the POSTed requests.
class PyHttpServer {
public:
    PyHttpServer()
    {
        std::filesystem::create_directories(m_dir.path() / "records");
        const std::string portFile = m_dir / "port";
        m_process.Spawn({kSystemPython, SupportFile("http_server.py"), "--port-file", portFile, "--record-dir",
                         RecordDir()});
        m_process.WaitForPortFile(portFile);
    }

    std::string RecordDir() const { return (m_dir.path() / "records").string(); }
    int Port() const { return m_process.Port(); }

private:
    TempDir m_dir;
    ServerProcess m_process;
};

// A listener that accepts connections and never says a word.
class SilentServer {
public:
    SilentServer()
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(m_fd, 8) != 0
            || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { close(m_fd); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace kel::test
