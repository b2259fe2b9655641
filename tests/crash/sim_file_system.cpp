#include "tests/crash/sim_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <sstream>

namespace quenrix::crash {
namespace {

constexpr int kRoot = 0;
constexpr const char* kCurrentFolder = "/work";

// The parts of a path, relative ones from the current folder.
std::vector<std::string> PartsOf(const std::string& path) {
    const std::string full =
        !path.empty() && path.front() == '/' ? path : std::string(kCurrentFolder) + "/" + path;
    std::vector<std::string> parts;
    std::stringstream stream(full);
    for (std::string part; std::getline(stream, part, '/');) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    return parts;
}

Content Share(std::string bytes) {
    return std::make_shared<const std::string>(std::move(bytes));
}

}  // namespace

// A disk under construction: the durable state with some pending
// operations applied, copied only where they change it.
class SimFileSystem::View {
  public:
    explicit View(const SimFileSystem& fs) : fs_(fs) {}

    // A write torn at the disk's sectors: only the bytes in [from, to) of
    // it (offsets in the file) reach the disk, with `hole` bytes from
    // `holeFrom` on lost in the middle (the old bytes stay there, zeros
    // past the file's old end).
    void ApplyTorn(const Pending& p, std::uint64_t to, std::uint64_t holeFrom = 0,
                   std::uint64_t hole = 0) {
        std::string& data = Data(p.node);
        const std::string before = data;
        const std::uint64_t end = std::min<std::uint64_t>(to, p.offset + p.bytes->size());
        if (end <= p.offset)
            return;
        if (data.size() < end)
            data.resize(end, '\0');
        std::copy(p.bytes->begin(), p.bytes->begin() + static_cast<std::ptrdiff_t>(end - p.offset),
                  data.begin() + static_cast<std::ptrdiff_t>(p.offset));
        for (std::uint64_t i = holeFrom; i < holeFrom + hole && i < end; ++i)
            data[i] = i < before.size() ? before[i] : '\0';
    }

    void Apply(const Pending& p) {
        switch (p.kind) {
            case Pending::Kind::Write: {
                std::string& data = Data(p.node);
                const std::size_t end = p.offset + p.bytes->size();
                if (data.size() < end)
                    data.resize(end, '\0');
                std::copy(p.bytes->begin(), p.bytes->end(), data.begin() + p.offset);
                break;
            }
            case Pending::Kind::Truncate:
                Data(p.node).resize(p.offset, '\0');
                break;
            case Pending::Kind::Link:
                Entries(p.folder)[p.name] = p.node;
                break;
            case Pending::Kind::Unlink:
                Unlink(p.folder, p.name, p.node);
                break;
            case Pending::Kind::Rename:
                Unlink(p.fromFolder, p.fromName, p.node);
                Entries(p.folder)[p.name] = p.node;
                break;
        }
    }

    // Makes what this view changed the durable state.
    void Commit(std::vector<Node>& nodes) const {
        for (const auto& [node, entries] : entries_) nodes[node].durableEntries = entries;
        for (const auto& [node, data] : data_) nodes[node].durableData = Share(data);
    }

    DiskImage Image() const {
        DiskImage disk;
        Walk(kRoot, "", disk);
        return disk;
    }

  private:
    std::map<std::string, int>& Entries(int folder) {
        auto found = entries_.find(folder);
        if (found == entries_.end())
            found = entries_.emplace(folder, fs_.nodes_[folder].durableEntries).first;
        return found->second;
    }
    std::string& Data(int file) {
        auto found = data_.find(file);
        if (found == data_.end())
            found = data_.emplace(file, *fs_.nodes_[file].durableData).first;
        return found->second;
    }
    // The name goes only where it still names this node: a later entry
    // under the name is not undone by an earlier delete.
    void Unlink(int folder, const std::string& name, int node) {
        std::map<std::string, int>& entries = Entries(folder);
        const auto found = entries.find(name);
        if (found != entries.end() && found->second == node)
            entries.erase(found);
    }
    void Walk(int folder, const std::string& path, DiskImage& disk) const {
        const auto changed = entries_.find(folder);
        const std::map<std::string, int>& entries =
            changed != entries_.end() ? changed->second : fs_.nodes_[folder].durableEntries;
        for (const auto& [name, node] : entries) {
            const std::string full = path + "/" + name;
            if (!fs_.nodes_[node].link.empty())
                continue;  // a link holds no bytes of its own
            if (fs_.nodes_[node].folder) {
                disk.folders.insert(full);
                Walk(node, full, disk);
            } else {
                const auto data = data_.find(node);
                disk.files[full] =
                    data != data_.end() ? Share(data->second) : fs_.nodes_[node].durableData;
            }
        }
    }

