#include "binary_file.h"

#include <algorithm>
#include <cstring>

#include "fd_io.h"
#include "native.h"

namespace quenrix {

InputFile::InputFile() : buffer_(new std::uint8_t[kBufferSize]) {}

InputFile::~InputFile() {
    Close();
}

bool InputFile::Open(const std::string& path) {
    Close();
    fd_ = native::OpenForReading(path);
    failed_ = false;
    atEnd_ = false;
    next_ = end_ = 0;
    consumedBeforeBuffer_ = 0;
    return fd_ >= 0;
}

void InputFile::Close() {
    if (fd_ >= 0) {
        native::CloseFile(fd_);
        fd_ = -1;
    }
}

bool InputFile::Refill() {
    consumedBeforeBuffer_ += end_;
    next_ = end_ = 0;
    if (fd_ < 0) {
        failed_ = true;
    }
    if (failed_ || atEnd_) {
        return false;
    }
    const std::int64_t got = native::ReadSome(fd_, buffer_.get(), kBufferSize);
    if (got > 0) {
        end_ = static_cast<std::size_t>(got);
        return true;
    }
    if (got == 0) {
        atEnd_ = true;
    } else {
        failed_ = true;
    }
    return false;
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

OutputFile::OutputFile() : buffer_(new std::uint8_t[kBufferSize]) {}

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path) {
    Close();
    fd_ = native::CreateForWriting(path);
    failed_ = fd_ < 0;
    used_ = 0;
    return fd_ >= 0;
}

bool OutputFile::WriteAll(const std::uint8_t* data, std::size_t n) {
    if (!WriteAllTo(fd_, data, n)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool OutputFile::Flush() {
    if (failed_ || fd_ < 0) {
        failed_ = true;
        return false;
    }
    bool ok = WriteAll(buffer_.get(), used_);
    used_ = 0;
    return ok;
}

bool OutputFile::WriteSlow(const std::uint8_t* data, std::size_t n) {
    if (failed_ || fd_ < 0) {
        failed_ = true;
        return false;
    }
    if (used_ + n > kBufferSize) {
        if (!Flush()) {
            return false;
        }
        if (n > kBufferSize) {
            return WriteAll(data, n);
        }
    }
    std::memcpy(buffer_.get() + used_, data, n);
    used_ += n;
    return true;
}

bool OutputFile::Close() {
    if (fd_ < 0) {
        return !failed_;
    }
    bool ok = Flush();
    if (!native::CloseFile(fd_)) {
        ok = false;
    }
    fd_ = -1;
    failed_ = failed_ || !ok;
    return ok;
}

}  // namespace quenrix
