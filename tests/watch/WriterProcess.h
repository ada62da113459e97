#pragma once

// The test's handle on a LogWriter child process: each call sends one
// command and waits for its acknowledgement, so the file is in a known state
// when the call returns.
#include <fcntl.h>
#include <cstdio>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kel::test {

class WriterProcess {
public:
    WriterProcess()
    {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        char program[] = KEL_WATCH_WRITER;
        char* argv[] = {program, nullptr};
        const int failed = posix_spawn(&m_pid, program, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        m_in = fdopen(toChild[1], "w");
        m_out = fdopen(fromChild[0], "r");
        if (failed || !m_in || !m_out)
            throw std::runtime_error("cannot start the log writer");
    }
    ~WriterProcess()
    {
        std::fclose(m_in); // end of input ends the child
        std::fclose(m_out);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    bool Open(const std::string& path) { return Send("open " + path); }
    bool Write(const std::string& bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char b : bytes) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return Send("write " + hex);
    }
    bool Truncate() { return Send("truncate"); }
    bool Close() { return Send("close"); }
    bool Remove(const std::string& path) { return Send("remove " + path); }

private:
    bool Send(const std::string& command)
    {
        std::fprintf(m_in, "%s\n", command.c_str());
        std::fflush(m_in);
        char reply[16] = {};
        return std::fgets(reply, sizeof reply, m_out) && std::string(reply) == "ok\n";
    }

    pid_t m_pid = -1;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
};

} // namespace kel::test
