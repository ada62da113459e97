#pragma once

// The process's own argument area: what `ps` and /proc/PID/cmdline show of
// the command line. A program that takes a secret on its command line
// remembers the area at start-up and blanks the secret once it has a copy.
#include "KelExport.h"

namespace kel::platform {

// Remembers `argv` as given to main; called once, before any HideProcessArgument.
KELCORE_API void KeepProcessArguments(int argc, char** argv);

// Overwrites the bytes of argument `index` with spaces, so that other users
// no longer see its text; its length stays visible. Does nothing when the
// area was not remembered or has no such argument. Not thread safe: meant
// for start-up.
KELCORE_API void HideProcessArgument(int index);

} // namespace kel::platform
