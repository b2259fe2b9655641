// quenrix-concurrency-explorer: two runs at once in one shared folder, as
// two processes whose calls of the system are interleaved.
//
// Each run works on a thread of its own over the simulated file system;
// a scheduler lets one of them go at a time and switches between them
// only at a call that names a file in the shared folders (a look-up, an
// open, a creation, a rename, a removal, a listing), so every run of the
// explorer is the same. Explored: every schedule with up to two switches
// before one of the runs ends (bounded preemption), and a seeded sample of
// schedules that switch at random, many times.
//
// The pairs: the window's automatic mode and quenrix-cli over one folder,
// both deleting their inputs and logging into one log; and two quenrix-cli
// runs over two folders into one --output-dir, with two recordings of one
// hour (one output name) split between them, one run deleting its inputs
// and the other keeping them.
//
// A third process, another user of the folders, acts once at any switch
// point (its turn counts as the two switches, there and back): a download
// tool that appends to an input; the folder's owner, who renames the
// input folder away and puts a link to a third folder in its place; and a
// user who plants a copy of an input's corrected file under its name and
// takes it away once the runs are done.
//
// After each schedule:
//   - every input is there with its bytes, or its corrected file is stored
//     under some name;
//   - a file either run reported corrected holds that input's corrected
//     file, not another's;
//   - every file reported failed or not stored has a reason;
//   - nothing else stands in the folders (no work file left);
//   - each log holds whole lines only;
//   - no input lost bytes it held when the runs began or gained since;
//     nothing in the third folder is deleted or added.
// Exit status 0 when no schedule breaks a rule (with --expect-violation
// TEXT: when some schedule breaks one with TEXT in its message, for
// planted faults).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/core/quiet_view.h"
#include "app/core/wizard_core.h"
#include "cli/run.h"
#include "support/native_layer.h"
#include "support/oplog.h"
#include "tests/crash/explored_batch.h"
#include "tests/crash/sim_file_system.h"
#include "tests/crash/sim_layer.h"
#include "tests/helpers/forwarding_layer.h"
#include "tools/mksample/sample_writer.h"

namespace {

using namespace quenrix;
using namespace quenrix::explore;
using crash::DiskImage;
using crash::SimFileSystem;

constexpr const char* kLog = "/work/quenrix.log";
constexpr const char* kOutputFolder = "/out";
// The log's folder is shared too: both runs write the one log, which
// starts a few lines short of its bound, so that it is cut back while
// the other run writes.
const std::vector<std::string> kSharedFolders = {"/data", "/out", "/b", "/data-away", "/work"};
// The third folder, another user's, which the swapped folder's link leads
// to: none of its files may go, and none come.
constexpr const char* kVictimFolder = "/victim";

// Which run a thread belongs to; -1 for any other thread (a file's own
// writing thread goes on behalf of the run that is going).
thread_local int runOfThisThread = -1;

// Who goes next: run `first` for its first `budgets[0]` switch points, the
// other for `budgets[1]`, and so on; when the budgets are used up, or a
// run ends, the one left goes to its end. Random: at each switch point a
// switch with probability 1/8.
struct Schedule {
    int first = 0;
    std::vector<std::size_t> budgets;
    bool random = false;
    std::uint32_t seed = 0;
    // The switch point (counted over both runs, from 1) at which the other
    // user acts; 0: never.
    std::size_t disturbAt = 0;

    std::string Text() const {
        if (random)
            return "random schedule, seed " + std::to_string(seed);
        std::string text = "run " + std::to_string(first + 1) + " first";
        for (std::size_t budget : budgets) text += ", switch after " + std::to_string(budget);
        if (disturbAt != 0)
            text += ", the other user at switch point " + std::to_string(disturbAt);
        return text;
    }
};

// What the third process does, once.
enum class Disturbance { None, Writer, Swapper, Planter };

const char* NameOf(Disturbance disturbance) {
    switch (disturbance) {
        case Disturbance::Writer:
            return "a writer appending to an input";
        case Disturbance::Swapper:
            return "the folder swapped for a link";
        case Disturbance::Planter:
            return "a corrected file planted by another user";
        case Disturbance::None:
            break;
    }
    return "nobody else";
}

// Faults the layer plants in the runs' calls.
struct LayerPlants {
    bool replacingStore = false;      // a store's rename replaces
    bool sharedNames = false;         // every run draws the same random part
    bool deleteByName = false;        // a delete does not look at what it deletes
    bool othersFilesCount = false;    // another user's file passes for this user's
    bool folderByPath = false;        // a folder looked up by its path for every call
    bool unlockedLog = false;         // a log written without its lock
};

// The system layer of both runs: each call waits for its run's turn; a
// call that names a file in a shared folder may hand the turn over.
class SchedulingLayer final : public test::ForwardingLayer {
  public:
    SchedulingLayer(native::Layer& next, LayerPlants plants)
        : ForwardingLayer(next), plants_(plants) {}