    const SimFileSystem& fs_;
    std::map<int, std::map<std::string, int>> entries_;
    std::map<int, std::string> data_;
};

SimFileSystem& SimFileSystem::Instance() {
    static SimFileSystem fs;
    return fs;
}

void SimFileSystem::Reset(const DiskImage& disk) {
    std::lock_guard lock(mutex_);
    nodes_.clear();
    pending_.clear();
    open_.clear();
    locks_.clear();
    heldFolderFlushes_.clear();
    deletedSinceFolderFlush_ = false;
    operations_ = 0;
    ++generation_;
    NewNode(true);  // the root
    auto place = [&](const std::string& path, bool folder) {
        int at = kRoot;
        const std::vector<std::string> parts = PartsOf(path);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            auto found = nodes_[at].entries.find(parts[i]);
            if (found == nodes_[at].entries.end()) {
                const int node = NewNode(!last || folder);
                nodes_[at].entries[parts[i]] = node;
                nodes_[at].durableEntries[parts[i]] = node;
                found = nodes_[at].entries.find(parts[i]);
            }
            at = found->second;
        }
        return at;
    };
    for (const std::string& folder : disk.folders) place(folder, true);
    for (const auto& [path, content] : disk.files) {
        const int node = place(path, false);
        nodes_[node].data = *content;
        nodes_[node].durableData = content;
    }
    // The files on the disk were written before the machine started again.
    clock_ += std::int64_t{3600} * 1000000000;
}

DiskImage SimFileSystem::Current() const {
    std::lock_guard lock(mutex_);
    DiskImage disk;
    std::function<void(int, const std::string&)> walk = [&](int folder, const std::string& path) {
        for (const auto& [name, node] : nodes_[folder].entries) {
            const std::string full = path + "/" + name;
            if (!nodes_[node].link.empty())
                continue;  // a link holds no bytes of its own
            if (nodes_[node].folder) {
                disk.folders.insert(full);
                walk(node, full);
            } else {
                disk.files[full] = Share(nodes_[node].data);
            }
        }
    };
    walk(kRoot, "");
    return disk;
}

Content SimFileSystem::FileNow(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const int node = Find(path);
    return node >= 0 && !nodes_[node].folder ? Share(nodes_[node].data) : nullptr;
}

