#include "CommandLine.h"

#include <charconv>

namespace {

// A line number: digits only, at least 1.
bool ParseLine(const std::string& text, size_t& line)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, line);
    return error == std::errc() && stop == end && line > 0;
}

SWatchCommandLine Failed(std::string error)
{
    SWatchCommandLine failed;
    failed.action = SWatchCommandLine::EAction::Error;
    failed.error = std::move(error);
    return failed;
}

} // namespace

SWatchCommandLine ParseWatchCommandLine(const std::vector<std::string>& arguments)
{
    SWatchCommandLine asked;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument == "-" || (argument[0] != '-' && argument[0] != '+')) {
            asked.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            asked.action = SWatchCommandLine::EAction::Help;
        } else if (argument == "--version") {
            if (asked.action != SWatchCommandLine::EAction::Help)
                asked.action = SWatchCommandLine::EAction::Version;
        } else if (argument == "--no-follow") {
            asked.follow = false;
        } else if (argument == "--line" || argument.rfind("--line=", 0) == 0) {
            const bool joined = argument.size() > 6;
            if (!joined && i + 1 == arguments.size())
                return Failed("--line needs a line number");
            const std::string number = joined ? argument.substr(7) : arguments[++i];
            if (!ParseLine(number, asked.line))
                return Failed("not a line number: " + number);
        } else if (argument[0] == '+') {
            if (!ParseLine(argument.substr(1), asked.line))
                return Failed("not a line number: " + argument);
        } else {
            return Failed("unknown option: " + argument);
        }
    }
    return asked;
}

std::string WatchUsage()
{
    return "사용법: KelWatch [--no-follow] [+N | --line N] [--] [파일 ...]\n"
           "       KelWatch --help | --version\n"
           "\n"
           "로그 파일을 탭마다 하나씩 열고, 늘어나는 내용을 따라가며 보여 줍니다.\n"
           "\n"
           "  +N, --line N   첫 파일을 N번째 줄에서 보여 줍니다\n"
           "  --no-follow    끝을 따라가지 않고 첫 줄부터 보여 줍니다\n"
           "  --help         이 도움말을 보여 주고 끝냅니다\n"
           "  --version      판 번호를 보여 주고 끝냅니다\n"
           "  --             뒤의 인자는 모두 파일 이름입니다\n";
}
