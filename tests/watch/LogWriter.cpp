// A separate process that writes a log file the way a logging program does:
// it keeps the file open for appending and writes what it is told. Commands
// arrive one per line on standard input and are acknowledged with "ok" or
// "error" on standard output:
//   open PATH | write HEX | truncate | close | remove PATH
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

} // namespace

int main()
{
    int fd = -1;
    std::string line;
    while (std::getline(std::cin, line)) {
        const size_t space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        bool ok = false;
        if (command == "open") {
            if (fd >= 0)
                close(fd);
            fd = open(argument.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            ok = fd >= 0;
        } else if (command == "write") {
            ok = fd >= 0 && WriteAll(fd, FromHex(argument));
        } else if (command == "truncate") {
            ok = fd >= 0 && ftruncate(fd, 0) == 0;
        } else if (command == "close") {
            ok = fd < 0 || close(fd) == 0;
            fd = -1;
        } else if (command == "remove") {
            ok = unlink(argument.c_str()) == 0;
        }
        std::cout << (ok ? "ok" : "error") << std::endl;
    }
    if (fd >= 0)
        close(fd);
    return 0;
}
