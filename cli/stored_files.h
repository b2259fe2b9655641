// quenrix-cli's commands on files a run stored: `verify` checks corrected
// files (against a manifest too), `undo` gives the originals a manifest
// recorded back. Each returns the program's exit status and writes its
// report to standard output, its complaints to standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/run.h"

namespace quenrix::cli {

struct VerifySettings {
    std::vector<std::string> inputs;  // none: every corrected file the manifest recorded
    bool recursive = false;
    std::string manifest;
    std::optional<std::uint32_t> referenceDay;
    std::int32_t receiverType = 0;
    std::string report = "text";
    bool quiet = false;
};

// 0 when every file is good, 1 when one is not (or none was found, or the
// manifest cannot be read).
int Verify(const VerifySettings& settings);

// Undo by `settings.manifest`, with its dry run, deletion and report
// options: 0 when every recorded file was given back (or would be, or
// stood there already), 1 when one was not or the manifest has lines that
// are no entries, 130 when interrupted.
int Undo(Settings settings);

}  // namespace quenrix::cli
