#pragma once

// The files behind the registry store (RegistryStore.h): value files and
// their format, the atomic replace of a file, and the removal of a key
// folder taken out of the store. Internal to the library.
//
// Results are 0 or an errno value.
#include "StringW.h"
#include "Types.h"

#include <string>
#include <string_view>

namespace kel::platform::registry {

// File names of key and value names ("k.<name>", "v.<name>"): case folded
// (CaseFold.h), so that every process finds the same file whatever case it
// asks with; '/' and '%' escaped; a name too long for the file system cut
// and followed by a hash of the whole.
constexpr std::string_view kValuePrefix = "v.";
std::string FileName(std::string_view prefix, std::wstring_view name);
// The name bytes of a file name (without its prefix) that was not cut.
std::string UnescapeFileName(std::string_view encoded);

// Values whose names share one shortened file name take the next free slot:
// "<file name>%1", "%2"... A '%' of a name's own file name is always
// followed by "25" or "2F", so these names are nobody else's. Slots are
// kept without gaps, so the first free one ends a search.
constexpr int kValueSlots = 8;
std::string ValueSlot(const std::string& firstSlot, int slot);

// Where the value of one name is in a key folder, or would go.
struct ValueLookup {
    std::string firstSlot; // the path of slot 0
    int slot = -1;         // its slot, or the first free one; -1 when all are taken
    bool found = false;
    std::string bytes;     // the value file, when found
    std::string Path() const { return ValueSlot(firstSlot, slot); }
};

// Reads the slots of a name in order until one holds its value (the name
// stored in the file is the same, without case) or is free. An error while
// reading a slot (EBADMSG for a damaged file) ends the search there.
int FindValue(const std::string& folder, std::wstring_view name, ValueLookup& lookup);

// Most bytes a value file may hold: the largest value, its name and header.
constexpr size_t kMaxValueFileSize = (1u << 20) + 16383 * 4 + 64;

// Value file: magic, type, name (UTF-8) and data, each length-prefixed. The
// name is kept so that a value is only ever read back under its own name.
std::string EncodeValue(std::string_view utf8Name, DWORD type, const BYTE* data, DWORD size);
// False when `bytes` is not a whole value file.
bool DecodeValue(std::string_view bytes, DWORD& type, std::string_view& utf8Name, std::string_view& data);

// Reads a file of at most kMaxValueFileSize bytes whole, never through a
// final link (EBADMSG for a link, a folder or a larger file).
int ReadSmallFile(const std::string& path, std::string& bytes);

// How WriteAtomically puts the file in place.
enum class Placing {
    Replace, // over whatever has the name
    NewName, // only where nothing has the name yet: EEXIST otherwise
};

// Writes `bytes` to a temporary file in `folder`, flushes it to the disk,
// renames it to `path` and flushes the folder, so that after a crash `path`
// holds either its old content or the new one, whole. Temporary files that
// a killed writer left in `folder` are removed first; those of writers at
// work (which hold a lock on them) are left alone.
int WriteAtomically(const std::string& folder, const std::string& path, std::string_view bytes,
                    Placing placing = Placing::Replace);

// Flushes a folder's entries (a name just made or renamed) to the disk.
int SyncFolder(const std::string& folder);

// Removes `path` and, when it is a folder, everything in it. A symbolic link
// anywhere, `path` included, is removed as a link and never followed.
void RemoveTree(const std::string& path);

} // namespace kel::platform::registry
