#include "engine/batch.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#include "engine/batch_actions.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/folder.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {

WorkFiles WorkFiles::Unique(std::string prefix, std::string extension) {
    WorkFiles files;
    files.stem = UniqueName(prefix, "");
    files.prefix = std::move(prefix);
    files.extension = std::move(extension);
    return files;
}

std::string WorkFiles::Name(unsigned worker, std::size_t slot) const {
    std::string name = stem;
    if (worker > 0) {
        name += '-';
        name += std::to_string(worker);
    }
    return GroupWorkFile(name + extension, slot);
}

void BatchSummary::Count(const FileOutcome& outcome) {
    ++files;
    bytes += outcome.conversion.counts.inputBytes;
    switch (Describe(outcome.outcome).tally) {
        case Tally::Corrected:
            ++corrected;
            break;
        case Tally::Unchanged:
            ++unchanged;
            break;
        case Tally::Failed:
            ++failed;
            break;
    }
}

namespace {

class Batch {
  public:
    Batch(const BatchJob& job, BatchEvents& events)
        : job_(job), events_(events), actions_(job.inputs, job.rules) {}
    // Whatever way the batch ends (an exception included), none of its
    // work files stays behind.
    ~Batch() {
        for (const std::string& folder : swept_) {
            // Looked for first: a batch that ended well left none, and
            // costs one listing a folder.
            std::vector<std::string> left;
            (void)native::ForEachEntry(folder.empty() ? "." : folder,
                                       [&](const native::FolderEntry& entry) {
                                           if (!entry.folder && IsOwnWorkFile(entry.name))
                                               left.push_back(entry.name);
                                       });
            const FolderRef opened = left.empty() ? nullptr : Folder::Open(folder).value;
            for (const std::string& name : left)
                if (opened)
                    DeleteOwnFile({opened, JoinPath(folder, name)});
        }
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    BatchSummary Run() {
        if (job_.groupSmallFiles)
            RunInGroups();
        else
            RunFileByFile();
        summary_.notConverted = job_.inputs.size() - taken_;
        if (Interrupted())
            summary_.end = BatchEnd::Interrupted;
        if (job_.log != nullptr) {
            if (summary_.end == BatchEnd::Interrupted)
                job_.log->Write("変換中断 (interrupted)");
            else if (summary_.end == BatchEnd::Cancelled)
                job_.log->Write("変換キャンセル");
        }
        return summary_;
    }

  private:
    // A name of this batch's work files: its stem, then "-N" parts, then
    // its extension.
    bool IsOwnWorkFile(const std::string& name) const {
        const std::string& stem = job_.work.stem;
        const std::string& extension = job_.work.extension;
        return name.size() >= stem.size() + extension.size() && name.rfind(stem, 0) == 0 &&
               name.compare(name.size() - extension.size(), extension.size(), extension) == 0;
    }

    bool Interrupted() const { return job_.interrupt != nullptr && job_.interrupt->load(); }

    // Whether the next file may be taken up; a cancel is noted.
    bool MayTakeNext() {
        if (Interrupted())
            return false;
        const std::lock_guard<std::mutex> lock(eventsMutex_);
        if (events_.StopRequested()) {
            summary_.end = BatchEnd::Cancelled;
            return false;
        }
        return true;
    }

    // The folder a file's work file goes in: the job's, or the one its
    // corrected file goes to. The first time the batch writes there, the
    // work files that dead copies left go (those of copies that run stay).
    std::string WorkFolder(std::size_t index) {
        const std::string folder = job_.work.folder.value_or(OutputFolder(index));
        const std::lock_guard<std::mutex> lock(sweptMutex_);
        if (swept_.insert(folder).second)
            RemoveLeftoverWorkFiles(Folder::Open(folder).value, job_.work.Pattern());
        return folder;
    }

    // Undo gives a file back in its original's folder.
    std::string OutputFolder(std::size_t index) const {
        if (!job_.givingBack.empty())
            return ContainingFolder(job_.givingBack.at(index).original);
        return job_.outputFolder.value_or(ContainingFolder(job_.inputs[index]));
    }

    ConversionRequest Request(std::size_t index, unsigned worker) {
        const std::string& input = job_.inputs[index];
        ConversionRequest request(input);
        if (job_.rules.storing == Storing::Real)
            request.workFile = JoinPath(WorkFolder(index), job_.work.Name(worker));
        request.outputFolder = OutputFolder(index);
        request.describe = job_.describe;
        if (!job_.givingBack.empty())
            request.giveBack = &job_.givingBack.at(index);
        request.log = job_.log;
        request.referenceDay = job_.referenceDay;
        request.receiverType = job_.receiverType;
        request.stop = job_.interrupt;
        return request;
    }

    void Tell(std::size_t index, void (BatchEvents::*event)(std::size_t)) {
        const std::lock_guard<std::mutex> lock(eventsMutex_);
        (events_.*event)(index);
    }

    void Deliver(const FinishedFiles& files) {
        const std::lock_guard<std::mutex> lock(eventsMutex_);
        for (const auto& [index, outcome] : files) {
            summary_.Count(outcome);
            events_.Finished(index, outcome);
        }
    }

    // One thread: small files stored in groups, a large one alone.
    void RunInGroups() {
        for (std::size_t i = 0; i < job_.inputs.size() && MayTakeNext(); ++i) {
            ++taken_;
            events_.Converting(i);
            // A file alone may be read back, and so finished, before its
            // conversion returns: it is told converted first all the same.
            const FinishedFiles finished = ConvertInGroup(i);
            events_.Converted(i);
            Deliver(finished);
        }
        Deliver(actions_.CommitGroup());  // the files converted are finished
    }

    // Converts a file of the window's batch; the files that are finished
    // once it is converted (those its group or read-back let go).
    FinishedFiles ConvertInGroup(std::size_t index) {
        // A large file goes alone: the files before it are finished first,
        // and its name may show while it converts; while the file before it
        // is still read back, once that one is finished.
        std::optional<std::size_t> nameDue;
        if (!actions_.GoesInGroup(index)) {
            if (actions_.ReadBackUnderWay()) {
                nameDue = index;
            } else {
                Deliver(actions_.CommitGroup());
                events_.GoesAlone(index);
            }
        }
        ConversionRequest request = Request(index, 0);
        request.pump = [this, &nameDue] {
            if (nameDue && !actions_.ReadBackUnderWay()) {
                Deliver(actions_.TakeFinishedFiles());
                events_.GoesAlone(*nameDue);
                nameDue.reset();
            }
            events_.Pump();
        };
        return actions_.ConvertInGroup(index, request);
    }

    // Each file stored before the worker takes up the next; `jobs`
    // workers at once.
    void RunFileByFile() {
        const unsigned workers = std::max(
            1u, static_cast<unsigned>(std::min<std::size_t>(job_.jobs, job_.inputs.size())));
        std::vector<std::thread> threads;
        for (unsigned w = 1; w < workers; ++w) threads.emplace_back([this, w] { Work(w); });
        Work(0);
        for (std::thread& thread : threads) thread.join();
    }

    void Work(unsigned worker) {
        for (;;) {
            std::size_t index = 0;
            {
                const std::lock_guard<std::mutex> lock(nextMutex_);
                if (next_ >= job_.inputs.size() || !MayTakeNext())
                    return;
                index = next_++;
                ++taken_;
            }
            Tell(index, &BatchEvents::Converting);
            ConversionRequest request = Request(index, worker);
            if (job_.jobs <= 1)
                request.pump = [this] { events_.Pump(); };
            FileOutcome outcome;
            try {
                outcome = actions_.ConvertFile(index, std::move(request));
            } catch (const std::exception& error) {
                // The thread's border: the file failed, the batch goes on.
                outcome.problem = Problem(Problem::Kind::InternalError);
                outcome.problem.detail = error.what();
            }
            Tell(index, &BatchEvents::Converted);
            Deliver({{index, std::move(outcome)}});
        }
    }

    const BatchJob& job_;
    BatchEvents& events_;
    BatchFileActions actions_;
    BatchSummary summary_;
    std::mutex eventsMutex_;  // one event at a time; the summary with them
    std::mutex nextMutex_;
    std::size_t next_ = 0;
    std::size_t taken_ = 0;
    std::mutex sweptMutex_;
    std::set<std::string> swept_;  // folders cleared of dead copies' work files
};

}  // namespace

BatchSummary RunBatch(const BatchJob& job, BatchEvents& events) {
    Batch batch(job, events);
    return batch.Run();
}

}  // namespace quenrix
