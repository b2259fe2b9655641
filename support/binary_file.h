// Buffered binary files for the converters and the receiver checks: the
// scanners look at one byte at a time, so every byte must not cost a
// system call. Failures are sticky: once a read or write has failed, the
// file stays failed, so a caller that checks at the end never misses one.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "support/content_hash.h"
#include "support/file_ops.h"
#include "support/folder.h"
#include "support/native.h"
#include "support/sha256.h"

namespace quenrix {

class IoThread;

// The buffers of both kinds of file: when a file is done with one it goes
// back to a small store of its thread, for the next file to take. A
// buffer fresh from the system costs a page fault for every page of it on
// first use, which would hold up the first buffers of every file (and
// the window with them).
inline constexpr std::size_t kFileBufferSize = 1024 * 1024;
struct ReturnFileBuffer {
    void operator()(std::uint8_t* buffer) const;
};
using FileBuffer = std::unique_ptr<std::uint8_t[], ReturnFileBuffer>;
FileBuffer TakeFileBuffer();

// Read through a buffer. What the system holds in memory is read straight
// into it. The disk is waited for on a thread of the file's own, which
// calls back the caller every few milliseconds meanwhile, and from then on
// reads each next buffer while the caller works through one, so that
// reading and converting overlap.
class InputFile {
  public:
    enum class Status { Ok, End, Error };
    static constexpr std::size_t kBufferSize = kFileBufferSize;

    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens for reading, through its opened folder or by path (a link
    // under the name followed); false when the file cannot be opened.
    bool Open(const FileAt& file);
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Reads the open file again from its start, as if just opened, taking
    // nothing from what was read before (the file may have changed since);
    // false (the file failed, with the cause) when the system cannot go back.
    bool Rewind();

    // Called every few milliseconds while a read waits for the disk.
    void SetWhileWaiting(std::function<void()> whileWaiting) {
        whileWaiting_ = std::move(whileWaiting);
    }

    // One byte: Ok with the byte, End at the end of the input, or Error.
    Status ReadByte(std::uint8_t& byte) {
        if (next_ < end_) {
            byte = buffer_[next_++];
            return Status::Ok;
        }
        return ReadByteSlow(byte);
    }

    // Up to n bytes; returns how many were read. Fewer than n means the
    // end of the input or a failure (see Failed).
    std::size_t Read(std::uint8_t* destination, std::size_t n) {
        if (Buffered() >= n) {
            std::memcpy(destination, buffer_.get() + next_, n);
            next_ += n;
            return n;
        }
        return ReadSlow(destination, n);
    }

    // The next n bytes, read in place, where the buffer holds them all;
    // nullptr where they run past it (Read copes with that). The bytes
    // stay valid until the next Read or ReadByte.
    const std::uint8_t* Peek(std::size_t n) const {
        return Buffered() >= n ? buffer_.get() + next_ : nullptr;
    }

    // Bytes read from the file and not yet consumed: Peek shows them all.
    std::size_t Buffered() const { return end_ - next_; }

    // Consumes n bytes that Peek has shown.
    void Skip(std::size_t n) {
        assert(n <= Buffered() && "Skip past what Peek has shown");
        next_ += n;
    }

    bool Failed() const { return failed_; }
    // Why the file failed: the system's error number (FailureText words
    // it); 0 while it has not.
    int Cause() const { return cause_; }
    // What the system says of the file opened now (its identity, size and
    // last write), whatever its name stands for; false when it cannot tell.
    bool Inspect(native::EntryInfo& info) const;
    // Bytes consumed so far.
    std::uint64_t Position() const { return consumedBeforeBuffer_ + next_; }
    // Every byte read from the file from now on (after an Open or Rewind,
    // which end it) is added to `digest` too, in order: each buffer on a
    // thread of its own while the caller reads it.
    void DigestInto(Sha256* digest) {
        EndDigest();
        digest_ = digest;
    }
    // Waits until every byte read is in the digest, and adds no more.
    void EndDigest();

  private:
    Status ReadByteSlow(std::uint8_t& byte);
    std::size_t ReadSlow(std::uint8_t* destination, std::size_t n);
    bool Refill();
    native::Answer<std::int64_t> ReadFromDisk();
    void ReadAhead();
    void ReadAheadOnThread();

    int fd_ = -1;
    bool failed_ = false;
    bool atEnd_ = false;
    FileBuffer buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    std::uint64_t consumedBeforeBuffer_ = 0;
    // From the first wait for the disk on: the thread and the buffer it
    // reads into.
    std::unique_ptr<IoThread> reader_;
    FileBuffer ahead_;
    native::Answer<std::int64_t> aheadResult_;  // what the read into ahead_ gave
    int cause_ = 0;
    std::function<void()> whileWaiting_;
    Sha256* digest_ = nullptr;
    // Hashes the buffer the caller reads meanwhile (DigestInto); started
    // with the first buffer hashed. Declared last: it goes first.
    std::unique_ptr<IoThread> digester_;
};

// Written through two buffers: while a thread of its own writes one full
// buffer out, the caller fills the other, so that converting and writing
// overlap. A file that never fills a buffer is written without a thread.
class OutputFile {
  public:
    static constexpr std::size_t kBufferSize = kFileBufferSize;

    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file empty (an existing one is truncated): for a file a
    // user names.
    bool Create(const std::string& path);
    // Creates a file of the program's own name anew in its opened folder
    // (CreateFresh in fd_io.h): never through a link planted under it,
    // and nobody else may read it. The file is locked (native::TryLock,
    // on a second handle of its own) from then until that handle goes
    // (TakeLock), also after Close: another run that clears away the
    // leftovers of dead runs leaves it alone until it is stored, whatever
    // its clock says.
    bool CreateFresh(const FileAt& file);
    // Writes over the file that stands under the program's own name,
    // when it is still `identity`, this file's only name, and no other
    // run holds it: its inode serves again, so that the file system need
    // not find a new one. False (and nothing written) otherwise.
    bool Reuse(const FileAt& file, const FileIdentity& identity);
    // The handle that holds the file's lock (none where it could not be
    // had): its holder releases the lock by closing it, once the file is
    // stored or removed. Left here, it goes with the next file or this.
    HeldFile TakeLock() { return std::move(lock_); }
    // Opens no file at all: what is written is counted and hashed as ever,
    // and goes nowhere. A dry run converts so, writing nothing anywhere.
    void CreateDiscarding();