    // What the other user does when the schedule says.
    void SetDisturbance(std::function<void()> act) { disturbance_ = std::move(act); }

    void Begin(const Schedule& schedule) {
        const std::lock_guard lock(mutex_);
        schedule_ = schedule;
        running_ = schedule.first;
        segment_ = 0;
        used_ = 0;
        done_[0] = done_[1] = false;
        points_[0] = points_[1] = 0;
        random_.seed(schedule.seed);
    }

    // Waits until run `run` may go: its first steps too are its turn's.
    void WaitForTurn(int run) {
        std::unique_lock lock(mutex_);
        AwaitTurn(lock, run);
    }

    // Run `run` has ended: the other goes to its end.
    void End(int run) {
        const std::lock_guard lock(mutex_);
        done_[run] = true;
        running_ = 1 - run;
        turn_.notify_all();
    }

    // Switch points each run passed.
    std::size_t Points(int run) const { return points_[run]; }

    bool RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                  const std::string& to, bool replace) override {
        Before("RenameAt", AtPath(toFolder, to));
        // Planted: a store that replaces.
        return next_.RenameAt(ByPath(*this, fromFolder), from, ByPath(*this, toFolder), to,
                              replace || plants_.replacingStore);
    }
    bool RemoveAt(Handle folder, const std::string& name, const EntryInfo& expected) override {
        Before("RemoveAt", AtPath(folder, name));
        const ByPath at(*this, folder);
        EntryInfo now;
        if (!plants_.deleteByName ||
            next_.InspectAt(at, name, now, native::Links::Refuse) != native::Lookup::Found)
            return next_.RemoveAt(at, name, expected);
        return next_.RemoveAt(at, name, now);  // planted: whatever stands there goes
    }
    Lookup InspectAt(Handle folder, const std::string& name, EntryInfo& info,
                     native::Links links) override {
        Before("InspectAt", AtPath(folder, name));
        const Lookup found = next_.InspectAt(ByPath(*this, folder), name, info, links);
        if (plants_.othersFilesCount)
            info.mine = true;  // planted: any owner passes
        return found;
    }
    Handle OpenFolder(const std::string& path) override {
        Before("OpenFolder", path);
        const Handle folder = next_.OpenFolder(path);
        const std::lock_guard lock(pathsMutex_);
        if (folder >= 0)
            folderPaths_[folder] = path;
        return folder;
    }
    Handle OpenAt(Handle folder, const std::string& name, native::OpenAs how,
                  unsigned permissions) override {
        Before("OpenAt", AtPath(folder, name));
        return next_.OpenAt(ByPath(*this, folder), name, how, permissions);
    }
    bool ReplaceAt(Handle fromFolder, const std::string& from, Handle toFolder,
                   const std::string& to, const EntryInfo& expected) override {
        Before("ReplaceAt", AtPath(toFolder, to));
        return next_.ReplaceAt(ByPath(*this, fromFolder), from, ByPath(*this, toFolder), to,
                               expected);
    }
    // A lock another run holds: the wait is the other run going (the
    // holder is sure to let go before its end).
    bool WaitForLock(Handle file, std::int32_t) override {
        if (plants_.unlockedLog)
            return true;  // planted: nobody waits
        for (;;) {
            if (next_.WaitForLock(file, 0))
                return true;
            if (!LetTheOtherGo())
                return false;
        }
    }
    std::uint64_t RandomToken() override {
        // Planted: one name for all.
        return plants_.sharedNames ? 42 : ForwardingLayer::RandomToken();
    }

