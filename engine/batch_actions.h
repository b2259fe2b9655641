// What the batch does with each converted file: store the work file under
// its output name, delete the input when asked, report each step, and
// clear away a leftover work file. Shared by every front end; the window
// only shows the result lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/outcome.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"

namespace quenrix {

// What the batch did with one file.
struct FileOutcome {
    Outcome outcome = Outcome::Failed;
    bool stored = false;     // the corrected file is on disk under outputPath
    std::string outputPath;  // where it is, or was to go; empty when no name was built
    bool inputDeleted = false;
    // The result lines for the status list (none for a file that failed
    // before a conversion, whose cause the pipeline has logged).
    std::vector<std::string> statusLines;
    // Why the file failed or was not stored, in plain English; also why
    // its input could not be deleted. Empty when all went well.
    std::string reason;
};

class BatchFileActions {
  public:
    // `inputs` are the batch's input paths in conversion order. With
    // `readBack` (as every front end runs) a stored file is read back from
    // the disk and compared with what was written before its input is
    // deleted; the benchmark turns it off to tell its cost.
    BatchFileActions(std::vector<std::string> inputs, bool deleteInputs, bool readBack = true);

    // Acts on what ConvertGpsFile made of input `index` by `request`.
    FileOutcome Apply(std::size_t index, const ConversionRequest& request,
                      const Conversion& conversion);

  private:
    // Stores the work file under `output`; why it was not, or empty.
    std::string Store(std::size_t index, const ConversionRequest& request,
                      const Conversion& conversion, const std::string& output) const;
    // Reads the stored file back; why it is no corrected file, or empty.
    std::string ReadBack(const std::string& output, const Conversion& conversion) const;
    // Deletes the input, with its log and status lines.
    void DeleteInput(const std::string& input, const std::string& log, FileOutcome& outcome);
    void StoreCorrectedFile(std::size_t index, const ConversionRequest& request,
                            const Conversion& conversion, FileOutcome& outcome);
    // Why the output name must not be replaced: it is a file this batch
    // wrote, another input of this batch, or any other file, whose bytes
    // would be lost (it may be the corrected file of an input deleted by an
    // earlier run). Empty when it may be: nothing is there, or the input
    // itself.
    std::string FileInTheWay(std::size_t index, const std::string& target) const;

    std::vector<std::string> inputs_;
    bool deleteInputs_;
    bool readBack_;
    std::set<FileIdentity> written_;
    // The inputs still on disk, by identity, taken once at the start: a
    // batch of many files must not look at every input for every file.
    std::map<FileIdentity, std::size_t> waiting_;
};

}  // namespace quenrix
