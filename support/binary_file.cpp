#include "support/binary_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "support/failure.h"
#include "support/fd_io.h"
#include "support/native.h"

namespace quenrix {

// One thread that runs one job at a time for a file: the caller starts a
// job and goes on with its own work.
class IoThread {
  public:
    IoThread() : thread_([this] { Loop(); }) {}

    ~IoThread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    // Waits for the job before, then starts this one.
    void Start(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !job_; });
        job_ = std::move(job);
        wake_.notify_one();
    }

    // Waits until the job started last has ended; what it wrote is then
    // visible to the caller. A long wait calls `whileWaiting` every few
    // milliseconds (without the lock), so that a window stays responsive
    // while the disk is slow.
    void Wait(const std::function<void()>& whileWaiting = {}) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !job_; })) {
            if (whileWaiting) {
                lock.unlock();
                whileWaiting();
                lock.lock();
            }
        }
    }

  private:
    void Loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return job_ || stopping_; });
            if (!job_)
                return;
            lock.unlock();
            job_();
            lock.lock();
            job_ = nullptr;
            done_.notify_one();
        }
    }

    std::function<void()> job_;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::thread thread_;  // last: it starts once everything above is ready
};

namespace {

// A thread for a file, or none where the system cannot start one (the
// caller then reads or writes the file itself).
std::unique_ptr<IoThread> StartIoThread() {
    try {
        return std::make_unique<IoThread>();
    } catch (...) {
        return nullptr;
    }
}

// Buffers kept for the next file of this thread: as many as a file read
// and a file written at once use.
constexpr std::size_t kKeptBuffers = 4;

struct KeptBuffers {
    std::array<std::uint8_t*, kKeptBuffers> buffers{};
    std::size_t count = 0;
    ~KeptBuffers() {
        for (std::size_t i = 0; i < count; ++i) delete[] buffers[i];
    }
};

thread_local KeptBuffers kept;

}  // namespace

void ReturnFileBuffer::operator()(std::uint8_t* buffer) const {
    if (buffer == nullptr)
        return;
    if (kept.count < kKeptBuffers) {
        kept.buffers[kept.count++] = buffer;
    } else {
        delete[] buffer;
    }
}

FileBuffer TakeFileBuffer() {
    if (kept.count > 0)
        return FileBuffer(kept.buffers[--kept.count]);
    return FileBuffer(new std::uint8_t[kFileBufferSize]);
}

InputFile::InputFile() : buffer_(TakeFileBuffer()) {}

InputFile::~InputFile() {
    Close();
}

bool InputFile::Open(const std::string& path) {
    const auto file = LocateFile(path);
    if (!file) {
        Close();
        fd_ = -1;
        cause_ = file.cause;
        return false;
    }
    return Open(file.value);
}

bool InputFile::Open(const FileAt& file) {
    if (!file.folder)
        return Open(file.path);  // its folder opened now, or why not
    Close();
    const auto opened = native::OpenAt(file.In(), file.Name(), native::OpenAs::Reading);
    fd_ = opened.value;
    cause_ = opened.cause;
    failed_ = false;
    atEnd_ = false;
    EndDigest();
    next_ = end_ = 0;
    consumedBeforeBuffer_ = 0;
    aheadResult_ = {};
    return fd_ >= 0;
}

bool InputFile::Rewind() {
    reader_.reset();  // waits for a read still under way: it moves the position
    atEnd_ = false;
    EndDigest();
    next_ = end_ = 0;
    consumedBeforeBuffer_ = 0;
    aheadResult_ = {};
    const auto rewound = fd_ >= 0 ? native::RewindFile(fd_) : native::Done{EBADF};
    cause_ = rewound.cause;
    failed_ = !rewound;
    return !failed_;
}

void InputFile::EndDigest() {
    if (digester_)
        digester_->Wait();  // the buffer hashed last is in the digest
    digest_ = nullptr;
}

void InputFile::Close() {
    EndDigest();
    reader_.reset();  // waits for a read still under way
    if (fd_ >= 0) {
        (void)native::CloseFile(fd_);  // nothing written: nothing to lose
        fd_ = -1;
    }
}

