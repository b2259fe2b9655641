// A batch of files from its inputs to its end: every front end, the dry
// run, the benchmark and the explorers hand the engine their inputs and
// rules and hear what happens through BatchEvents. How files are grouped,
// read back and named while they are written is the batch's own business.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/outcome.h"
#include "support/oplog.h"

namespace quenrix {

// What a batch may do with its files.
struct BatchRules {
    // Each input goes once its corrected file is stored under another name.
    bool deleteInputs = false;
    // ...but not an input some of whose records the corrected file does
    // not hold (bad check values, cut short): quenrix-cli keeps such an
    // input unless told otherwise; the window deletes it, as the
    // receivers' software did.
    bool keepInputsWithDroppedRecords = false;
    // ...nor one with any byte its corrected file does not carry (bytes
    // between records too): with a manifest, every input deleted can be
    // given back byte for byte.
    bool keepInputsNotGivenBack = false;
    // Storing::Planned (a dry run): every decision is made as a run makes
    // it, output names this batch would take included, and nothing is
    // written, stored or deleted.
    Storing storing = Storing::Real;
    // Called for each corrected file once it is stored (and read back),
    // before its input may go, with the input's index, its conversion and
    // where it is stored: a manifest's record of the way back. A failure
    // (the record could not be written) keeps the input. None: nothing to
    // call.
    std::function<native::Done(std::size_t index, const Conversion& conversion,
                               const std::string& output)>
        recordStored = nullptr;
};

// Where a batch writes its work files and what they are called:
// PREFIX, a random part of this copy's own, EXTENSION ("$$$SRG-x7q2.TMP"),
// with "-N" before the extension for a second worker or group member.
// Copies of several users (or hosts) working in one shared folder never
// share a name, and the work files that dead copies left behind match
// PREFIX*EXTENSION, which the batch clears away where it first writes.
struct WorkFiles {
    // A new random part for this copy.
    static WorkFiles Unique(std::string prefix, std::string extension);

    std::string prefix;
    std::string stem;  // the prefix and this copy's random part
    std::string extension;
    // The folder they go in; none: beside each corrected file (where a
    // store is one rename).
    std::optional<std::string> folder;

    // The name of worker `worker`'s work file, of its group's member `slot`.
    std::string Name(unsigned worker = 0, std::size_t slot = 0) const;
    // The pattern that every copy's work files match.
    std::string Pattern() const { return prefix + "*" + extension; }
};

// Everything a batch is to do.
struct BatchJob {
    std::vector<std::string> inputs;  // in conversion order
    BatchRules rules;
    WorkFiles work;
    // Where the corrected files go; none: beside each input.
    std::optional<std::string> outputFolder;
    OperationLog* log = nullptr;  // where the files' entries go; none: nowhere
    std::optional<std::uint32_t> referenceDay;
    std::int32_t receiverType = 0;  // an RMG receiver type in place of the file's; 0: the file's
    // Small files are stored in groups (the window's batch); otherwise
    // each file is stored before the next is taken up.
    bool groupSmallFiles = false;
    unsigned jobs = 1;  // files converted at once (without groups)
    // An interrupt: the files under way stop where they are (not stored,
    // their inputs kept) and no other is taken up. None: never.
    const std::atomic<bool>* interrupt = nullptr;
    // Keep what a manifest records of each file (its outcome's Conversion
    // carries it: ConversionRequest::describe).
    bool describe = false;
    // Undo: for each input, a corrected file, what its manifest line
    // recorded; the original goes back under its name in its folder.
    // Empty: a conversion.
    std::vector<GivingBack> givingBack;
};

// What a batch's caller hears while it runs. The calls come one at a time
// (on any of the batch's threads), in this order for each file:
// Converting, then once it is converted Converted, and Finished once its
// store, read-back and deletion are done (for a file stored with a group,
// after the files that follow it were converted).
class BatchEvents {
  public:
    virtual ~BatchEvents() = default;
    // Input `index` is taken up.
    virtual void Converting(std::size_t /*index*/) {}
    // Input `index` goes alone (a large file): every file before it is
    // finished; its name may be shown while it converts.
    virtual void GoesAlone(std::size_t /*index*/) {}
    // Input `index` is converted; what becomes of it follows.
    virtual void Converted(std::size_t /*index*/) {}
    virtual void Finished(std::size_t index, const FileOutcome& outcome) = 0;
    // Called every so often while a file is read and written, so that a
    // window stays responsive.
    virtual void Pump() {}
    // Asked before each file: true stops the batch there (a cancel); the
    // files converted are finished first.
    virtual bool StopRequested() { return false; }
};

// How a batch ended.
enum class BatchEnd { Done, Cancelled, Interrupted };

// What a batch did in all: counted by each outcome's tally (kOutcomes).
struct BatchSummary {
    std::size_t files = 0;  // finished
    std::size_t corrected = 0;
    std::size_t unchanged = 0;
    std::size_t failed = 0;
    std::size_t notConverted = 0;  // never taken up: the batch was stopped
    std::uint64_t bytes = 0;       // read
    BatchEnd end = BatchEnd::Done;

    void Count(const FileOutcome& outcome);
};

// Runs the batch: converts, stores and deletes as its rules say and tells
// `events` of each file. Logs "変換キャンセル" or "変換中断 (interrupted)"
// where it was stopped.
BatchSummary RunBatch(const BatchJob& job, BatchEvents& events);

}  // namespace quenrix