void SimFileSystem::SetObserver(std::function<void(const Operation&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void SimFileSystem::Plant(PlantedFault fault, const std::string& fileName) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
    faultyFile_ = fileName;
}

std::size_t SimFileSystem::Operations() const {
    std::lock_guard lock(mutex_);
    return operations_;
}

std::size_t SimFileSystem::PendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::vector<CrashState> SimFileSystem::CrashStates() const {
    std::lock_guard lock(mutex_);
    const std::size_t count = pending_.size();
    auto build = [&](const std::function<bool(std::size_t)>& included) {
        View view(*this);
        for (std::size_t i = 0; i < count; ++i)
            if (included(i))
                view.Apply(pending_[i]);
        return view.Image();
    };
    std::vector<CrashState> states;
    const std::string of = " of " + std::to_string(count) + " pending";
    states.push_back({"none" + of, build([](std::size_t) { return false; })});
    if (count == 0)
        return states;
    states.push_back({"all" + of, build([](std::size_t) { return true; })});
    for (std::size_t left = 0; left < count; ++left) {
        states.push_back({"all" + of + " but operation " + std::to_string(pending_[left].number) +
                              " (" + pending_[left].text + ")",
                          build([left](std::size_t i) { return i != left; })});
    }
    // Each file's pending writes: only a first part of them reached the disk.
    std::map<int, std::vector<std::size_t>> writes;
    for (std::size_t i = 0; i < count; ++i)
        if (pending_[i].kind == Pending::Kind::Write || pending_[i].kind == Pending::Kind::Truncate)
            writes[pending_[i].node].push_back(i);
    // A write torn at 512-byte sectors, all else that was pending applied
    // but the node's later writes: its first sectors only (one, half, all
    // but the last), or all but one sector in its middle.
    constexpr std::uint64_t kSector = 512;
    for (const auto& [node, list] : writes) {
        for (std::size_t w = 0; w < list.size(); ++w) {
            const Pending& write = pending_[list[w]];
            if (write.kind != Pending::Kind::Write || write.bytes->empty())
                continue;
            const std::uint64_t first = write.offset / kSector;
            const std::uint64_t last = (write.offset + write.bytes->size() - 1) / kSector;
            const std::uint64_t sectors = last - first + 1;
            if (sectors < 2)
                continue;
            auto torn = [&, node = node, w](const std::string& how, std::uint64_t to,
                                            std::uint64_t holeFrom, std::uint64_t hole) {
                View view(*this);
                for (std::size_t i = 0; i < count; ++i) {
                    const bool laterWrite = pending_[i].node == node && i > list[w] &&
                                            (pending_[i].kind == Pending::Kind::Write ||
                                             pending_[i].kind == Pending::Kind::Truncate);
                    if (i == list[w])
                        view.ApplyTorn(write, to, holeFrom, hole);
                    else if (!laterWrite)
                        view.Apply(pending_[i]);
                }
                states.push_back({"all" + of + " but operation " + std::to_string(write.number) +
                                      " (" + write.text + ") torn: " + how,
                                  view.Image()});
            };
            for (std::uint64_t kept : {std::uint64_t{1}, sectors / 2, sectors - 1}) {
                if (kept >= 1 && kept < sectors)
                    torn("its first " + std::to_string(kept) + " of " + std::to_string(sectors) +
                             " sectors",
                         (first + kept) * kSector, 0, 0);
            }
            if (sectors >= 3) {
                const std::uint64_t lost = first + sectors / 2;
                torn("its sector " + std::to_string(sectors / 2) + " of " +
                         std::to_string(sectors) + " lost",
                     write.offset + write.bytes->size(), lost * kSector, kSector);
            }
        }
    }
    // A few subsets of the pending operations at random, the same every
    // run: each operation in or out by a coin of its own.
    std::mt19937 coin(static_cast<std::uint32_t>(operations_ * 2654435761u));
    for (int subset = 0; subset < 4 && count > 2; ++subset) {
        std::vector<bool> in(count);
        for (std::size_t i = 0; i < count; ++i) in[i] = (coin() & 1) != 0;
        states.push_back({"a random " + std::to_string(subset + 1) + " of 4 of" + of,
                          build([&in](std::size_t i) { return in[i]; })});
    }
    for (const auto& [node, list] : writes) {
        for (std::size_t kept = 0; kept + 1 < list.size(); ++kept) {
            const std::size_t firstLost = list[kept];
            states.push_back({"all" + of + " but the writes from operation " +
                                  std::to_string(pending_[firstLost].number) + " (" +
                                  pending_[firstLost].text + ") on",
                              build([&, firstLost](std::size_t i) {
                                  return pending_[i].node != node || i < firstLost ||
                                         (pending_[i].kind != Pending::Kind::Write &&
                                          pending_[i].kind != Pending::Kind::Truncate);
                              })});
        }
    }
    return states;
}

int SimFileSystem::NewNode(bool folder) {
    Node node;
    node.folder = folder;
    node.durableData = Share({});
    node.modified = ++clock_;
    nodes_.push_back(std::move(node));
    return static_cast<int>(nodes_.size() - 1);
}

bool SimFileSystem::Locate(const std::string& path, int& folder, std::string& name) const {
    std::vector<std::string> parts = PartsOf(path);
    if (parts.empty()) {
        errno = EISDIR;  // the root
        return false;
    }
    name = parts.back();
    parts.pop_back();
    folder = kRoot;
    for (const std::string& part : parts) {
        const auto found = nodes_[folder].entries.find(part);
        if (found == nodes_[folder].entries.end()) {
            errno = ENOENT;
            return false;
        }
        const int next = Follow(found->second);
        if (next < 0)
            return false;
        if (!nodes_[next].folder) {
            errno = ENOTDIR;
            return false;
        }
        folder = next;
    }
    return true;
}

int SimFileSystem::Follow(int node, int depth) const {
    if (nodes_[node].link.empty())
        return node;
    if (depth >= 8) {
        errno = ELOOP;
        return -1;
    }
    int folder = kRoot;
    std::string name;
    if (PartsOf(nodes_[node].link).empty())
        return kRoot;
    if (!Locate(nodes_[node].link, folder, name))
        return -1;
    const auto found = nodes_[folder].entries.find(name);
    if (found == nodes_[folder].entries.end()) {
        errno = ENOENT;
        return -1;
    }
    return Follow(found->second, depth + 1);
}

int SimFileSystem::Find(const std::string& path, bool followLast) const {
    if (PartsOf(path).empty())
        return kRoot;
    int folder = kRoot;
    std::string name;
    if (!Locate(path, folder, name))
        return -1;
    const auto found = nodes_[folder].entries.find(name);
    if (found == nodes_[folder].entries.end()) {
        errno = ENOENT;
        return -1;
    }
    return followLast ? Follow(found->second) : found->second;
}

int SimFileSystem::FindFolder(const std::string& path) const {
    const int node = Find(path);
    if (node >= 0 && !nodes_[node].folder) {
        errno = ENOTDIR;
        return -1;
    }
    return node;
}

SimFileSystem::OpenFile* SimFileSystem::Opened(Handle handle) {
    const auto file = open_.find(handle);
    if (file == open_.end()) {
        errno = EBADF;
        return nullptr;
    }
    return &file->second;
}

const SimFileSystem::OpenFile* SimFileSystem::Opened(Handle handle) const {
    return const_cast<SimFileSystem*>(this)->Opened(handle);
}

std::string SimFileSystem::PathOf(int folder, const std::string& name) const {
    return (folder == kRoot ? std::string() : NameOf(folder)) + "/" + name;
}

std::string SimFileSystem::NameOf(int node) const {
    std::function<std::string(int, const std::string&)> find = [&](int at,
                                                                   const std::string& path) {
        for (const auto& [entry, child] : nodes_[at].entries) {
            if (child == node)
                return path + "/" + entry;
            if (nodes_[child].folder) {
                std::string below = find(child, path + "/" + entry);
                if (!below.empty())
                    return below;
            }
        }
        return std::string();
    };
    const std::string path = find(kRoot, "");
    return path.empty() ? "a file no longer named (#" + std::to_string(node) + ")" : path;
}

int SimFileSystem::Link(int folder, const std::string& name, bool isFolder) {
    const int node = NewNode(isFolder);
    nodes_[folder].entries[name] = node;
    Pending p(Pending::Kind::Link);
    p.node = node;
    p.owner = p.folder = folder;
    p.name = name;
    p.text = (isFolder ? "make folder " : "create ") + PathOf(folder, name);
    Record(std::move(p));
    return node;
}

void SimFileSystem::Record(Pending pending) {
    pending.number = ++operations_;
    const std::string text = pending.text;
    pending_.push_back(std::move(pending));
    Announce(text);
}

void SimFileSystem::Announce(const std::string& text) {
    if (observer_)
        observer_({operations_, text});
}

// Puts every pending operation of the file or folder on disk.
void SimFileSystem::Flush(int owner) {
    View view(*this);
    std::vector<Pending> rest;
    for (Pending& p : pending_) {
        if (p.owner == owner)
            view.Apply(p);
        else
            rest.push_back(std::move(p));
    }
    view.Commit(nodes_);
    pending_ = std::move(rest);
}

SimFileSystem::Handle SimFileSystem::Open(const std::string& path, bool forWriting) {
    std::lock_guard lock(mutex_);
    const int node = Find(path);
    if (node < 0)
        return -1;
    if (nodes_[node].folder) {
        errno = EISDIR;
        return -1;
    }
    open_[nextHandle_] = {node, 0, forWriting};
    return nextHandle_++;
}

SimFileSystem::Handle SimFileSystem::OpenNode(int folder, const std::string& name, bool forWriting,
                                              bool follow) {
    const auto found = nodes_[folder].entries.find(name);
    if (found == nodes_[folder].entries.end()) {
        errno = ENOENT;
        return -1;
    }
    // Read through a link where asked; written never through one.
    const int node = forWriting || !follow ? found->second : Follow(found->second);
    if (node < 0)
        return -1;
    if (!nodes_[node].link.empty() || nodes_[node].folder) {
        errno = nodes_[node].folder ? EISDIR : ELOOP;
        return -1;
    }
    open_[nextHandle_] = {node, 0, forWriting};
    return nextHandle_++;
}

SimFileSystem::Handle SimFileSystem::Create(const std::string& path, bool exclusive) {
    std::lock_guard lock(mutex_);
    int folder = kRoot;
    std::string name;
    if (!Locate(path, folder, name))
        return -1;
    return CreateIn(folder, name, exclusive);
}

SimFileSystem::Handle SimFileSystem::CreateIn(int folder, const std::string& name, bool exclusive) {
    const auto found = nodes_[folder].entries.find(name);
    int node = -1;
    if (found != nodes_[folder].entries.end()) {
        if (exclusive) {
            errno = EEXIST;
            return -1;
        }
        node = Follow(found->second);
        if (node < 0)
            return -1;
        if (nodes_[node].folder) {
            errno = EISDIR;
            return -1;
        }
        if (!nodes_[node].data.empty()) {
            nodes_[node].data.clear();
            nodes_[node].modified = ++clock_;
            Pending p(Pending::Kind::Truncate);
            p.node = p.owner = node;
            p.text = "empty " + PathOf(folder, name);
            Record(std::move(p));
        }
    } else {
        node = Link(folder, name, false);
    }
    open_[nextHandle_] = {node, 0, false};
    return nextHandle_++;
}

std::int64_t SimFileSystem::Read(Handle handle, void* destination, std::size_t n) {
    std::lock_guard lock(mutex_);
    OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return -1;
    const std::string& data = nodes_[file->node].data;
    const std::size_t at = std::min<std::uint64_t>(file->position, data.size());
    const std::size_t got = std::min(n, data.size() - at);
    std::memcpy(destination, data.data() + at, got);
    file->position = at + got;
    return static_cast<std::int64_t>(got);
}

bool SimFileSystem::Rewind(Handle handle) {
    std::lock_guard lock(mutex_);
    OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return false;
    file->position = 0;
    return true;
}

std::int64_t SimFileSystem::Write(Handle handle, const void* data, std::size_t n) {
    std::lock_guard lock(mutex_);
    OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return -1;
    Node& node = nodes_[file->node];
    const std::uint64_t at = file->append ? node.data.size() : file->position;
    const char* bytes = static_cast<const char*>(data);
    if (node.data.size() < at + n)
        node.data.resize(at + n, '\0');
    std::copy(bytes, bytes + n, node.data.begin() + static_cast<std::ptrdiff_t>(at));
    node.modified = ++clock_;
    file->position = at + n;
    Pending p(Pending::Kind::Write);
    p.node = p.owner = file->node;
    p.offset = at;
    p.bytes = Share(std::string(bytes, n));
    p.text = "write " + std::to_string(n) + " bytes at " + std::to_string(at) + " to " +
             NameOf(file->node);
    Record(std::move(p));
    return static_cast<std::int64_t>(n);
}

bool SimFileSystem::Close(Handle handle) {
    std::lock_guard lock(mutex_);
    std::erase_if(locks_, [&](const auto& held) { return held.second == handle; });
    return open_.erase(handle) == 1;
}

std::int64_t SimFileSystem::ClockNow() const {
    std::lock_guard lock(mutex_);
    return clock_;
}

void SimFileSystem::LetTimePass(std::int64_t nanoseconds) {
    std::lock_guard lock(mutex_);
    clock_ += nanoseconds;
}

bool SimFileSystem::TryLock(Handle handle) {
    std::lock_guard lock(mutex_);
    const OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return false;
    const auto held = locks_.try_emplace(file->node, handle).first;
    if (held->second == handle)
        return true;
    errno = EWOULDBLOCK;
    return false;
}

bool SimFileSystem::SyncFile(Handle handle) {
    std::lock_guard lock(mutex_);
    OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return false;
    ++operations_;
    const std::string name = NameOf(file->node);
    const bool skipped =
        fault_ == PlantedFault::SkipDataFlush && name.size() >= faultyFile_.size() &&
        name.compare(name.size() - faultyFile_.size(), std::string::npos, faultyFile_) == 0;
    if (!skipped)
        Flush(file->node);
    Announce("flush " + name);
    return true;
}

bool SimFileSystem::Truncate(Handle handle, std::uint64_t size) {
    std::lock_guard lock(mutex_);
    OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return false;
    nodes_[file->node].data.resize(size, '\0');
    nodes_[file->node].modified = ++clock_;
    Pending p(Pending::Kind::Truncate);
    p.node = p.owner = file->node;
    p.offset = size;
    p.text = "cut " + NameOf(p.node) + " to " + std::to_string(size) + " bytes";
    Record(std::move(p));
    return true;
}

bool SimFileSystem::Inspect(const std::string& path, Entry& entry) const {
    std::lock_guard lock(mutex_);
    const int node = Find(path);
    if (node < 0)
        return false;
    entry = {nodes_[node].folder,
             nodes_[node].data.size(),
             generation_ * 2 + VolumeOfNode(node),
             static_cast<std::uint64_t>(node),
             nodes_[node].modified,
             nodes_[node].owner};
    return true;
}

bool SimFileSystem::InspectOpen(Handle handle, Entry& entry) const {
    std::lock_guard lock(mutex_);
    const OpenFile* const file = Opened(handle);
    if (file == nullptr)
        return false;
    const Node& node = nodes_[file->node];
    // The same identity as a look-up of its name gives.
    entry = {node.folder,
             node.data.size(),
             generation_ * 2 + VolumeOfNode(file->node),
             static_cast<std::uint64_t>(file->node),
             node.modified,
             node.owner};
    return true;
}

void SimFileSystem::SetSecondVolume(const std::string& top) {
    std::lock_guard lock(mutex_);
    const std::vector<std::string> parts = PartsOf(top);
    secondVolume_ = parts.empty() ? std::string() : parts.front();
}

int SimFileSystem::VolumeOf(const std::string& path) const {
    const std::vector<std::string> parts = PartsOf(path);
    return !secondVolume_.empty() && !parts.empty() && parts.front() == secondVolume_ ? 1 : 0;
}

int SimFileSystem::VolumeOfNode(int node) const {
    if (secondVolume_.empty())
        return 0;
    // The second volume is a folder of the root: the node is on it when
    // that folder holds it, however deep.
    const auto top = nodes_[kRoot].entries.find(secondVolume_);
    if (top == nodes_[kRoot].entries.end())
        return 0;
    std::function<bool(int)> holds = [&](int folder) {
        if (folder == node)
            return true;
        for (const auto& [name, child] : nodes_[folder].entries)
            if (child == node || (nodes_[child].folder && holds(child)))
                return true;
        return false;
    };
    return holds(top->second) ? 1 : 0;
}

bool SimFileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
    std::lock_guard lock(mutex_);
    if (VolumeOf(from) != VolumeOf(to)) {
        errno = EXDEV;
        return false;
    }
    int fromFolder = kRoot, toFolder = kRoot;
    std::string fromName, toName;
    if (!Locate(from, fromFolder, fromName) || !Locate(to, toFolder, toName))
        return false;
    return RenameIn(fromFolder, fromName, toFolder, toName, replace);
}

