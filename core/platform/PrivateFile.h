#pragma once

// Files that hold a user's secrets (such as ~/.netrc): read only when they
// are the user's own regular file that nobody else may read or change.
#include "KelExport.h"

#include <cstddef>
#include <string>

namespace kel::platform {

enum class PrivateFileStatus {
    Read,         // `bytes` holds the whole file
    Missing,      // no file of that name
    OpenToOthers, // group or others have some access, or another user owns it
    NotAFile,     // a folder, a FIFO, a device...
    Failed,       // could not be read (errno set), or larger than the limit
};

// The largest file ReadPrivateFile takes: a secrets file is small.
constexpr size_t kPrivateFileLimit = 1 << 20;

// Reads `path` (following a link to the file) without ever waiting on a
// FIFO or a device, and only after checking who may use the file.
KELCORE_API PrivateFileStatus ReadPrivateFile(const std::string& path, std::string& bytes);

// The user's home folder: $HOME, else the password database's entry.
KELCORE_API std::string HomeFolder();

} // namespace kel::platform
