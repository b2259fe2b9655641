// What happened to each file, as a line of text or as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine_state.h"

namespace quenrix::cli {

struct FileReport {
    std::string path;
    std::string kind;  // "SIG", "RMG" or "other"
    std::int32_t result = 0;
    std::string outcome;  // converted, would convert, no rollover, rollover point, missing, failed,
                          // not stored
    bool ok = false;
    std::int32_t receiverType = 0;
    ConversionCounts counts;
    std::optional<std::uint32_t> firstGpsTime;  // GPS seconds
    std::string output;                         // where the corrected file is (or would be)
    bool inputDeleted = false;
    std::vector<std::string> messages;  // the status lines, as the window shows them
};

// One line for the terminal; `verbose` adds the counts by record kind.
std::string TextLine(const FileReport& report, bool verbose);

// One JSON document with a record per file.
std::string JsonReport(const std::vector<FileReport>& reports, bool dryRun);

// "yyyy-mm-dd hh:mm:ss" of a GPS time.
std::string GpsTimeText(std::uint32_t seconds);

}  // namespace quenrix::cli