bool SimFileSystem::RenameFolder(const std::string& from, const std::string& to) {
    std::lock_guard lock(mutex_);
    int fromFolder = kRoot, toFolder = kRoot;
    std::string fromName, toName;
    if (!Locate(from, fromFolder, fromName) || !Locate(to, toFolder, toName))
        return false;
    return RenameIn(fromFolder, fromName, toFolder, toName, false, true);
}

bool SimFileSystem::RenameIn(int fromFolder, const std::string& fromName, int toFolder,
                             const std::string& toName, bool replace, bool folders) {
    const auto source = nodes_[fromFolder].entries.find(fromName);
    if (source == nodes_[fromFolder].entries.end()) {
        errno = ENOENT;
        return false;
    }
    const int node = source->second;
    const auto target = nodes_[toFolder].entries.find(toName);
    if (target != nodes_[toFolder].entries.end() && nodes_[target->second].folder) {
        errno = EISDIR;
        return false;
    }
    if (target != nodes_[toFolder].entries.end() && !replace) {
        errno = EEXIST;
        return false;
    }
    if (nodes_[node].folder && !folders) {
        errno = EPERM;  // the program renames files only
        return false;
    }
    nodes_[fromFolder].entries.erase(source);
    nodes_[toFolder].entries[toName] = node;
    Pending p(Pending::Kind::Rename);
    p.node = node;
    p.owner = p.folder = toFolder;
    p.name = toName;
    p.fromFolder = fromFolder;
    p.fromName = fromName;
    p.text = "rename " + PathOf(fromFolder, fromName) + " -> " + PathOf(toFolder, toName);
    Record(std::move(p));
    return true;
}

