// What happened to each file, as a line of text or as JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/conversion.h"
#include "engine/outcome.h"
#include "support/failure.h"

namespace quenrix::cli {

struct FileReport {
    std::string path;
    std::string kind;  // "SIG", "RMG", "other", or "folder" for one that could not be read
    std::int32_t result = 0;
    Outcome code = Outcome::Failed;
    std::string outcome;  // its word
    bool ok = false;
    std::int32_t receiverType = 0;
    ConversionCounts counts;
    std::optional<std::uint32_t> firstGpsTime;  // GPS seconds
    std::string output;                         // where the corrected file is (or would be)
    bool inputDeleted = false;
    bool alreadyStored = false;         // the corrected file stood there already, the user's own
    bool inputKept = false;             // to be deleted, and kept: records were dropped
    std::vector<std::string> messages;  // the status lines, as the window shows them
    Problem problem;                    // why it failed or was not stored; none when all went well
    std::vector<std::string> log;       // the engine's log messages for this file
};

// The report of a folder that could not be read: a failure of its own.
FileReport FolderReport(const Failure& failure);

// What a run did in all: the batch's count of files, and the folders that
// could not be read, which are no files but are counted among the failures.
struct Summary {
    BatchSummary batch;
    std::size_t foldersNotRead = 0;
    double seconds = 0;
    bool dryRun = false;  // nothing was stored: "would be corrected"
};

// "1 file", "2 files": a count and its noun, plural unless the count is one.
std::string Counted(std::uint64_t count, const std::string& noun);

// One line for the terminal, and under a file that failed its log
// messages; `verbose` adds the counts by record kind, the status lines
// and every file's log messages.
std::string TextLine(const FileReport& report, bool verbose);

// A name or message as the text report prints it: control characters (C0,
// DEL, C1), which would act on a terminal, and bytes that are no UTF-8
// written as "\xNN" (hex digits of the byte), everything else as it is.
std::string Printable(const std::string& text);

// The closing line: files (and folders not read), corrected, unchanged,
// failed, bytes, time.
std::string SummaryLine(const Summary& summary);

// One JSON document with a record per file and the summary.
std::string JsonReport(const std::vector<FileReport>& reports, const Summary& summary, bool dryRun);

// "yyyy-mm-dd hh:mm:ss" of a GPS time.
std::string GpsTimeText(std::uint32_t seconds);

}  // namespace quenrix::cli
