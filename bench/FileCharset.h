#pragma once

// The character set steps of the Files page: reading a file's encoding, and
// converting a file to another one without losing any of its text.
#include "FileBatch.h"

#include <platform/StringW.h>

namespace kel::bench {

// The encoding name of the file's first megabyte (as CKelFile names it);
// empty when it is not a regular file (a link is not followed) or cannot be
// read.
CStringW DetectCharset(const CStringW& path);

// Targets of "글자셋 변경".
enum CharsetTarget { kToUtf8 = 0, kToUtf8Mark = 1, kToCp949 = 2, kToUtf16LEMark = 3 };
extern const wchar_t* const kCharsetTargetNames[4];

// Converts the file to `target` and adds the outcome to `report`; returns
// the new encoding name when the file was converted, else empty.
//
// The bytes are decoded strictly in the detected encoding, and the new bytes
// must decode back to the same characters: a file that either step would
// change is refused with the reason (bytes that pass the UTF-8 recogniser
// but are not UTF-8 say whether they read as CP949). The new content replaces
// the file whole (CFileRewrite): mode, owner and group are kept, and a
// failed or interrupted conversion leaves the file as it was. A symbolic
// link is skipped (it may lead out of the searched tree; its target can be
// converted by its own name), and so is a file with several names (hard
// links), which a new file would split, and anything that is not a regular
// file.
CStringW ChangeCharset(const CStringW& path, int target, SBatchReport& report);

} // namespace kel::bench