bool SimFileSystem::Remove(const std::string& path, bool folderWanted) {
    std::lock_guard lock(mutex_);
    int folder = kRoot;
    std::string name;
    if (!Locate(path, folder, name))
        return false;
    return RemoveIn(folder, name, folderWanted);
}

bool SimFileSystem::RemoveIn(int folder, const std::string& name, bool folderWanted) {
    const auto found = nodes_[folder].entries.find(name);
    if (found == nodes_[folder].entries.end()) {
        errno = ENOENT;
        return false;
    }
    const Node& node = nodes_[found->second];
    if (node.folder != folderWanted || (node.folder && !node.entries.empty())) {
        errno = node.folder != folderWanted ? (node.folder ? EISDIR : ENOTDIR) : ENOTEMPTY;
        return false;
    }
    Pending p(Pending::Kind::Unlink);
    p.node = found->second;
    p.owner = p.folder = folder;
    p.name = name;
    p.text = (folderWanted ? "remove folder " : "delete ") + PathOf(folder, name);
    nodes_[folder].entries.erase(found);
    Record(std::move(p));
    if (fault_ == PlantedFault::FolderFlushAfterDelete) {
        for (int held : heldFolderFlushes_) Flush(held);
        heldFolderFlushes_.clear();
    }
    deletedSinceFolderFlush_ = true;
    return true;
}

