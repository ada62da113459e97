#pragma once

// The reply grammar of an FTP control connection: "ddd text" on one line, or
// "ddd-text" ... up to a line that begins with the same "ddd ". Lines end with
// CR LF (a bare LF is accepted). Parsing is strict about the code: three
// digits, the first 1 to 5, then a blank, a hyphen or the line end.
#include "KelExport.h"
#include "Types.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kel::platform {

struct FtpReply {
    int code = 0;
    std::string text; // every line of the reply, without line ends, joined by "\r\n"
};

enum class FtpReplyStatus { Incomplete, Complete, Malformed };

// A reply longer than this is taken as a broken server, not waited for.
constexpr size_t kFtpReplyLimit = 64 * 1024;

// Parses the reply at the start of `input`. On Complete, `reply` holds it and
// `used` the bytes it took; Incomplete means more bytes are needed.
KELCORE_API FtpReplyStatus ParseFtpReply(std::string_view input, FtpReply& reply, size_t& used);

// The data port of a 229 reply ("(|||6446|)"); false when there is none.
KELCORE_API bool ParseEpsvPort(const std::string& text, WORD& port);
// The data port of a 227 reply ("(h1,h2,h3,h4,p1,p2)"); false when there is none.
KELCORE_API bool ParsePasvPort(const std::string& text, WORD& port);

} // namespace kel::platform
