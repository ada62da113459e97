// A .netrc text searched for a server and a user name: the first byte splits
// off the server name, the second the user name, the rest is the file.
// Checks that an entry found for a named user carries that login.
#include "Netrc.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string_view host = input.substr(0, std::min<size_t>(data[0] % 32, input.size()));
    input.remove_prefix(host.size());
    const std::string_view user = input.substr(0, std::min<size_t>(data[1] % 16, input.size()));
    input.remove_prefix(user.size());
    const NetrcLogin login = FindNetrcLogin(input, host, user);
    if (!login.found && (!login.login.empty() || !login.password.empty()))
        std::abort();
    if (login.found && !user.empty() && login.login != user)
        std::abort();
    return 0;
}