  protected:
    // The folder a call acts in: the one opened, or (planted) the one its
    // path names at the moment of the call, looked up again.
    class ByPath {
      public:
        ByPath(SchedulingLayer& layer, Handle folder) : layer_(layer), folder_(folder) {
            if (!layer.plants_.folderByPath)
                return;
            std::string path;
            {
                const std::lock_guard lock(layer.pathsMutex_);
                const auto found = layer.folderPaths_.find(folder);
                if (found == layer.folderPaths_.end())
                    return;
                path = found->second;
            }
            const Handle again = layer.next_.OpenFolder(path);
            if (again >= 0)
                fresh_ = folder_ = again;
        }
        ~ByPath() {
            if (fresh_ >= 0)
                layer_.next_.CloseFile(fresh_);
        }
        operator Handle() const { return folder_; }

      private:
        SchedulingLayer& layer_;
        Handle folder_;
        Handle fresh_ = -1;
    };

    std::string AtPath(Handle folder, const std::string& name) override {
        return SimFileSystem::Instance().PathOfOpen(folder) + "/" + name;
    }
    void Before(const char*, std::string_view path) override {
        const int run = runOfThisThread;
        if (run < 0)
            return;
        std::unique_lock lock(mutex_);
        AwaitTurn(lock, run);
        if (!Shared(path))
            return;
        ++points_[run];
        if (schedule_.disturbAt != 0 && points_[0] + points_[1] == schedule_.disturbAt &&
            disturbance_)
            disturbance_();  // the other user's turn, while both runs wait
        if (!SwitchNow() || done_[1 - run])
            return;
        running_ = 1 - run;
        turn_.notify_all();
        AwaitTurn(lock, run);
    }

  private:
    // The run going waits while the other goes; false when there is none.
    bool LetTheOtherGo() {
        const int run = runOfThisThread;
        if (run < 0)
            return false;
        std::unique_lock lock(mutex_);
        if (done_[1 - run])
            return false;
        running_ = 1 - run;
        turn_.notify_all();
        AwaitTurn(lock, run);
        return true;
    }

    // Waits for the turn of `run`. A run that never comes back to the
    // system (stuck on a lock the waiting one holds) ends the explorer as a
    // violation rather than a hang.
    void AwaitTurn(std::unique_lock<std::mutex>& lock, int run) {
        if (!turn_.wait_for(lock, std::chrono::seconds(20), [&] { return running_ == run; })) {
            std::printf("VIOLATION: the two runs deadlock (%s)\n", schedule_.Text().c_str());
            std::fflush(stdout);
            std::_Exit(3);
        }
    }

    static bool Shared(std::string_view path) {
        for (const std::string& folder : kSharedFolders)
            if (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                path[folder.size()] == '/')
                return true;
        return false;
    }

    // Under mutex_: whether the run going hands the turn over here.
    bool SwitchNow() {
        if (schedule_.random)
            return random_() % 8 == 0;
        if (segment_ >= schedule_.budgets.size())
            return false;
        if (++used_ < schedule_.budgets[segment_])
            return false;
        ++segment_;
        used_ = 0;
        return true;
    }

    const LayerPlants plants_;
    std::mutex pathsMutex_;
    std::map<Handle, std::string> folderPaths_;  // the paths folders were opened by
    std::function<void()> disturbance_;
    std::mutex mutex_;
    std::condition_variable turn_;
    Schedule schedule_;
    int running_ = 0;
    std::size_t segment_ = 0;
    std::size_t used_ = 0;
    bool done_[2] = {false, false};
    std::size_t points_[2] = {0, 0};
    std::minstd_rand random_;
};

// The two runs of a pair.
struct Pair {
    std::string name;
    std::function<void(std::map<std::string, Reported>&)> runs[2];
};

std::map<std::string, Reported> Reports(const cli::Run& run) {
    std::map<std::string, Reported> reported;
    for (const cli::FileReport& report : run.Reports())
        reported[report.path] = {report.code,
                                 report.code == Outcome::Corrected ? report.output : "",
                                 ReasonText(report.problem)};
    return reported;
}

