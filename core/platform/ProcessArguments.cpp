#include "ProcessArguments.h"

#include <cstring>

namespace kel::platform {
namespace {

// Linux shows the very bytes that main's argv points into, so writing
// there changes what other processes read.
int g_argumentCount = 0;
char** g_arguments = nullptr;

} // namespace

void KeepProcessArguments(int argc, char** argv)
{
    g_argumentCount = argc;
    g_arguments = argv;
}

void HideProcessArgument(int index)
{
    if (!g_arguments || index < 0 || index >= g_argumentCount || !g_arguments[index])
        return;
    char* argument = g_arguments[index];
    // Spaces, as curl does: `ps` then shows a blank where the secret was.
    std::memset(argument, ' ', std::strlen(argument));
}

} // namespace kel::platform
