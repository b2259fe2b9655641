// One file of a batch from its request to its end: converted, checked
// against what stands under its output name, stored (or, on a dry run,
// planned), read back, its input deleted when asked, each step reported.
// Every front end, the benchmark and the explorers go this one way; they
// only loop, show and report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/outcome.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"

namespace quenrix {

// What became of one file.
struct FileOutcome {
    Outcome outcome = Outcome::Failed;
    // What the conversion found: kind, counts, GPS times, receiver type.
    Conversion conversion;
    bool stored = false;     // the corrected file is on disk under outputPath
    std::string outputPath;  // where it is, or was to go; empty when no name was built
    bool inputDeleted = false;
    // The input was to be deleted, and was kept (kDroppedRecordsKeptReason).
    bool inputKept = false;
    // The result lines for the status list (none for a file that failed
    // before a conversion, whose cause the pipeline has logged).
    std::vector<std::string> statusLines;
    // Why the file failed or was not stored; also why its input could not
    // be deleted. None when all went well.
    Problem problem;
    // The messages the engine logged for the file, its path aside, as the
    // log holds them but in UTF-8 (also while logging is off): the
    // conversion's, then the batch's.
    std::vector<std::string> log;
};

// What a batch may do with its files.
struct BatchRules {
    // Each input goes once its corrected file is stored under another name.
    bool deleteInputs = false;
    // ...but not an input some of whose records the corrected file does
    // not hold (bad check values, cut short): quenrix-cli keeps such an
    // input unless told otherwise; the window deletes it, as the
    // receivers' software did.
    bool keepInputsWithDroppedRecords = false;
    // A stored file is read back from the disk and compared with what was
    // written before its input is deleted (as every front end runs); the
    // benchmark turns it off to tell its cost.
    bool readBack = true;
    // Storing::Planned (a dry run): every decision is made as a run makes
    // it, output names this batch would take included, and nothing is
    // written, stored or deleted.
    Storing storing = Storing::Done;
};

class BatchFileActions {
  public:
    // `inputs` are the batch's input paths in conversion order.
    BatchFileActions(std::vector<std::string> inputs, BatchRules rules);

    // Converts input `index` by `request` and acts on the result. Several
    // threads may convert at once; what they do with the results goes one
    // file at a time.
    FileOutcome ConvertFile(std::size_t index, ConversionRequest request);

    // Acts on what ConvertGpsFile made of input `index` by `request`.
    FileOutcome Apply(std::size_t index, const ConversionRequest& request,
                      const Conversion& conversion);

  private:
    // Stores the work file under `output`; why it was not, or none.
    Problem Store(std::size_t index, const ConversionRequest& request, const Conversion& conversion,
                  const std::string& output) const;
    // Reads the stored file back; why it is no corrected file, or none.
    Problem ReadBack(const std::string& output, const Conversion& conversion) const;
    // The rules let the input go once its corrected file is stored.
    bool MayDelete(const Conversion& conversion) const;
    // The stored file's bytes stand under `output` already.
    bool AlreadyThere(const ConversionRequest& request, const Conversion& conversion,
                      const std::string& output) const;
    // Deletes the input, with its log and status lines.
    void DeleteInput(const std::string& input, FileLog& log, FileOutcome& outcome);
    void StoreCorrectedFile(std::size_t index, const ConversionRequest& request,
                            const Conversion& conversion, FileOutcome& outcome);
    // Why the output name must not be replaced: it is a file this batch
    // wrote, another input of this batch, or any other file, whose bytes
    // would be lost (it may be the corrected file of an input deleted by an
    // earlier run). None when it may be: nothing is there, or the input
    // itself.
    Problem FileInTheWay(std::size_t index, const std::string& target) const;

    std::vector<std::string> inputs_;
    BatchRules rules_;
    std::mutex mutex_;  // one file at a time past its conversion
    std::set<FileIdentity> written_;
    // A dry run's: the names it would store under, with the hash of what
    // they would hold, and the inputs it would delete.
    std::map<std::string, std::uint64_t> planned_;
    std::set<FileIdentity> plannedGone_;
    // The inputs still on disk, by identity, taken once at the start: a
    // batch of many files must not look at every input for every file.
    std::map<FileIdentity, std::size_t> waiting_;
};

}  // namespace quenrix