void RunCli(const std::vector<std::string>& files, const std::string& outputDir,
            std::map<std::string, Reported>& reported, bool deleteInput = true) {
    cli::Settings settings;
    settings.outputDir = outputDir;
    settings.deleteInput = deleteInput;
    settings.deleteDamagedInput = deleteInput;  // as the window does
    settings.quiet = true;
    settings.log = kLog;
    cli::Run run(settings, files);
    run.ConvertAll();
    reported = Reports(run);
}

void RunWindow(std::map<std::string, Reported>& reported) {
    QuietView view;
    {
        WizardCore core(view, Catalogue::Japanese(), {InputFolder()}, "/work",
                        "/opt/quenrix/quenrix");
        core.Start();
    }
    for (const auto& [input, outcome] : view.outcomes)
        reported[input] = {outcome.outcome, outcome.stored ? outcome.outputPath : "",
                           ReasonText(outcome.problem)};
}

// True when the log is entries only, each "yyyy/mm/dd hh:mm:ss - " and a
// message, ended by CR LF.
bool WholeLines(const std::string& log) {
    static const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d - )");
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos || end - at < 22 ||
            !std::regex_match(log.begin() + static_cast<std::ptrdiff_t>(at),
                              log.begin() + static_cast<std::ptrdiff_t>(at + 22), stamp) ||
            log.find_first_of("\r\n", at) != end)
            return false;
        at = end + 2;
    }
    return true;
}

std::vector<std::string> ListedInputs() {
    std::vector<std::string> files;
    native::SimulatedSystem().ForEachEntry(InputFolder(), [&](const native::FolderEntry& entry) {
        files.push_back(InputPath(entry.name));
    });
    return files;
}

// The other user, and what it does.
struct OtherUser {
    Disturbance kind = Disturbance::None;
    std::string input;      // the input it appends to, or whose corrected file it plants
    std::string appended;   // what it appends
    std::string corrected;     // the input's corrected file with what was appended
    std::string plantAt;       // where it plants the input's corrected file
    std::string plantedBytes;  // that corrected file (of the input as it was)
};

class ConcurrencyExplorer {
  public:
    ConcurrencyExplorer(SchedulingLayer& layer, const Pair& pair, DiskImage initial,
                        std::map<std::string, std::string> inputs,
                        std::map<std::string, std::string> corrected, std::size_t maxReports)
        : layer_(layer),
          pair_(pair),
          initial_(std::move(initial)),
          inputs_(std::move(inputs)),
          corrected_(std::move(corrected)),
          maxReports_(maxReports) {}

    void Await(const std::string& text) { awaited_ = text; }
    void Disturb(OtherUser other) { other_ = std::move(other); }
    std::size_t Violations(Disturbance kind) const {
        const auto found = violationsBy_.find(kind);
        return found == violationsBy_.end() ? 0 : found->second;
    }
    bool Found() const { return !awaited_.empty() && found_; }
    std::size_t Runs() const { return runs_; }
    std::size_t Violations() const { return violations_; }

    // Runs both at once as `schedule` says; the switch points each passed.
    std::pair<std::size_t, std::size_t> Explore(const Schedule& schedule) {
        SimFileSystem::Instance().Reset(initial_);
        acted_ = false;
        layer_.SetDisturbance(schedule.disturbAt != 0 ? std::function<void()>([this] { Act(); })
                                                      : std::function<void()>());
        layer_.Begin(schedule);
        std::map<std::string, Reported> reported[2];
        std::vector<std::thread> threads;
        for (int run = 0; run < 2; ++run)
            threads.emplace_back([&, run] {
                runOfThisThread = run;
                layer_.WaitForTurn(run);
                pair_.runs[run](reported[run]);
                layer_.End(run);
            });
        for (std::thread& thread : threads) thread.join();
        ++runs_;
        const Disturbance kind = schedule.disturbAt != 0 ? other_.kind : Disturbance::None;
        if (acted_ && kind == Disturbance::Planter) {
            // The planter takes its copy away again, once the input is gone.
            SimFileSystem::Entry entry;
            if (SimFileSystem::Instance().Inspect(other_.plantAt, entry) && entry.owner != 0)
                SimFileSystem::Instance().Remove(other_.plantAt);
        }
        for (const std::string& problem : Check(reported, kind)) Report(schedule, problem, kind);
        return {layer_.Points(0), layer_.Points(1)};
    }

