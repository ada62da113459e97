#pragma once

// What KelWatch is asked on its command line:
//
//     KelWatch [--no-follow] [+N | --line N] [--] [FILE ...]
//     KelWatch --help | --version
//
// Options may stand anywhere before "--"; everything after it, and every
// argument that does not start with '-' or '+', is a file. Needs no display,
// so --help and --version answer where there is none.
#include <cstddef>
#include <string>
#include <vector>

struct SWatchCommandLine {
    enum class EAction { Open, Help, Version, Error };
    EAction action = EAction::Open;
    std::vector<std::string> files;
    size_t line = 0;     // the line to show first (1-based); 0 when none was asked for
    bool follow = true;  // false: the documents start at their first line, not following the end
    std::string error;   // for Error: what was wrong, in one line
};

// `arguments` without the program's name.
SWatchCommandLine ParseWatchCommandLine(const std::vector<std::string>& arguments);
// The text --help prints.
std::string WatchUsage();
