// The manifest: one JSON line per file a run took up, appended to a file
// the user names, saying which file became which with what change (the
// SHA-256 of both, the records whose GPS times moved and by how many
// eras, the rule's bounds, the program). Checks of stored files and undo
// read it back. Lines of several runs, users and hosts share one file:
// each goes in whole, under the file's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/outcome.h"
#include "engine/record_moves.h"
#include "support/native.h"

namespace quenrix {

struct ManifestEntry {
    std::string input;  // as the run named it
    std::uint64_t inputSize = 0;
    std::string inputSha256;  // empty when the file was not read whole
    std::string output;       // the corrected file; empty when none was stored
    std::uint64_t outputSize = 0;
    std::string outputSha256;  // of the corrected file as stored
    std::string outcome;       // the report's word (kOutcomes)
    std::string kind;          // "SIG", "RMG" or empty
    std::vector<MovedRange> moved;
    std::optional<std::uint32_t> referenceDay;  // GPS seconds of the day; none when none applied
    std::int32_t receiverType = 0;
    std::string program;  // "quenrix-cli 1.0"
    std::string time;     // when the file was finished, UTC, "2026-12-10T07:15:02Z"

    // The corrected file can be given back: it was stored, and the input
    // was read whole.
    bool CanGiveBack() const {
        return !output.empty() && !outputSha256.empty() && !inputSha256.empty();
    }
};

// The manifest's entry for a file as a batch finished it (a conversion
// asked with BatchJob::describe): `outcome`'s word, and the corrected file
// at `output` (empty: none was stored).
ManifestEntry ManifestEntryOf(const std::string& input, const Conversion& conversion,
                              Outcome outcome, const std::string& output, std::string program);

// A batch's manifest lines, into the manifest at `path`: a corrected
// file's once it is stored and before its input may go (Recorder, for
// BatchRules::recordStored), every other file's as it is finished.
// Thread-safe.
class ManifestWriter {
  public:
    ManifestWriter(std::string path, std::string program, std::vector<std::string> inputs);

    // Whether the manifest takes lines: made when missing, locked once.
    native::Done Ready() const;
    // The batch's recordStored.
    std::function<native::Done(std::size_t, const Conversion&, const std::string&)> Recorder();
    // The line of a file finished, unless its line was recorded when it
    // was stored.
    void Finished(std::size_t index, const FileOutcome& outcome);
    // Why a line could not be appended (the first cause); 0 when every
    // line went in.
    int Cause() const;

  private:
    native::Done Append(const ManifestEntry& entry);

    const std::string path_;
    const std::string program_;
    const std::vector<std::string> inputs_;
    mutable std::mutex mutex_;
    // The manifest's name is on disk (its folder flushed by this writer).
    bool named_ = false;
    std::vector<bool> recorded_;
    int cause_ = 0;
};

// One entry as one JSON line, with its line end.
std::string ManifestLine(const ManifestEntry& entry);

// An entry read back from its line; none with `why` set when the line is
// no entry of this program's.
std::optional<ManifestEntry> ParseManifestLine(std::string_view line, std::string& why);

// A manifest read whole: its entries in order, and a line for each of its
// lines that was none ("line 4: ...").
struct ManifestRead {
    std::vector<ManifestEntry> entries;
    std::vector<std::string> bad;
    // Lines that begin with the rest of a line cut short (an append the
    // system lost part of in a crash, before its file went anywhere):
    // the entry after it is read, and this says where.
    std::vector<std::string> cut;
    int cause = 0;  // the file could not be read
};
ManifestRead ReadManifest(const std::string& path);
// The same, of a manifest's bytes.
ManifestRead ReadManifestText(const std::string& content);

// The reference day as "YYYY-MM-DD", and back.
std::string ReferenceDateText(std::uint32_t day);
std::optional<std::uint32_t> ReferenceDayOf(std::string_view date);

// Appends `lines` to the manifest at `path` (made when missing) in one
// write under the file's lock, its name made sure of on disk with it.
native::Done AppendToManifest(const std::string& path, std::string_view lines);

}  // namespace quenrix

namespace quenrix {

// What undo gives back from a manifest: every corrected file it recorded
// as stored (the last line of each, where several name it), in the
// manifest's order, with the original each is to become.
struct UndoPlan {
    std::vector<std::string> correctedFiles;
    std::vector<GivingBack> givingBack;  // one for each corrected file
    // Corrected files that do not hold all of their original's bytes:
    // a run with a manifest kept those originals (BatchRules::
    // keepInputsNotGivenBack), which must still stand under their names.
    std::vector<const ManifestEntry*> originalsKept;
};
UndoPlan UndoPlanOf(const std::vector<ManifestEntry>& entries);

// The SHA-256 of the regular file at `path`, read through; empty when it
// cannot be read.
std::string Sha256OfFile(const std::string& path);

}  // namespace quenrix