  private:
    // The other user's turn: it appends to an input, swaps the input
    // folder for a link, or plants a corrected file as its own.
    void Act() {
        SimFileSystem& fs = SimFileSystem::Instance();
        switch (other_.kind) {
            case Disturbance::Writer: {
                const auto file = fs.Open(other_.input, true);
                if (file < 0)
                    return;
                fs.Write(file, other_.appended.data(), other_.appended.size());
                fs.Close(file);
                break;
            }
            case Disturbance::Swapper:
                if (!fs.RenameFolder(InputFolder(), "/data-away") ||
                    !fs.MakeLink(kVictimFolder, InputFolder()))
                    return;
                break;
            case Disturbance::Planter: {
                const auto file = fs.Create(other_.plantAt, true);
                if (file < 0)
                    return;  // the name is taken: nothing to plant
                fs.Write(file, other_.plantedBytes.data(), other_.plantedBytes.size());
                fs.Close(file);
                fs.SetOwner(other_.plantAt, 1);
                break;
            }
            case Disturbance::None:
                return;
        }
        acted_ = true;
    }

    // Where a path of the runs is now: in the folder renamed away, once it
    // was swapped for a link.
    std::string Where(const std::string& path, Disturbance kind) const {
        const std::string folder = InputFolder() + "/";
        if (acted_ && kind == Disturbance::Swapper && path.rfind(folder, 0) == 0)
            return "/data-away/" + path.substr(folder.size());
        return path;
    }

    std::vector<std::string> Check(const std::map<std::string, Reported> (&reported)[2],
                                   Disturbance kind) const {
        std::vector<std::string> problems;
        const DiskImage disk = SimFileSystem::Instance().Current();
        std::map<std::string, std::string> files;
        for (const auto& [path, content] : disk.files)
            if (InFolders(path, kSharedFolders))
                files[path] = *content;
        // Every input is there with every byte it held or gained, or its
        // corrected file (of all of them) is stored somewhere.
        for (const auto& [input, initial] : inputs_) {
            const bool grew = acted_ && kind == Disturbance::Writer && input == other_.input;
            const std::string bytes = grew ? initial + other_.appended : initial;
            const auto now = files.find(Where(input, kind));
            if (now != files.end()) {
                if (now->second != bytes)
                    problems.push_back(input + " is there with other bytes");
                continue;
            }
            const auto corrected = corrected_.find(input);
            const std::string* whole =
                grew ? &other_.corrected : corrected != corrected_.end() ? &corrected->second
                                                                         : nullptr;
            const bool stored = whole != nullptr &&
                                std::any_of(files.begin(), files.end(), [&](const auto& file) {
                                    return file.second == *whole;
                                });
            if (!stored)
                problems.push_back(input + (grew ? " was appended to, and is gone without its "
                                                   "corrected file of every byte"
                                                 : " is gone, and its corrected file is nowhere"));
        }
        // The third folder as it was.
        const std::map<std::string, std::string> victim = FilesIn(disk, {kVictimFolder});
        if (victim != FilesIn(initial_, {kVictimFolder}))
            problems.push_back(std::string(kVictimFolder) +
                               " lost or gained a file, through the link in the input folder's "
                               "place");
        for (int run = 0; run < 2; ++run) {
            for (const auto& [input, report] : reported[run]) {
                const std::string who = "run " + std::to_string(run + 1) + ": ";
                if (report.outcome == Outcome::Corrected) {
                    const auto now = files.find(Where(report.output, kind));
                    const auto corrected = corrected_.find(input);
                    // Read after the writer appended: corrected whole.
                    const bool grown = acted_ && kind == Disturbance::Writer &&
                                       input == other_.input && now != files.end() &&
                                       now->second == other_.corrected;
                    if (!grown && (now == files.end() || corrected == corrected_.end() ||
                                   now->second != corrected->second))
                        problems.push_back(who + input + " is reported corrected -> " +
                                           report.output + ", which holds " +
                                           (now == files.end() ? "nothing" : "other bytes"));
                } else if (!Describe(report.outcome).ok && report.reason.empty()) {
                    problems.push_back(who + input + " is reported \"" +
                                       Describe(report.outcome).word + "\" without a reason");
                }
            }
        }
        // Nothing but inputs and corrected files (no work file left).
        const std::string away = "/data-away/";
        for (const auto& [path, bytes] : files) {
            const std::string named =
                path.rfind(away, 0) == 0 ? InputFolder() + "/" + path.substr(away.size()) : path;
            const bool known =
                path == kLog || inputs_.count(named) != 0 ||
                (acted_ && kind == Disturbance::Writer && bytes == other_.corrected) ||
                std::any_of(corrected_.begin(), corrected_.end(),
                            [&](const auto& corrected) { return corrected.second == bytes; });
            if (!known)
                problems.push_back(path + " stands there; no run leaves it there");
        }
        // The log: whole lines only, and every entry of both runs: each
        // run logs each input it takes up.
        const auto log = disk.files.find(kLog);
        if (log != disk.files.end() && !WholeLines(*log->second))
            problems.push_back(std::string(kLog) + " holds more than whole lines");
        std::map<std::string, int> logged;
        if (log != disk.files.end()) {
            const std::string& text = *log->second;
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t end = std::min(text.find("\r\n", at), text.size());
                if (end - at > 22)
                    ++logged[text.substr(at + 22, end - at - 22)];
                at = end + 2;
            }
        }
        std::map<std::string, int> taken;
        for (int run = 0; run < 2; ++run)
            for (const auto& [input, report] : reported[run]) ++taken[input];
        for (const auto& [input, runs] : taken)
            if (logged[input] < runs)
                problems.push_back(std::string(kLog) + " lost an entry: " + input + " is logged " +
                                   std::to_string(logged[input]) + " times, taken up by " +
                                   std::to_string(runs) + " runs");
        return problems;
    }

    void Report(const Schedule& schedule, const std::string& problem, Disturbance kind) {
        ++violations_;
        ++violationsBy_[kind];
        if (!awaited_.empty() && problem.find(awaited_) != std::string::npos)
            found_ = true;
        if (violations_ <= maxReports_)
            std::printf("VIOLATION in %s (%s): %s\n", pair_.name.c_str(), schedule.Text().c_str(),
                        problem.c_str());
    }

    SchedulingLayer& layer_;
    const Pair& pair_;
    const DiskImage initial_;
    const std::map<std::string, std::string> inputs_;
    const std::map<std::string, std::string> corrected_;  // by input, when it has a rollover
    const std::size_t maxReports_;
    std::string awaited_;
    bool found_ = false;
    std::size_t runs_ = 0;
    std::size_t violations_ = 0;
    std::map<Disturbance, std::size_t> violationsBy_;
    OtherUser other_;
    bool acted_ = false;
};

