// Server bytes on an FTP control connection: every reply in the input is
// parsed in turn, as the session reads them, and each passive-mode reply is
// searched for its port. Checks what the session relies on.
#include "platform/FtpReply.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using kel::platform::FtpReply;
using kel::platform::FtpReplyStatus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    FtpReply reply;
    size_t used = 0;
    while (kel::platform::ParseFtpReply(input, reply, used) == FtpReplyStatus::Complete) {
        if (used == 0 || used > input.size() || reply.code < 100 || reply.code > 599)
            std::abort();
        if (reply.text.size() < 3 || reply.text.compare(0, 3, std::to_string(reply.code)) != 0)
            std::abort();
        WORD port = 0;
        if (kel::platform::ParseEpsvPort(reply.text, port) && port == 0)
            std::abort();
        if (kel::platform::ParsePasvPort(reply.text, port) && port == 0)
            std::abort();
        input.remove_prefix(used);
    }
    return 0;
}
