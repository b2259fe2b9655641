// Each test runs in a fresh temporary folder that is its current
// directory, with a fixed local clock and a log in that folder;
// everything is put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "support/binary_file.h"
#include "support/oplog.h"
#include "tests/helpers/forwarding_layer.h"

namespace quenrix::test {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The system's folder separator.
#ifdef _WIN32
    static constexpr char kSeparator = '\\';
#else
    static constexpr char kSeparator = '/';
#endif

    // A path inside the test's folder; a "/" in `name` stands for the
    // system's separator.
    std::string Path(const std::string& name) const;

    // A path written with "/" in the system's own form, and back.
    static std::string Native(std::string path) {
        std::replace(path.begin(), path.end(), '/', kSeparator);
        return path;
    }
    static std::string Portable(std::string path) {
        std::replace(path.begin(), path.end(), kSeparator, '/');
        return path;
    }
    const std::string& Dir() const {
        return dir_;
    }
    std::string LogPath() const {
        return Path("test.log");
    }

    // Fixes the local clock: the system layer's, for the rest of the test.
    // A layer a test puts in place on top passes the clock on where it is
    // made on CurrentLayer().
    void SetNow(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

    // The log's messages (time stamp and " - " removed) as UTF-8.
    std::vector<std::string> LogMessages() const {
        return LogMessagesOf(LogPath());
    }
    static std::vector<std::string> LogMessagesOf(const std::string& path);

    // The log file's raw bytes as text (code page 932).
    std::string LogBytes() const;

    // The pipeline on `input` with the test's request (its log, work file,
    // reference day and receiver type); the result stays in `converted`.
    ConvertResult Convert(const std::string& input);
    // One converter on `input` into `work` (the request's work file when
    // empty), with a conversion as the pipeline starts it: the kind and
    // receiver type of `converted`, nothing else. The result stays in
    // `converted`.
    bool Scan(bool (*converter)(const ConversionRequest&, Conversion&, InputFile&),
              const std::string& input, const std::string& work = "");

    OperationLog opLog;  // at LogPath()
    ConversionRequest request;
    Conversion converted;
    // For the engine's steps that log about a file: to `opLog`, its messages
    // kept in `converted`.
    FileLog fileLog{&opLog, converted.log};

  private:
    // The system layer with a local clock of the test's own.
    class FixedClock : public ForwardingLayer {
      public:
        FixedClock() : ForwardingLayer(native::SystemLayer()) {}
        LocalDateTime LocalClockNow() override { return now; }
        LocalDateTime now{};
    };
    FixedClock clock_;
    std::optional<LayerInPlace> clockInPlace_;
    std::string dir_;
    std::filesystem::path previousDir_;
};

}  // namespace quenrix::test
