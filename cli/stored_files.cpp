#include "cli/stored_files.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_map>

#include "engine/inputs.h"
#include "engine/manifest.h"
#include "engine/stored_check.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "support/interrupt.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix::cli {
namespace {

using nlohmann::json;

void Say(const std::string& text) {
    native::WriteText(native::TextStream::Error, "quenrix-cli: " + text + "\n");
}

// The manifest read, its bad lines said; false when it cannot be read.
bool ReadEntries(const std::string& path, ManifestRead& read) {
    read = ReadManifest(path);
    if (read.cause != 0) {
        Say("cannot read the manifest " + path + ": " + FailureText(read.cause));
        return false;
    }
    for (const std::string& bad : read.bad) Say(path + ": " + bad + ": not a manifest entry");
    for (const std::string& cut : read.cut) Say(path + ": " + cut);
    return true;
}

// A path as a key: the separators of this system, no "./" before it.
std::string PathKey(std::string path) {
    path = WithNativeSeparators(path);
    while (path.size() > 2 && path[0] == '.' && (path[1] == '/' || path[1] == '\\'))
        path.erase(0, 2);
    return path;
}

}  // namespace

// The files a manifest recorded, found by what they are on disk (however a
// path names them) and by their paths as recorded: each corrected file,
// and each input a run left as it was (no rollover, nothing stored).
class RecordedFiles {
  public:
    explicit RecordedFiles(const std::vector<ManifestEntry>& entries) {
        for (const ManifestEntry& entry : entries) {
            const bool kept = entry.output.empty() && !entry.inputSha256.empty();
            if (entry.output.empty() && !kept)
                continue;
            const std::string& path = kept ? entry.input : entry.output;
            const Recorded recorded{&entry, kept ? entry.inputSha256 : entry.outputSha256};
            byPath_[PathKey(path)] = recorded;  // the last line of each stands
            native::EntryInfo info;
            if (native::Inspect(WithNativeSeparators(path), info).value == native::Lookup::Found)
                byIdentity_[IdentityKey(info)] = recorded;
            if (!kept) {
                corrected_.push_back(WithNativeSeparators(path));
                if (native::Inspect(WithNativeSeparators(entry.input), info).value ==
                    native::Lookup::Found)
                    inputs_[IdentityKey(info)] = &entry;
            }
        }
    }

    // The entry that records the file `path` names as an input it
    // corrected; none when none does.
    const ManifestEntry* CorrectedFrom(const std::string& path) const {
        native::EntryInfo info;
        if (native::Inspect(path, info).value != native::Lookup::Found)
            return nullptr;
        const auto found = inputs_.find(IdentityKey(info));
        return found != inputs_.end() ? found->second : nullptr;
    }

    struct Recorded {
        const ManifestEntry* entry = nullptr;
        std::string sha256;  // what the file's bytes hash to
    };

    // The record of the file `path` names; none when there is none.
    std::optional<Recorded> Find(const std::string& path) const {
        native::EntryInfo info;
        if (native::Inspect(path, info).value == native::Lookup::Found) {
            const auto found = byIdentity_.find(IdentityKey(info));
            if (found != byIdentity_.end())
                return found->second;
        }
        const auto found = byPath_.find(PathKey(path));
        if (found != byPath_.end())
            return found->second;
        return std::nullopt;
    }

    // Every corrected file recorded, once, in the manifest's order.
    std::vector<std::string> CorrectedFiles() const {
        std::vector<std::string> files;
        std::unordered_map<std::string, bool> seen;
        for (const std::string& file : corrected_)
            if (seen.emplace(file, true).second)
                files.push_back(file);
        return files;
    }

  private:
    static std::string IdentityKey(const native::EntryInfo& info) {
        const FileIdentity identity = IdentityOf(info);
        return std::to_string(identity.device) + ":" + std::to_string(identity.inode);
    }

    std::unordered_map<std::string, Recorded> byPath_;
    std::unordered_map<std::string, Recorded> byIdentity_;
    std::vector<std::string> corrected_;
    std::unordered_map<std::string, const ManifestEntry*> inputs_;
};