bool SimFileSystem::SyncFolder(const std::string& path) {
    std::lock_guard lock(mutex_);
    const int folder = FindFolder(path);
    if (folder < 0)
        return false;
    return SyncFolderNode(folder, folder == kRoot ? std::string("/") : path);
}

bool SimFileSystem::SyncFolderNode(int folder, const std::string& shown) {
    ++operations_;
    if (fault_ == PlantedFault::GroupDeletedBeforeFolderFlush && deletedSinceFolderFlush_) {
        for (int held : heldFolderFlushes_) Flush(held);
        heldFolderFlushes_.clear();
    }
    deletedSinceFolderFlush_ = false;
    if (fault_ == PlantedFault::FolderFlushAfterDelete ||
        fault_ == PlantedFault::GroupDeletedBeforeFolderFlush)
        heldFolderFlushes_.push_back(folder);
    else
        Flush(folder);
    Announce("flush folder " + shown);
    return true;
}

bool SimFileSystem::MakeFolder(const std::string& path) {
    std::lock_guard lock(mutex_);
    int folder = kRoot;
    std::string name;
    if (!Locate(path, folder, name))
        return false;
    if (nodes_[folder].entries.count(name) != 0) {
        errno = EEXIST;
        return false;
    }
    Link(folder, name, true);
    return true;
}

