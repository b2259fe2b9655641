// The files a front end's inputs name (files, masks, folders), by the
// front end's rules: the one way both turn what the user typed into the
// batch's inputs.
#pragma once

#include <string>
#include <vector>

#include "support/failure.h"

namespace quenrix {

struct InputRules {
    // A folder also gives the files of its subfolders.
    bool recursive = false;
    // A folder or mask gives only SIG and RMG files; otherwise every file,
    // which the batch then reports as no GPS file (the window's way).
    bool gpsFilesOnly = true;
    // A name without an extension names a folder, whether one stands
    // there or not (the window's command line); otherwise only where
    // nothing stands under it, so that a folder name typed wrong is
    // reported as missing, not as a file without an extension.
    bool extensionlessIsFolder = false;
    // A plain name is an input whether it exists or not, for the batch to
    // report as missing; otherwise a name that gives no file is one of
    // the inputs that found nothing.
    bool plainNameIsInput = true;
    // A file named twice (by the same path or another, a link or a mask) is
    // taken once, where it first comes.
    bool eachFileOnce = true;
};

// What one input gave.
struct ExpandedInput {
    std::string listed;  // the path as listed: a folder's with a separator added
    std::vector<std::string> files;
    Failure unread;  // why a folder could not be read; none when it could
};

struct Inputs {
    std::vector<std::string> files;  // in order
    // The folders that could not be read, each with its cause: their
    // files are not known, so the run cannot be called complete.
    std::vector<Failure> unreadFolders;
    std::vector<ExpandedInput> given;  // by input, as typed
};

// Files named by `inputs`, in order: a folder gives its files, a mask the
// files it matches, a plain name itself. Each folder's files are sorted
// ignoring case.
Inputs ExpandInputs(const std::vector<std::string>& inputs, const InputRules& rules);

}  // namespace quenrix
