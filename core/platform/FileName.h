#pragma once

// File names between the layer's wide text and the bytes of the file system.
// Names are decoded in the system code page; bytes that it cannot decode are
// carried as U+DC80 to U+DCFF (see Unicode.h) and written back as the same
// bytes, so a name read from a folder names the same file when it is used
// again, whatever bytes it holds.
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

// File system bytes of a wide path.
KELCORE_API std::string NarrowPath(const wchar_t* path);
// Wide text of file system bytes, appended to `out`.
KELCORE_API void AppendWidePath(std::string_view bytes, std::wstring& out);
KELCORE_API std::wstring WidePath(std::string_view bytes);

} // namespace kel::platform