// Each input's corrected file, made by converting it alone.
std::map<std::string, std::string> CorrectedAlone(
    const DiskImage& initial, const std::map<std::string, std::string>& inputs) {
    std::map<std::string, std::string> corrected;
    SimFileSystem& fs = SimFileSystem::Instance();
    for (const auto& [input, bytes] : inputs) {
        fs.Reset(initial);
        std::map<std::string, Reported> reported;
        RunCli({input}, kOutputFolder, reported);
        const Reported& report = reported[input];
        if (report.outcome == Outcome::Corrected)
            if (const crash::Content stored = fs.FileNow(report.output))
                corrected[input] = *stored;
    }
    return corrected;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Runs two batches at once over shared folders in every schedule with up to two "
        "switches between them, and a random sample, and checks the result."};
    std::string plant = "none";
    std::string expectViolation;
    std::size_t maxReports = 20;
    std::uint32_t files = 2;
    std::size_t randomSchedules = 200;
    int switches = 2;
    bool others = true;
    app.add_option("--plant", plant,
                   "A fault to plant: none, replacing-store (a store's rename replaces), "
                   "shared-work-file-name (every run draws the same random part), "
                   "delete-by-name (a delete does not look at what it deletes), "
                   "others-files-count (another user's file passes for the user's own), "
                   "folder-by-path (a folder looked up by its path for every call), "
                   "unlocked-log (the log written without its lock)")
        ->check(CLI::IsMember({"none", "replacing-store", "shared-work-file-name",
                               "delete-by-name", "others-files-count", "folder-by-path",
                               "unlocked-log"}))
        ->capture_default_str();
    app.add_flag("!--no-other-user", others,
                 "Leave out the third process (a writer, a folder swapped, a file planted)");
    app.add_option("--expect-violation", expectViolation,
                   "Succeed only when a violation's message holds this text (for a planted fault)");
    app.add_option("--reports", maxReports, "Violations printed at most")->capture_default_str();
    app.add_option("--files", files,
                   "Plain inputs besides the special ones and the ninth, whose output name the "
                   "collision input takes")
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    app.add_option("--random", randomSchedules, "Random schedules per pair")->capture_default_str();
    app.add_option("--switches", switches, "Switches between the runs explored in full")
        ->check(CLI::Range(0, 2))
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    const auto start = std::chrono::steady_clock::now();
    native::UseLayer(&native::SimulatedSystem());
    // The batch's inputs: the first `files`, and the one whose corrected
    // file takes the name of the collision input's (the ninth input's:
    // recorded in the same hour, with the same sequence letter).
    Setup setup;
    setup.files = 9;
    setup.oldLogLines = static_cast<int>(kLogLineBound) - 5;
    MakeInputs(setup);
    SimFileSystem& fs = SimFileSystem::Instance();
    for (std::uint32_t i = files; i < 8; ++i)
        fs.Remove(
            InputPath(sample::ReceiverStyleName(i, i % 2 ? sample::Kind::Rmg : sample::Kind::Sig)));
    // Another user's folder, where the link put in the input folder's
    // place leads: a file of its own under an input's name.
    fs.MakeFolder(kVictimFolder);
    {
        const auto file = fs.Create(std::string(kVictimFolder) + "/" +
                                    sample::ReceiverStyleName(0, sample::Kind::Sig));
        fs.Write(file, "theirs", 6);
        fs.Close(file);
    }
    fs.Reset(fs.Current());
    const DiskImage shared = fs.Current();
    const std::map<std::string, std::string> inputs = FilesIn(shared, {InputFolder()});
    const std::map<std::string, std::string> corrected = CorrectedAlone(shared, inputs);

    // The second pair's folders: the inputs split between /data and /b so
    // that the two recordings of one hour (one output name) are in both.
    std::map<std::string, std::vector<std::string>> byName;
    for (const auto& [input, bytes] : inputs) {
        fs.Reset(shared);
        std::map<std::string, Reported> reported;
        RunCli({input}, kOutputFolder, reported);
        byName[reported[input].output].push_back(input);
    }
    fs.Reset(shared);
    std::vector<std::string> firstHalf, secondHalf;
    std::size_t turn = 0;
    for (const auto& [output, named] : byName)
        for (const std::string& input : named)
            (turn++ % 2 == 0 ? firstHalf : secondHalf).push_back(input);
    for (std::string& path : secondHalf) {
        const std::string moved = "/b/" + path.substr(path.rfind('/') + 1);
        fs.MakeFolder("/b");
        fs.Rename(path, moved);
        path = moved;
    }
    fs.Reset(fs.Current());
    const DiskImage split = fs.Current();
    std::map<std::string, std::string> splitCorrected;
    for (const auto& [input, bytes] : corrected) {
        const auto moved = std::find_if(secondHalf.begin(), secondHalf.end(), [&](const auto& p) {
            return p.substr(p.rfind('/')) == input.substr(input.rfind('/'));
        });
        splitCorrected[moved != secondHalf.end() ? *moved : input] = bytes;
    }

    const Pair windowAndCli{"the window and quenrix-cli over /data",
                            {[](auto& reported) { RunWindow(reported); },
                             [](auto& reported) { RunCli(ListedInputs(), "", reported); }}};
    // One run deletes its inputs (a cron job), the other keeps them (a
    // user's), so that the other's file is not read back.
    const Pair twoClis{
        "two quenrix-cli runs into /out",
        {[&](auto& reported) { RunCli(firstHalf, kOutputFolder, reported); },
         [&](auto& reported) { RunCli(secondHalf, kOutputFolder, reported, false); }}};

    // The other user's acts on the first input of /data: its bytes again
    // appended (whole records), and its corrected file planted where each
    // pair stores it.
    const std::string target = *std::find_if(firstHalf.begin(), firstHalf.end(), [&](const auto& p) {
        return corrected.count(p) != 0;
    });
    const std::string targetBytes = inputs.at(target);
    auto otherUser = [&](Disturbance kind, const DiskImage& initial, const std::string& outputDir) {
        OtherUser other;
        other.kind = kind;
        other.input = target;
        other.appended = targetBytes;
        fs.Reset(initial);
        const auto file = fs.Open(target, true);
        fs.Write(file, targetBytes.data(), targetBytes.size());
        fs.Close(file);
        std::map<std::string, Reported> reported;
        RunCli({target}, outputDir, reported);
        if (const crash::Content stored = fs.FileNow(reported[target].output))
            other.corrected = *stored;
        fs.Reset(initial);
        reported.clear();
        RunCli({target}, outputDir, reported);
        other.plantAt = reported[target].output;
        if (const crash::Content stored = fs.FileNow(other.plantAt))
            other.plantedBytes = *stored;
        fs.Reset(initial);
        return other;
    };

    SchedulingLayer layer(native::SimulatedSystem(),
                          {.replacingStore = plant == "replacing-store",
                           .sharedNames = plant == "shared-work-file-name",
                           .deleteByName = plant == "delete-by-name",
                           .othersFilesCount = plant == "others-files-count",
                           .folderByPath = plant == "folder-by-path",
                           .unlockedLog = plant == "unlocked-log"});
    native::UseLayer(&layer);
    std::size_t runs = 0, violations = 0;
    bool found = false;
    for (const auto& [pair, initial, expectedCorrected, outputDir] :
         {std::tuple{&windowAndCli, shared, corrected, std::string()},
          std::tuple{&twoClis, split, splitCorrected, std::string(kOutputFolder)}}) {
        std::map<std::string, std::string> pairInputs;
        for (const auto& [path, content] : initial.files)
            if (InFolders(path, kSharedFolders) && path != kLog)
                pairInputs[path] = *content;
        ConcurrencyExplorer explorer(layer, *pair, initial, pairInputs, expectedCorrected,
                                     maxReports);
        explorer.Await(expectViolation);
        // Without a switch: each run's switch points.
        std::size_t points[2];
        for (int first = 0; first < 2; ++first) {
            const auto counted = explorer.Explore({first, {}});
            points[first] = first == 0 ? counted.first : counted.second;
        }
        // One switch, and two.
        for (int first = 0; first < 2 && switches > 0 && !explorer.Found(); ++first)
            for (std::size_t a = 1; a <= points[first] && !explorer.Found(); ++a) {
                explorer.Explore({first, {a}});
                for (std::size_t b = 1; switches > 1 && b <= points[1 - first] && !explorer.Found();
                     ++b)
                    explorer.Explore({first, {a, b}});
            }
        for (std::uint32_t seed = 1; seed <= randomSchedules && !explorer.Found(); ++seed)
            explorer.Explore({0, {}, true, seed});
        std::printf("%s: switch points %zu and %zu, schedules %zu, violations %zu\n",
                    pair->name.c_str(), points[0], points[1], explorer.Runs(),
                    explorer.Violations());
        // The other user at each switch point of either run, each of them
        // first.
        for (const Disturbance kind :
             {Disturbance::Writer, Disturbance::Swapper, Disturbance::Planter}) {
            if (!others || explorer.Found())
                break;
            explorer.Disturb(otherUser(kind, initial, outputDir));
            const std::size_t before = explorer.Runs();
            for (int first = 0; first < 2 && !explorer.Found(); ++first)
                for (std::size_t at = 1; at <= points[0] + points[1] && !explorer.Found(); ++at)
                    explorer.Explore({first, {}, false, 0, at});
            std::printf("  with %s: schedules %zu, violations %zu\n", NameOf(kind),
                        explorer.Runs() - before, explorer.Violations(kind));
        }
        runs += explorer.Runs();
        violations += explorer.Violations();
        found = found || explorer.Found();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("schedules: %zu, violations: %zu\ntime: %.1f s\n", runs, violations, seconds);
    native::UseLayer(nullptr);
    if (!expectViolation.empty())
        return found ? 0 : 1;
    return violations == 0 ? 0 : 1;
}