bool InputFile::Refill() {
    if (digester_)
        digester_->Wait();  // done with the buffer, which is filled anew
    consumedBeforeBuffer_ += end_;
    next_ = end_ = 0;
    if (fd_ < 0 && !failed_) {
        failed_ = true;
        cause_ = EBADF;
    }
    if (failed_ || atEnd_) {
        return false;
    }
    native::Answer<std::int64_t> got;
    if (reader_) {
        // The buffer read ahead: at once, or by the thread meanwhile.
        reader_->Wait(whileWaiting_);
        got = aheadResult_;
        buffer_.swap(ahead_);
    } else {
        // What the system holds in memory is read here, at once.
        const auto atHand = native::ReadSomeAtHand(fd_, buffer_.get(), kBufferSize);
        got = atHand.value ? native::Answer<std::int64_t>{*atHand.value, atHand.cause}
                           : ReadFromDisk();
    }
    if (!got) {
        failed_ = true;
        cause_ = got.cause;
        return false;
    }
    if (got.value == 0) {
        atEnd_ = true;
        return false;
    }
    if (reader_) {
        ReadAhead();
    }
    end_ = static_cast<std::size_t>(got.value);
    if (digest_ != nullptr) {
        if (!digester_)
            digester_ = StartIoThread();
        const std::size_t size = end_;
        if (digester_)
            digester_->Start(
                [digest = digest_, buffer = buffer_.get(), size] { digest->Add(buffer, size); });
        else
            digest_->Add(buffer_.get(), size);  // no thread to be had: hashed here
    }
    return true;
}

// The disk is waited for on a thread of our own, which calls back the
// caller meanwhile (its window keeps running), and from then on reads the
// next buffer ahead; where no thread can be started, it is waited for here.
native::Answer<std::int64_t> InputFile::ReadFromDisk() {
    reader_ = StartIoThread();
    if (!reader_) {
        return native::ReadSome(fd_, buffer_.get(), kBufferSize);
    }
    if (!ahead_) {
        ahead_ = TakeFileBuffer();
    }
    ReadAheadOnThread();
    reader_->Wait(whileWaiting_);
    buffer_.swap(ahead_);
    return aheadResult_;
}

void InputFile::ReadAheadOnThread() {
    reader_->Start([this] { aheadResult_ = native::ReadSome(fd_, ahead_.get(), kBufferSize); });
}

// The next buffer: read at once where the system holds it in memory (the
// disk may have caught up), else by the thread while the caller works.
void InputFile::ReadAhead() {
    const auto atHand = native::ReadSomeAtHand(fd_, ahead_.get(), kBufferSize);
    if (atHand.value) {
        aheadResult_ = {*atHand.value, atHand.cause};
    } else {
        ReadAheadOnThread();
    }
}

bool InputFile::Inspect(native::EntryInfo& info) const {
    return fd_ >= 0 && native::InspectOpen(fd_, info);
}

InputFile::Status InputFile::ReadByteSlow(std::uint8_t& byte) {
    if (!Refill()) {
        return failed_ ? Status::Error : Status::End;
    }
    byte = buffer_[next_++];
    return Status::Ok;
}

std::size_t InputFile::ReadSlow(std::uint8_t* destination, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        if (next_ == end_ && !Refill()) {
            break;
        }
        std::size_t take = std::min(n - done, end_ - next_);
        std::memcpy(destination + done, buffer_.get() + next_, take);
        next_ += take;
        done += take;
    }
    return done;
}

OutputFile::OutputFile() : buffer_(TakeFileBuffer()) {}

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path) {
    const auto created = native::CreateForWriting(path);
    return Opened(created.value, created.cause);
}

bool OutputFile::CreateFresh(const FileAt& file) {
    const CreatedFile created = quenrix::CreateFresh(file);
    native::EntryInfo info;
    // A file just made exclusively: nobody else holds it. Where no second
    // handle can be had, the lock is taken on the one that writes.
    HeldFile lock = created && native::InspectOpen(created.file, info)
                        ? LockOf(file.In(), file.Name(), IdentityOf(info))
                        : HeldFile();
    if (created && lock.Get() < 0)
        (void)native::TryLock(created.file);
    const bool opened = Opened(created.file, created.cause);
    lock_ = std::move(lock);
    return opened;
}

bool OutputFile::Reuse(const FileAt& file, const FileIdentity& identity) {
    // No other run holds it: its lock is this run's from now on.
    HeldFile lock = LockOf(file.In(), file.Name(), identity);
    if (lock.Get() < 0)
        return false;
    // Appended to from its start once it is cut to nothing: written over.
    const auto opened = native::OpenAt(file.In(), file.Name(), native::OpenAs::Appending);
    if (!opened)
        return false;
    native::EntryInfo info;
    const bool ours = native::InspectOpen(opened.value, info) && info.regular &&
                      IdentityOf(info) == identity && info.links == 1 &&
                      native::TruncateFile(opened.value, 0);
    if (!ours) {
        (void)native::CloseFile(opened.value);  // nothing was written
        return false;
    }
    const bool reused = Opened(opened.value, 0);
    lock_ = std::move(lock);
    return reused;
}

