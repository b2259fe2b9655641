// Each test runs in a fresh temporary folder that is its current
// directory, with a fixed local clock, a log in that folder and a clean
// engine state; everything is put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clock.h"

namespace quenrix::test {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A path inside the test's folder.
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& Dir() const { return dir_; }
    std::string LogPath() const { return Path("test.log"); }

    // Fixes the local clock.
    void SetNow(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

    // The log's messages (time stamp and " - " removed) as UTF-8.
    std::vector<std::string> LogMessages() const { return LogMessagesOf(LogPath()); }
    static std::vector<std::string> LogMessagesOf(const std::string& path);

    // The log file's raw bytes as text (code page 932).
    std::string LogBytes() const;

  private:
    std::string dir_;
    std::string previousDir_;
};

}  // namespace quenrix::test
