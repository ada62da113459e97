#pragma once

// Helpers of the network tests: loopback sockets with time-outs, waiting
// for a condition, and peer programs (socat, ncat) run as child processes.
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
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

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` passes.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    int Get() const { return m_fd; }
    int Release() { const int fd = m_fd; m_fd = -1; return fd; }
    void Reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

inline sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline int LocalPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A blocking client connected to 127.0.0.1:port.
inline Fd ConnectLoopback(int port)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect to 127.0.0.1 failed");
    return fd;
}

// A listening socket on 127.0.0.1 at an ephemeral port.
inline Fd ListenLoopback(int backlog = 16)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(0);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd.Get(), backlog) != 0)
        throw std::runtime_error("listen on 127.0.0.1 failed");
    return fd;
}

// A port on which nothing listens (bound once, then released).
inline int UnusedPort()
{
    Fd probe = ListenLoopback();
    return LocalPort(probe.Get());
}

inline Fd AcceptWithin(int listener, std::chrono::milliseconds timeout = 5000ms)
{
    pollfd wait{listener, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1)
        throw std::runtime_error("nothing connected in time");
    return Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

inline void SendAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            throw std::runtime_error("send failed");
        done += static_cast<size_t>(sent);
    }
}

// Reads until `count` bytes, end of stream or the time-out.
inline std::string ReceiveUpTo(int fd, size_t count, std::chrono::milliseconds timeout = 5000ms)
{
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) != 1)
            break;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}

// True when the peer has closed: a read gives end of stream (or a reset).
inline bool PeerClosed(int fd, std::chrono::milliseconds timeout = 5000ms)
{
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1)
        return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// Closes with a reset instead of an orderly close.
inline void Reset(Fd& fd)
{
    const linger hard{1, 0};
    setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    fd.Reset();
}

// A program run with its standard input and error on pipes; killed and
// reaped when the object goes.
class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& arguments)
    {
        int input[2], errors[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const int failed = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(errors[1]);
        m_input = Fd(input[1]);
        m_errors = Fd(errors[0]);
        if (failed != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + arguments.front());
        }
    }
    ~PeerProcess()
    {
        m_input.Reset();
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    void Write(const std::string& bytes) { SendAllToPipe(bytes); }
    void CloseInput() { m_input.Reset(); }

    // Reads standard error until a line contains `text`; returns that line.
    std::string WaitForErrorLine(const std::string& text, std::chrono::milliseconds timeout = 5000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            size_t end;
            while ((end = m_errorText.find('\n')) != std::string::npos) {
                std::string line = m_errorText.substr(0, end);
                m_errorText.erase(0, end + 1);
                if (line.find(text) != std::string::npos)
                    return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd wait{m_errors.Get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) != 1)
                return std::string();
            char buffer[512];
            const ssize_t got = ::read(m_errors.Get(), buffer, sizeof buffer);
            if (got <= 0)
                return std::string();
            m_errorText.append(buffer, static_cast<size_t>(got));
        }
    }

    // The exit status, or -1 when it has not ended within `timeout`.
    int WaitForExit(std::chrono::milliseconds timeout = 5000ms)
    {
        int status = 0;
        const bool ended = WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended)
            return -1;
        m_exited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    void SendAllToPipe(const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::write(m_input.Get(), bytes.data() + done, bytes.size() - done);
            if (written <= 0)
                throw std::runtime_error("write to child failed");
            done += static_cast<size_t>(written);
        }
    }

    pid_t m_pid = -1;
    bool m_exited = false;
    Fd m_input;
    Fd m_errors;
    std::string m_errorText;
};

// socat listening on 127.0.0.1 at an ephemeral port, serving one connection
// with `address` (e.g. "SYSTEM:printf abc"); Port() tells where.
class SocatServer {
public:
    explicit SocatServer(const std::string& address)
        : m_process({"socat", "-d", "-d", "TCP-LISTEN:0,bind=127.0.0.1,reuseaddr", address})
    {
        const std::string line = m_process.WaitForErrorLine("listening on");
        const size_t colon = line.rfind(':');
        if (colon == std::string::npos)
            throw std::runtime_error("socat did not start listening");
        m_port = std::stoi(line.substr(colon + 1));
    }
    int Port() const { return m_port; }
    PeerProcess& Process() { return m_process; }

private:
    PeerProcess m_process;
    int m_port = 0;
};

} // namespace kel::test