void OutputFile::CreateDiscarding() {
    Opened(-1, 0);
    open_ = true;
    discarding_ = true;
    failed_ = false;
    cause_ = 0;
}

void OutputFile::Hash(const std::uint8_t* data, std::size_t n) {
    written_.Add(data, n);
    if (digest_ != nullptr)
        digest_->Add(data, n);
}

bool OutputFile::Opened(int fd, int cause) {
    Close();
    written_.Reset();
    digest_ = nullptr;
    fd_ = fd;
    open_ = fd_ >= 0;
    failed_ = fd_ < 0;
    cause_ = failed_ ? cause : 0;
    writeCause_ = 0;
    used_ = 0;
    handedOver_ = 0;
    roomSetAside_ = false;
    return fd_ >= 0;
}

// Passes the full buffer to the writing thread, started on the first call,
// and goes on with the other; where no thread can be started, the buffer
// is written here.
bool OutputFile::HandOver() {
    if (discarding_) {
        Hash(buffer_.get(), used_);
        handedOver_ += used_;
        used_ = 0;
        return true;
    }
    if (!writer_) {
        writer_ = StartIoThread();
        if (writer_ && !behind_)
            behind_ = TakeFileBuffer();
    }
    bool ok;
    if (writer_) {
        writer_->Wait(whileWaiting_);
        ok = writeCause_ == 0;
        if (ok) {
            buffer_.swap(behind_);
            const std::size_t size = used_;
            // Hashed on the writing thread too, off the converting one; the
            // jobs run one at a time, in order.
            writer_->Start([this, size] {
                Hash(behind_.get(), size);
                writeCause_ = WriteAllTo(fd_, behind_.get(), size).cause;
            });
        }
    } else {
        Hash(buffer_.get(), used_);
        ok = Fail(WriteAllTo(fd_, buffer_.get(), used_));
    }
    handedOver_ += used_;
    used_ = 0;
    if (!ok && cause_ == 0)
        cause_ = writeCause_;
    failed_ = failed_ || !ok;
    return ok;
}

void OutputFile::ExpectSize(std::uint64_t bytes) {
    // A file of one buffer goes out in one write: nothing to gain there.
    if (fd_ >= 0 && !failed_ && handedOver_ == 0 && bytes > kBufferSize) {
        (void)native::ReserveSpace(fd_, bytes);  // only a help to the file system
        roomSetAside_ = true;
    }
}

bool OutputFile::WriteSlow(const std::uint8_t* data, std::size_t n) {
    if (failed_ || !open_) {
        failed_ = true;
        return false;
    }
    while (n > 0) {
        if (used_ == kBufferSize && !HandOver()) {
            return false;
        }
        const std::size_t take = std::min(n, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, data, take);
        used_ += take;
        data += take;
        n -= take;
    }
    return true;
}

std::uint8_t* OutputFile::ReserveSlow(std::size_t n) {
    if (failed_ || !open_ || n > kBufferSize) {
        failed_ = true;
        return nullptr;
    }
    // The room must be in one piece: what the buffer holds goes first.
    if (!HandOver()) {
        return nullptr;
    }
    return buffer_.get();
}

bool OutputFile::Fail(native::Done done) {
    if (!done && cause_ == 0)
        cause_ = done.cause;
    return static_cast<bool>(done);
}

bool OutputFile::Close() {
    if (discarding_) {
        Hash(buffer_.get(), used_);
        used_ = 0;
        open_ = discarding_ = false;
        return true;
    }
    open_ = false;
    if (fd_ < 0) {
        writer_.reset();
        return !failed_;
    }
    bool ok = !failed_;
    const std::uint64_t size = handedOver_ + used_;
    if (ok && used_ > 0) {
        // The whole of a small file is written here, without a thread.
        if (writer_) {
            ok = HandOver();
        } else {
            Hash(buffer_.get(), used_);
            ok = Fail(WriteAllTo(fd_, buffer_.get(), used_));
        }
    }
    used_ = 0;
    if (writer_) {
        writer_->Wait(whileWaiting_);
        if (ok && writeCause_ != 0) {
            ok = false;
            cause_ = writeCause_;
        }
        writer_.reset();
    }
    if (ok && roomSetAside_) {
        // Room set aside past the end is given back.
        ok = Fail(native::TruncateFile(fd_, size));
    }
    if (!Fail(native::CloseFile(fd_))) {
        ok = false;
    }
    fd_ = -1;
    failed_ = failed_ || !ok;
    return ok;
}

}  // namespace quenrix
