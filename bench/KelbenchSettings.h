#pragma once

// Start-up settings of Kelbench: the log level read from the settings file
// named after the application title (".\%s.ini", so "./Kelbench.ini"),
// section "LOG", key "LEVEL", and the log folder.
#include <platform/StringW.h>

namespace kel::bench {

// "./<title>.ini".
CStringW SettingsFileName(const wchar_t* title);

// A value of an ini file, like the platform's profile read: section and key
// names compare without regard to case and the key is trimmed; the value is
// the rest of the line after '=' with blanks around it trimmed and one pair
// of surrounding quotes removed (at most 509 characters). `defaultValue`
// when the file, section or key is missing.
CStringW ReadProfileString(const CStringW& file, const wchar_t* section, const wchar_t* key,
    const wchar_t* defaultValue);

// The log level that a "LEVEL" value selects, compared exactly and
// case-sensitively: "ERROR" 2, "INFO" 1, "DEV" 0, anything else -1.
int LogLevelOf(const CStringW& value);

// The log folder: $XDG_STATE_HOME/Kelbench/Logs/, by default
// ~/.local/state/Kelbench/Logs/.
CStringW LogFolder();

// Reads the level from the settings file of `title` (default "INFO") and
// initialises the log with it; returns the level, or -1 when the value
// matched nothing and the log was left as it was. Never raises: a log that
// cannot be set up must not keep the program from starting.
int InitLogFromSettings(const wchar_t* title);

} // namespace kel::bench
