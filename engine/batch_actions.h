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

#include "file_ops.h"

namespace quenrix {

class BatchFileActions {
  public:
    // `inputs` are the batch's input paths in conversion order.
    BatchFileActions(std::vector<std::string> inputs, bool deleteInputs);

    // Acts on the result code of ConvertGpsFile for input `index` and
    // returns the result lines for the status list (none for 0 and -1,
    // whose cause the pipeline has logged).
    std::vector<std::string> Apply(std::size_t index, std::int32_t result);

  private:
    std::vector<std::string> StoreCorrectedFile(std::size_t index);
    // True when the output name is a file this batch wrote, or another
    // input of this batch: replacing it would destroy data.
    bool WouldDestroyBatchFile(std::size_t index, const std::string& target) const;

    std::vector<std::string> inputs_;
    bool deleteInputs_;
    std::set<FileIdentity> written_;
    // The inputs still on disk, by identity, taken once at the start: a
    // batch of many files must not look at every input for every file.
    std::map<FileIdentity, std::size_t> waiting_;
};

}  // namespace quenrix
