// The batch the explorers run, and the rules its files must keep.
//
// The batch runs as the window runs it in automatic mode (the work file in
// the start folder, the corrected files beside the inputs), or as
// quenrix-cli runs it with an output folder (the work file and the
// corrected files there), with the input deletion and the log on, on the
// simulated file system: SIG and RMG files, two whose corrected files would
// take one name, one that cannot be converted, one that has no rollover,
// and a log near its line cap.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/outcome.h"
#include "tests/crash/sim_file_system.h"

namespace quenrix::explore {

// The batch to explore.
struct Setup {
    std::uint32_t files = 20;  // plain inputs, SIG and RMG in turn
    int oldLogLines = 990;     // of an earlier run's log (0: none); 990 crosses the cap
    bool cli = false;          // quenrix-cli's batch instead of the window's
    bool manifest = false;     // each file recorded in a manifest (ManifestPath)

    static std::string ManifestPath() { return "/work/m.jsonl"; }

    std::string LogPath() const { return cli ? "/work/quenrix-cli.log" : "/work/quenrix.log"; }
    // The folders whose files the checks cover.
    std::vector<std::string> Folders() const;
};

// The inputs' folder: "/data", or on a volume of its own "/vol2/data", so
// that every corrected file is copied across from the work file in the
// start folder.
const std::string& InputFolder();
void PutInputsOnAnotherVolume();
std::string InputPath(const std::string& name);

// The inputs (and the earlier log), on the simulated disk as it was reset.
void MakeInputs(const Setup& setup);

// What the batch told of one input.
struct Reported {
    Outcome outcome = Outcome::Failed;
    std::string output;  // the corrected file's full path, when stored
    std::string reason;  // why it failed or was not stored
};

// The batch, start to end, by input path: what it told of each input it
// took up. `warnings` gets the warnings a window showed.
std::map<std::string, Reported> RunBatch(const Setup& setup,
                                         std::vector<std::string>* warnings = nullptr);

// What the uncut batch did; files by their full paths.
struct Expectation {
    std::map<std::string, std::string> inputs;      // their original bytes
    std::map<std::string, std::string> outputs;     // the corrected files' bytes
    std::map<std::string, std::string> outputOf;    // input deleted: its corrected file
    std::map<std::string, std::string> finalFiles;  // the checked folders at the end
    // Where two inputs' corrected files take one name, a batch whose store
    // of the first failed stores the second's under it: each input's
    // corrected file as it is made when the input is converted alone
    // (path and bytes), and the folders a batch in that order leaves.
    // Empty unless AllowOtherOrders filled them in.
    std::map<std::string, std::pair<std::string, std::string>> alone;
    std::vector<std::map<std::string, std::string>> otherFinalFiles;
};

// Makes the inputs and runs the batch uncut: what it leaves. False (with
// what is wrong printed) when the batch is not the one the rules are
// about; a batch that lost its collision or its failing file would prove
// less than it claims.
bool RunUncut(const Setup& setup, crash::DiskImage& initial, Expectation& expected);

// Fills in `alone` and `otherFinalFiles`, for runs where a fault may
// change which of two inputs takes a name.
void AllowOtherOrders(const Setup& setup, const crash::DiskImage& initial, Expectation& expected);

// A work file of quenrix-cli's, or the temporary file of a copy across
// volumes: a cut may leave either (never under an output name); the next
// run that stores there removes it.
bool IsWorkFile(const std::string& path);
bool InFolders(const std::string& path, const std::vector<std::string>& folders);
// The files of `disk` in the folders.
std::map<std::string, std::string> FilesIn(const crash::DiskImage& disk,
                                           const std::vector<std::string>& folders);

// The rules for the files in the folders whatever happened: every input is
// there with its bytes, or its corrected file is there whole; nothing
// stands under a corrected file's name unless it is whole, and nothing
// stands there that no run leaves. Each broken rule as a message.
// With a manifest also: every input that is gone has a line that records
// it, with its bytes' SHA-256, and a corrected file that is there as the
// line records it.
std::vector<std::string> CheckManifest(const crash::DiskImage& disk, const Expectation& expected);
std::vector<std::string> CheckFiles(const crash::DiskImage& disk, const Expectation& expected,
                                    const std::vector<std::string>& folders);

// What differs between the folders' files and those the uncut batch left
// (or a batch in another allowed order).
std::vector<std::string> CompareWithUncut(const std::map<std::string, std::string>& files,
                                          const Expectation& expected);

}  // namespace quenrix::explore
