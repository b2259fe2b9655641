// What the window program's command line asks for: the inputs of
// automatic mode, the options, or only the usage or the version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/failure.h"

namespace quenrix {

struct CommandLine {
    // The first argument, and every later one that is no option, in order:
    // a shell that expands "*.SIG" hands over one argument per file.
    std::vector<std::string> inputs;
    bool deleteInputs = true;  // "/NOTDEL" keeps them
    bool log = true;           // "/NLOG" writes none
    // "/MANIFEST=FILE": each file's manifest line is appended to FILE
    // (as quenrix-cli --manifest writes them); empty: none.
    std::string manifest;
};

// Options are whole arguments in any letter case: "/NOTDEL", "/NLOG" and
// "/DEBUG" (taken, and does nothing, as it always has); and "/MANIFEST="
// followed by a file name, as it is typed.
CommandLine ReadArguments(const std::vector<std::string>& arguments);

// A menu entry starts the window in the program's own folder (Program
// Files), where a user cannot write its log: started there without
// arguments, the window is to work in the user's own folder instead
// (Documents on Windows, the home folder on Linux).
bool StartedInTheProgramFolder(const std::vector<std::string>& arguments,
                               const std::string& currentFolder, const std::string& programPath);

// "--help" (also "-h" and "/?") or "--version" as the only argument,
// where no file of that name exists: the text to print instead of running.
std::optional<std::string> InformationAskedFor(const std::vector<std::string>& arguments);

}  // namespace quenrix