bool SimFileSystem::List(const std::string& path,
                         std::vector<std::pair<std::string, bool>>& names) const {
    std::lock_guard lock(mutex_);
    const int folder = FindFolder(path);
    if (folder < 0)
        return false;
    names.clear();
    for (const auto& [name, node] : nodes_[folder].entries)
        names.emplace_back(name, nodes_[node].folder);
    return true;
}

int SimFileSystem::FolderOf(Handle handle) const {
    const auto file = open_.find(handle);
    if (file == open_.end() || !file->second.folder) {
        errno = EBADF;
        return -1;
    }
    return file->second.node;
}

SimFileSystem::Handle SimFileSystem::OpenFolder(const std::string& path) {
    std::lock_guard lock(mutex_);
    const int node = Find(path);
    if (node < 0)
        return -1;
    if (!nodes_[node].folder) {
        errno = ENOTDIR;
        return -1;
    }
    open_[nextHandle_] = {node, 0, false, true};
    return nextHandle_++;
}

SimFileSystem::Handle SimFileSystem::OpenAt(Handle folder, const std::string& name, bool forWriting,
                                            bool follow) {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    return at < 0 ? -1 : OpenNode(at, name, forWriting, follow);
}

SimFileSystem::Handle SimFileSystem::CreateAt(Handle folder, const std::string& name) {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    return at < 0 ? -1 : CreateIn(at, name, true);
}

