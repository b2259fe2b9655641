// The options both explorers take: the batch, and what a run must find.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

#include "tests/crash/explored_batch.h"

namespace quenrix::explore {

struct ExplorerOptions {
    Setup setup;
    std::string plant = "none";
    std::string expectViolation;  // for a planted fault
    std::size_t maxReports = 20;
};

inline void AddExplorerOptions(CLI::App& app, ExplorerOptions& options) {
    app.add_option("--expect-violation", options.expectViolation,
                   "Succeed only when a violation's message holds this text (for a planted fault)");
    app.add_option("--reports", options.maxReports, "Violations printed at most")
        ->capture_default_str();
    app.add_option("--files", options.setup.files, "Plain inputs besides the special ones")
        ->check(CLI::Range(2, 5000))
        ->capture_default_str();
    app.add_option("--old-log-lines", options.setup.oldLogLines,
                   "Lines of an earlier run's log (0: the batch starts the log)")
        ->check(CLI::Range(0, 5000))
        ->capture_default_str();
    app.add_flag("--cli", options.setup.cli,
                 "quenrix-cli's batch with an output folder instead of the window's");
    app.add_flag("--manifest", options.setup.manifest,
                 "Each file recorded in a manifest, as --manifest or /MANIFEST= asks");
}

}  // namespace quenrix::explore