int Verify(const VerifySettings& settings) {
    ManifestRead read;
    if (!settings.manifest.empty() && !ReadEntries(WithNativeSeparators(settings.manifest), read))
        return 1;
    const RecordedFiles recordedFiles(read.entries);
    std::vector<std::string> typed;
    for (const std::string& input : settings.inputs) typed.push_back(WithNativeSeparators(input));
    // No path: every corrected file the manifest recorded.
    if (typed.empty())
        typed = recordedFiles.CorrectedFiles();
    if (typed.empty()) {
        Say(settings.manifest.empty() ? "no input given"
                                      : "the manifest records no corrected file");
        return settings.manifest.empty() ? 2 : 1;
    }
    const Inputs inputs = ExpandInputs(typed, {.recursive = settings.recursive});
    bool allGood = read.bad.empty();
    json files = json::array();
    std::string text;
    std::size_t good = 0;
    for (const Failure& folder : inputs.unreadFolders) {
        allGood = false;
        Say(folder.path + ": cannot read the folder: " + folder.Why());
    }
    for (const std::string& path : inputs.files) {
        std::optional<RecordedFiles::Recorded> recorded;
        std::vector<std::string> missing;
        if (!settings.manifest.empty()) {
            recorded = recordedFiles.Find(path);
            const ManifestEntry* input = recorded ? nullptr : recordedFiles.CorrectedFrom(path);
            if (input != nullptr)
                missing.push_back("an input the manifest records as corrected into " +
                                  input->output);
            else if (!recorded)
                missing.push_back("not in the manifest");
        }
        StoredFileCheck check = CheckStoredFile(path, recorded ? recorded->entry : nullptr,
                                                recorded ? recorded->sha256 : std::string(),
                                                settings.referenceDay, settings.receiverType);
        check.faults.insert(check.faults.end(), missing.begin(), missing.end());
        const RecordTotals totals = check.conversion.counts.Totals();
        if (check.Good())
            ++good;
        allGood = allGood && check.Good();
        json file = {{"path", path},
                     {"ok", check.Good()},
                     {"records", totals.written},
                     {"bad_check_values", totals.badCheck},
                     {"cut_short", totals.cutShort},
                     {"bytes", check.conversion.counts.inputBytes},
                     {"times_before_reference",
                      check.conversion.counts.oneStep + check.conversion.counts.twoSteps},
                     {"sha256", check.conversion.inputSha256},
                     {"faults", check.faults}};
        file["reference_date"] =
            check.referenceDay ? json(ReferenceDateText(*check.referenceDay)) : json();
        file["manifest_sha256"] = recorded ? json(recorded->sha256) : json();
        files.push_back(std::move(file));
        if (check.Good()) {
            text += "good: " + Printable(path) + " (" + Counted(totals.written, "record") + ")\n";
        } else {
            text += "FAILED: " + Printable(path);
            for (const std::string& fault : check.faults) text += "\n  " + Printable(fault);
            text += "\n";
        }
    }
    if (inputs.files.empty() && inputs.unreadFolders.empty()) {
        Say("no SIG or RMG file found");
        return 1;
    }
    const std::size_t failed = inputs.files.size() - good + inputs.unreadFolders.size();
    if (settings.report == "json") {
        const json report = {{"files", std::move(files)},
                             {"summary",
                              {{"files", inputs.files.size()},
                               {"good", good},
                               {"failed", failed},
                               {"folders_not_read", inputs.unreadFolders.size()},
                               {"manifest_lines_not_read", read.bad.size()}}}};
        native::WriteText(native::TextStream::Output,
                          report.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
    } else if (!settings.quiet) {
        native::WriteText(
            native::TextStream::Output,
            text + "Checked: " + Counted(inputs.files.size(), "file") + ", " +
                std::to_string(good) + " good, " + std::to_string(failed) + " failed" +
                (read.bad.empty()
                     ? std::string()
                     : "; " + Counted(read.bad.size(), "manifest line") + " not read") +
                "\n");
    }
    return allGood ? 0 : 1;
}

int Undo(Settings settings) {
    ManifestRead read;
    if (!ReadEntries(WithNativeSeparators(settings.manifest), read))
        return 1;
    UndoPlan plan = UndoPlanOf(read.entries);
    for (std::string& file : plan.correctedFiles) file = WithNativeSeparators(file);
    for (GivingBack& back : plan.givingBack) back.original = WithNativeSeparators(back.original);
    std::unordered_map<std::string, GivingBack> recorded;
    for (std::size_t i = 0; i < plan.correctedFiles.size(); ++i)
        recorded[plan.correctedFiles[i]] = plan.givingBack[i];
    settings.givingBack = std::move(plan.givingBack);
    settings.log.clear();
    Run run(settings, plan.correctedFiles);
    if (!plan.correctedFiles.empty()) {
        StopOnInterrupt();
        run.ConvertAll();
    }
    const std::vector<FileReport> reports = run.Reports();
    json files = json::array();
    std::string text;
    std::size_t givenBack = 0;
    // Originals a run kept as they cannot be given back from their
    // corrected files: they must stand under their names, as recorded.
    for (const ManifestEntry* entry : plan.originalsKept) {
        const std::string original = WithNativeSeparators(entry->input);
        const bool kept = Sha256OfFile(original) == entry->inputSha256;
        givenBack += kept ? 1 : 0;
        const std::string reason =
            "the original cannot be given back from its corrected file (it held bytes the "
            "corrected file does not), and it is not under its name as recorded";
        files.push_back({{"corrected", entry->output},
                         {"original", original},
                         {"outcome", kept ? "original kept" : "failed"},
                         {"reason", kept ? json() : json(reason)},
                         {"corrected_deleted", false}});
        text += kept ? "original kept: " + Printable(original) + " (" + Printable(entry->output) +
                           " left as it is)\n"
                     : "FAILED: " + Printable(entry->output) + ": " + reason + "\n";
    }
    for (const FileReport& report : reports) {
        const GivingBack& back = recorded[report.path];
        const std::string& original = back.original;
        std::string outcome = "failed";
        if ((report.ok && report.alreadyStored) ||
            // Given back by an earlier undo, which deleted the corrected file.
            (report.code == Outcome::InputMissing && Sha256OfFile(original) == back.originalSha256))
            outcome = "already there";
        else if (report.code == Outcome::Corrected)
            outcome = "given back";
        else if (report.code == Outcome::WouldBeCorrected)
            outcome = "would be given back";
        const bool ok = outcome != "failed";
        givenBack += ok ? 1 : 0;
        const std::string reason = ok ? std::string() : ReasonText(report.problem);
        files.push_back({{"corrected", report.path},
                         {"original", original},
                         {"outcome", outcome},
                         {"reason", ok ? json() : json(reason)},
                         {"corrected_deleted", report.inputDeleted}});
        if (ok) {
            text += outcome + ": " + Printable(original) + " from " + Printable(report.path) +
                    (report.inputDeleted ? ", corrected file deleted" : "") + "\n";
        } else {
            text += "FAILED: " + Printable(report.path) + ": " +
                    Printable(reason.empty() ? report.outcome : reason) + "\n";
        }
    }
    const std::size_t total = reports.size() + plan.originalsKept.size();
    const std::size_t failed = total - givenBack;
    if (settings.report == "json") {
        const json report = {{"files", std::move(files)},
                             {"summary",
                              {{"files", total},
                               {"given_back", givenBack},
                               {"failed", failed},
                               {"manifest_lines_not_read", read.bad.size()},
                               {"dry_run", settings.dryRun}}}};
        native::WriteText(native::TextStream::Output,
                          report.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
    } else if (!settings.quiet) {
        native::WriteText(native::TextStream::Output,
                          text + "Originals back: " + std::to_string(givenBack) + " of " +
                              Counted(total, "file") +
                              (settings.dryRun ? " (dry run: nothing written)" : "") + ", " +
                              std::to_string(failed) + " failed\n");
    }
    if (run.Summary().end == BatchEnd::Interrupted) {
        Say("interrupted after " + std::to_string(reports.size()) + " of " +
            Counted(plan.correctedFiles.size(), "file"));
        return 130;
    }
    return failed == 0 && read.bad.empty() ? 0 : 1;
}

}  // namespace quenrix::cli