bool SimFileSystem::InspectAt(Handle folder, const std::string& name, Entry& entry,
                              bool& link) const {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    if (at < 0)
        return false;
    const auto found = nodes_[at].entries.find(name);
    if (found == nodes_[at].entries.end()) {
        errno = ENOENT;
        return false;
    }
    const int node = link ? Follow(found->second) : found->second;
    if (node < 0)
        return false;
    link = !nodes_[node].link.empty();
    entry = {nodes_[node].folder,
             nodes_[node].data.size(),
             generation_ * 2 + VolumeOfNode(node),
             static_cast<std::uint64_t>(node),
             nodes_[node].modified,
             nodes_[node].owner};
    return true;
}

bool SimFileSystem::RenameAt(Handle fromFolder, const std::string& from, Handle toFolder,
                             const std::string& to, bool replace) {
    std::lock_guard lock(mutex_);
    const int source = FolderOf(fromFolder), target = FolderOf(toFolder);
    if (source < 0 || target < 0)
        return false;
    if (VolumeOfNode(source) != VolumeOfNode(target)) {
        errno = EXDEV;
        return false;
    }
    return RenameIn(source, from, target, to, replace);
}

bool SimFileSystem::RemoveAt(Handle folder, const std::string& name) {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    return at >= 0 && RemoveIn(at, name, false);
}

bool SimFileSystem::SyncOpenFolder(Handle folder) {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    return at >= 0 && SyncFolderNode(at, at == kRoot ? std::string("/") : NameOf(at));
}

std::string SimFileSystem::PathOfOpen(Handle folder) const {
    std::lock_guard lock(mutex_);
    const int at = FolderOf(folder);
    return at < 0 ? std::string("?") : at == kRoot ? std::string() : NameOf(at);
}

bool SimFileSystem::SetOwner(const std::string& path, int owner) {
    std::lock_guard lock(mutex_);
    const int node = Find(path, false);
    if (node < 0)
        return false;
    nodes_[node].owner = owner;
    return true;
}

bool SimFileSystem::MakeLink(const std::string& target, const std::string& path) {
    std::lock_guard lock(mutex_);
    if (!MakeFolder(path))  // a new entry, made a link below
        return false;
    const int node = Find(path, false);
    nodes_[node].folder = false;
    nodes_[node].link = target;
    return true;
}

}  // namespace quenrix::crash
