#include "FtpReply.h"

namespace kel::platform {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a line that opens a reply; -1 when the line cannot open one.
int OpeningCode(std::string_view line, bool& continued)
{
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || !IsDigit(line[1]) || !IsDigit(line[2]))
        return -1;
    if (line.size() == 3) {
        continued = false;
    } else if (line[3] == ' ' || line[3] == '-') {
        continued = line[3] == '-';
    } else {
        return -1;
    }
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool ClosesReply(std::string_view line, std::string_view code)
{
    return line.substr(0, 3) == code && (line.size() == 3 || line[3] == ' ');
}

// The next complete line from `at`, without its line end; false when none.
bool NextLine(std::string_view input, size_t& at, std::string_view& line)
{
    const size_t end = input.find('\n', at);
    if (end == std::string_view::npos)
        return false;
    line = input.substr(at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    at = end + 1;
    return true;
}

} // namespace

FtpReplyStatus ParseFtpReply(std::string_view input, FtpReply& reply, size_t& used)
{
    size_t at = 0;
    std::string_view line;
    if (!NextLine(input, at, line))
        return input.size() > kFtpReplyLimit ? FtpReplyStatus::Malformed : FtpReplyStatus::Incomplete;

    bool continued = false;
    const int code = OpeningCode(line, continued);
    if (code < 0)
        return FtpReplyStatus::Malformed;
    std::string text(line);
    const std::string_view codeText = line.substr(0, 3);
    while (continued) {
        if (!NextLine(input, at, line))
            return input.size() > kFtpReplyLimit ? FtpReplyStatus::Malformed : FtpReplyStatus::Incomplete;
        text += "\r\n";
        text += line;
        continued = !ClosesReply(line, codeText);
    }
    if (at > kFtpReplyLimit)
        return FtpReplyStatus::Malformed;
    reply.code = code;
    reply.text = std::move(text);
    used = at;
    return FtpReplyStatus::Complete;
}

} // namespace kel::platform
