// Turns the command line's inputs (files, masks, folders) into the list
// of files to convert.
#pragma once

#include <string>
#include <vector>

namespace quenrix::cli {

// Files named by `inputs`, in order: a folder gives its SIG and RMG files
// (with `recursive` those of its subfolders too), a mask the SIG and RMG
// files it matches, a plain name itself whatever its kind. Each folder's
// files are sorted ignoring case.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, bool recursive);

}  // namespace quenrix::cli