    // Called every few milliseconds while a write waits for the disk.
    void SetWhileWaiting(std::function<void()> whileWaiting) {
        whileWaiting_ = std::move(whileWaiting);
    }

    // Sets aside room on the disk for about `bytes`, where the file system
    // can, before anything is written: it then need not find room as each
    // buffer goes out. Close gives back what was not used. Nothing is set
    // aside for a file of one buffer.
    void ExpectSize(std::uint64_t bytes);

    // Appends n bytes; false once any write to the file has failed.
    bool Write(const std::uint8_t* data, std::size_t n) {
        if (HasRoom(n)) {
            std::memcpy(buffer_.get() + used_, data, n);
            used_ += n;
            return true;
        }
        return WriteSlow(data, n);
    }

    // Room for n bytes (at most kBufferSize) at the end of the file, to be
    // filled in place and then appended by Commit(n); nullptr once any
    // write to the file has failed. Nothing is appended without Commit.
    std::uint8_t* Reserve(std::size_t n) {
        if (HasRoom(n)) {
            return buffer_.get() + used_;
        }
        return ReserveSlow(n);
    }

    // Appends the n bytes filled in after Reserve(n).
    void Commit(std::size_t n) {
        assert(!failed_ && open_ && kBufferSize - used_ >= n && "Commit without Reserve");
        used_ += n;
    }

    // Writes out the buffer and closes; false when anything written to the
    // file since Create was not taken whole.
    bool Close();

    bool Failed() const { return failed_; }
    // Why the file failed: the system's error number (FailureText words
    // it); 0 while it has not.
    int Cause() const { return cause_; }
    // The hash of every byte given to the system for the file since Create
    // (ContentHash): after a Close that succeeded, of the whole file.
    std::uint64_t WrittenHash() const { return written_.Value(); }
    // Every byte given to the system from now on (after a Create, which
    // ends it) is added to `digest` too, in order; on the writing thread,
    // so `digest` is read only after Close.
    void DigestInto(Sha256* digest) { digest_ = digest; }

  private:
    // The buffer takes n more bytes of a file that has not failed.
    bool HasRoom(std::size_t n) const { return !failed_ && open_ && kBufferSize - used_ >= n; }
    // Takes the new file (or its failure) in place of the one open.
    bool Opened(int fd, int cause);
    bool HandOver();
    bool WriteSlow(const std::uint8_t* data, std::size_t n);
    std::uint8_t* ReserveSlow(std::size_t n);
    // Notes why a call failed, unless a cause is known; whether it was done.
    bool Fail(native::Done done);
    // Adds bytes given to the system to the hashes.
    void Hash(const std::uint8_t* data, std::size_t n);

    int fd_ = -1;
    HeldFile lock_;            // holds the file's lock (CreateFresh, Reuse)
    bool open_ = false;        // a file, or the discarding sink, takes writes
    bool discarding_ = false;  // CreateDiscarding: nothing is written
    bool failed_ = false;
    FileBuffer buffer_;
    std::size_t used_ = 0;
    // From the first full buffer on: the thread and the buffer it writes.
    std::unique_ptr<IoThread> writer_;
    FileBuffer behind_;
    int writeCause_ = 0;            // why a write failed, set by the thread
    std::uint64_t handedOver_ = 0;  // bytes passed on to be written
    bool roomSetAside_ = false;
    int cause_ = 0;
    std::function<void()> whileWaiting_;
    ContentHash written_;  // of the bytes given to the system, in order
    Sha256* digest_ = nullptr;
};

}  // namespace quenrix
