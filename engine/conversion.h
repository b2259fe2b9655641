// One conversion as values: what a front end asks for (ConversionRequest)
// and what it gets back (Conversion). The engine keeps nothing between
// two conversions; everything one needs travels in its request.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/event_pump.h"
#include "engine/file_kind.h"
#include "engine/problem.h"
#include "engine/record_moves.h"
#include "support/file_ops.h"
#include "support/folder.h"
#include "support/oplog.h"

namespace quenrix {

// The work file's name when a front end gives none: a bare name, so it
// lands in the current folder.
inline constexpr const char* kWorkFileName = "$$$SRG.TMP";

// The records of a conversion in all kinds.
struct RecordTotals {
    std::uint64_t written = 0;
    std::uint64_t badCheck = 0;
    std::uint64_t cutShort = 0;
    // Records of the input that the corrected file does not hold.
    std::uint64_t Dropped() const { return badCheck + cutShort; }
};

// What one conversion did, record by record: a report shows the user
// what a corrected file leaves out before an input is deleted.
struct ConversionCounts {
    std::array<std::uint64_t, 256> accepted{};  // records written, by kind byte
    std::array<std::uint64_t, 256> badCheck{};  // records dropped for their check value
    std::array<std::uint64_t, 256> cutShort{};  // records cut short by the end of the file
    std::uint64_t oneStep = 0;                  // times moved 1024 weeks
    std::uint64_t twoSteps = 0;                 // times moved 2048 weeks
    std::uint64_t inputBytes = 0;               // bytes scanned
    std::uint64_t outputBytes = 0;              // bytes of the records written

    RecordTotals Totals() const {
        RecordTotals totals;
        for (std::size_t kind = 0; kind < 256; ++kind) {
            totals.written += accepted[kind];
            totals.badCheck += badCheck[kind];
            totals.cutShort += cutShort[kind];
        }
        return totals;
    }
};

// What the pipeline made of one input. The numbers are those the
// receivers' tools have always used.
enum class ConvertResult : std::int32_t {
    Converted = 1,       // streamed into the work file; outputPath set when a first time was found
    InputMissing = 0,    // the input does not exist
    Failed = -1,         // not a GPS file, or the conversion failed
    RolloverPoint = -2,  // the SIG file of the rollover point: not converted
};

// Whether the corrected file is made, or only planned: a dry run converts
// every byte as a run does, counting and hashing what it would write, and
// writes nothing anywhere.
enum class Storing { Real, Planned };

// The folders a conversion acts in, each opened once (Folder): whatever
// another user renames or links in their places meanwhile, the input is
// read and deleted, the work file written and the corrected file stored
// in the folders opened. None (and no cause): the pipeline opens it from
// the path; none with a cause: it could not be opened.
struct ConversionFolders {
    native::Answer<FolderRef> input;
    native::Answer<FolderRef> work;
    native::Answer<FolderRef> output;
};

// What a manifest recorded of a corrected file, from which undo gives its
// original bytes back: the original's path, the moves taken back, and the
// SHA-256 of both files as they were.
struct GivingBack {
    std::string original;
    RecordMoves moves;
    std::string correctedSha256;
    std::string originalSha256;
};

struct ConversionRequest {
    ConversionRequest() = default;
    explicit ConversionRequest(std::string inputPath) : input(std::move(inputPath)) {}

    std::string input;
    std::string workFile = kWorkFileName;
    ConversionFolders folders;
    // The file of this batch that stands under `workFile` to be written
    // over (an input deleted earlier in the batch, whose inode serves
    // again); none: the work file is made anew.
    std::optional<FileIdentity> reuseWorkFile;
    // Where the corrected file goes; none: the input's folder (the
    // current one for a bare name).
    std::optional<std::string> outputFolder;
    // The operation log the file's entries go to; none: nowhere.
    OperationLog* log = nullptr;
    // A reference day (GPS seconds) in place of the one the clock gives.
    std::optional<std::uint32_t> referenceDay;
    // An RMG receiver type (74, 77, 80) in place of the file's; 0: the file's.
    std::int32_t receiverType = 0;
    Storing storing = Storing::Real;
    // Called every so often while the file is read and written, so that a
    // window stays responsive; none outside a window.
    EventPump pump;
    // Set when the run is to stop at once (an interrupt): the file's scan
    // stops at its next piece, and the file is neither stored nor its
    // input deleted. None: the file is converted to its end.
    const std::atomic<bool>* stop = nullptr;
    // Keep what a manifest records of the file: the SHA-256 of the input
    // and of the corrected file, and which records' times moved.
    bool describe = false;
    // Undo: the input is a corrected file whose recorded moves are taken
    // back, and the original's bytes go under its name once both files
    // are as recorded; none: a conversion.
    const GivingBack* giveBack = nullptr;
};

struct Conversion {
    ConvertResult result = ConvertResult::Failed;
    FileKind kind = FileKind::Other;
    // The RMG receiver type the rollover limit was chosen by: 74, 77, 80 or 0.
    std::int32_t receiverType = 0;
    // The first position record's GPS time in seconds, as corrected; 0
    // when none was found.
    std::uint32_t firstGpsTime = 0;
    ConversionCounts counts;
    bool timeCorrected = false;  // some GPS time was moved
    // Where the corrected file is to be stored; empty when no name was built.
    std::string outputPath;
    // The hash of the work file's bytes as they were written (ContentHash).
    std::uint64_t writtenHash = 0;
    // The input file as it was read (its identity, size and last write):
    // the one file its corrected file may ever replace, and which may be
    // deleted only while it is still that file, unchanged.
    std::optional<native::EntryInfo> input;
    // The folders it was read from, written in and named for.
    ConversionFolders folders;
    // Why the file failed; none while nothing failed.
    Problem problem;
    // The file's entries for the operation log, as the log holds them but
    // in UTF-8 (FileLog).
    std::vector<std::string> log;
    // Holds the finished work file's lock until the conversion goes (after
    // the file is stored or removed): another run clearing away dead runs'
    // work files leaves it alone, whatever its clock says.
    std::shared_ptr<HeldFile> workFileLock;
    // With ConversionRequest::describe (and on undo): the SHA-256 of the
    // input as read and of the work file as written, and what moved.
    std::string inputSha256;
    std::string outputSha256;
    RecordMoves moves;
    // The reference day the rule last used (GPS seconds); none when it had none.
    std::optional<std::uint32_t> referenceDay;

    // Notes why the file failed; the first cause stands, as later ones
    // follow from it.
    void Fail(Problem why) {
        if (!problem)
            problem = std::move(why);
    }
};

}  // namespace quenrix
