#include "FtpReply.h"

#include <charconv>

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

// "229 Entering Extended Passive Mode (|||6446|)" gives 6446.
bool ParseEpsvPort(const std::string& text, WORD& port)
{
    const size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size())
        return false;
    const char delimiter = text[open + 1];
    if (text[open + 2] != delimiter || text[open + 3] != delimiter)
        return false;
    const char* first = text.data() + open + 4;
    const char* last = text.data() + text.size();
    unsigned value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end == last || *end != delimiter || value == 0 || value > 65535)
        return false;
    port = static_cast<WORD>(value);
    return true;
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" gives p1 * 256 + p2.
bool ParsePasvPort(const std::string& text, WORD& port)
{
    const size_t open = text.find('(');
    size_t at = text.find_first_of("0123456789", open == std::string::npos ? 4 : open + 1);
    unsigned numbers[6] = {};
    for (unsigned& number : numbers) {
        if (at == std::string::npos || at >= text.size())
            return false;
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), number);
        if (error != std::errc() || number > 255)
            return false;
        at = static_cast<size_t>(end - text.data()) + 1;
    }
    port = static_cast<WORD>(numbers[4] * 256 + numbers[5]);
    return port != 0;
}

} // namespace kel::platform
