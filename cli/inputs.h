// Turns the command line's inputs (files, masks, folders) into the list
// of files to convert.
#pragma once

#include <string>
#include <vector>

#include "support/failure.h"

namespace quenrix::cli {

struct Inputs {
    std::vector<std::string> files;
    // The folders that could not be read, each with its cause: their
    // files are not known, so the run cannot be called complete.
    std::vector<Failure> unreadFolders;
};

// Files named by `inputs`, in order: a folder gives its SIG and RMG files
// (with `recursive` those of its subfolders too), a mask the SIG and RMG
// files it matches, a plain name itself whatever its kind. Each folder's
// files are sorted ignoring case. A file named twice (by the same path or
// another, a link or a mask) is listed once, where it first comes.
Inputs ExpandInputs(const std::vector<std::string>& inputs, bool recursive);

}  // namespace quenrix::cli
