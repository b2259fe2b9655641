// Faults through the real file system, in a batch of the window: each
// gives its log line and status line, keeps its input, leaves nothing
// under the output name, and the batch goes on with the next file.
#include <QApplication>
#include <QListWidget>

#include <gtest/gtest.h>

#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <memory>

#include "app/qt/main_window.h"
#include "engine/conversion.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "tests/app/child.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace fs = std::filesystem;
namespace {

const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);  // becomes 2013-08-18 14:10
const std::string kStamp = "2013/10/01 10:00:00 - ";
const std::string kArrow = std::string(22, ' ') + "             -> ";

// The result line of a file that failed: it says so, and why.
std::string Failed(const std::string& reason) {
    return kArrow + "変換失敗（" + reason + "）";
}
std::string Why(int cause) {
    return FailureText(cause, Language::Japanese);
}

class FaultTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        form_ = std::make_unique<MainWindow>(std::vector<std::string>{});
        form_->Core().SetLogFile(LogPath());
        fs::create_directory(Path("in"));
    }
    void TearDown() override {
        form_.reset();
        TempDirTest::TearDown();
    }
    // A SIG file of `records` positioning records, all rolled over.
    std::string Sig(const std::string& name, int records = 1) {
        Bytes content;
        for (int i = 0; i < records; ++i) {
            const Bytes record = Record(0x50, 23, {{2, kOld + static_cast<std::uint32_t>(i)}});
            content.insert(content.end(), record.begin(), record.end());
        }
        WriteBytes(Path("in/" + name), content);
        return Path("in/" + name);
    }
    std::vector<std::string> Run(const std::vector<std::string>& inputs) {
        form_->Core().ConvertFiles(inputs);
        std::vector<std::string> lines;
        for (int i = 0; i < Child<QListWidget>(*form_, "statusList")->count(); ++i) {
            lines.push_back(
                Child<QListWidget>(*form_, "statusList")->item(i)->text().toStdString());
        }
        // The batch's result line ends the list; the faults are in the others.
        EXPECT_TRUE(!lines.empty() && lines.back().rfind(kStamp + "結果：", 0) == 0);
        if (!lines.empty())
            lines.pop_back();
        return lines;
    }
    // The second file of every batch converts as usual.
    std::vector<std::string> GoodFileLines() const {
        return {kStamp + "1234L28C.SIG", kArrow + "補正後ファイル名  1234H19C.SIG",
                kArrow + "入力SIG,RMGファイル削除(1234L28C.SIG)"};
    }
    std::string GoodFile() {
        WriteBytes(Path("in/1234L28C.SIG"), Record(0x50, 23, {{2, kOld + 86400}}));
        return Path("in/1234L28C.SIG");
    }
    bool Contains(const std::vector<std::string>& lines, const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::unique_ptr<MainWindow> form_;
};

TEST_F(FaultTest, InputThatIsAFolder) {
    fs::create_directory(Path("in/1234L27B.SIG"));
    const std::vector<std::string> status = Run({Path("in/1234L27B.SIG"), GoodFile()});
    EXPECT_EQ(status[0], kStamp + "1234L27B.SIG");
    EXPECT_EQ(status[1], Failed("入力ファイルなし：ファイルがありません"));
    EXPECT_EQ(std::vector<std::string>(status.begin() + 2, status.end()), GoodFileLines());
    EXPECT_TRUE(Contains(LogMessages(), " > ERROR：入力ファイルなし"));
    EXPECT_TRUE(fs::is_directory(Path("in/1234L27B.SIG")));
}

// The first file's work file is blocked; the next file of its group has
// a work file of its own.
TEST_F(FaultTest, WorkFileThatCannotBeCreated) {
    fs::create_directory(form_->Core().WorkFile());
    const std::string input = Sig("1234L27B.SIG");
    const std::vector<std::string> status = Run({input, GoodFile()});
    EXPECT_EQ(status[0], kStamp + "1234L27B.SIG");
    EXPECT_EQ(status[1], Failed("作業ファイル " + Path(form_->Core().WorkFile()) +
                                " を書き込めません：" + Why(EISDIR)));
    EXPECT_EQ(std::vector<std::string>(status.begin() + 2, status.end()), GoodFileLines());
    const std::vector<std::string> logged = LogMessages();
    EXPECT_EQ(logged[1], input);
    EXPECT_EQ(logged[2], " > ERROR：SIG作業ファイルOpen失敗");
    EXPECT_EQ(logged[3], " > ERROR：作業ファイル作成失敗");
    EXPECT_TRUE(FileExists(input));
    EXPECT_FALSE(fs::exists(Path("in/1234H18B.SIG")));
}

TEST_F(FaultTest, FullDisk) {
    // The file size limit stands in for a full disk: the work file of the
    // large input cannot take all its records. The input spans several
    // output buffers, so the scan itself meets the failure.
    const std::string big = Sig("1234L27B.SIG", 120000);  // 2.7 MB
    const std::string good = GoodFile();
    // A converter that rejects every record would log each of the big
    // file's records for minutes: a file that must convert comes first.
    request.log = nullptr;
    ASSERT_EQ(Convert(good), ConvertResult::Converted);
    ASSERT_TRUE(converted.timeCorrected) << "the converter is broken";
    fs::remove(request.workFile);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 600 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const std::vector<std::string> status = Run({big, good});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(status[0], kStamp + "1234L27B.SIG");
    EXPECT_EQ(status[1], Failed("作業ファイル " + Path(form_->Core().WorkFile()) +
                                " を書き込めません：" + Why(EFBIG)));
    EXPECT_EQ(std::vector<std::string>(status.begin() + 2, status.end()), GoodFileLines());
    const std::vector<std::string> logged = LogMessages();
    EXPECT_EQ(logged[2], " > ERROR：測位結果データ作業ファイル作成失敗");
    EXPECT_EQ(logged[3], " > ERROR：作業ファイル作成失敗");
    EXPECT_EQ(fs::file_size(big), 120000u * 23);
    EXPECT_FALSE(fs::exists(Path("in/1234H18B.SIG")));
    EXPECT_FALSE(fs::exists(request.workFile));
}

TEST_F(FaultTest, OutputNameTakenByAFolder) {
    const std::string input = Sig("1234L27B.SIG");
    fs::create_directory(Path("in/1234H18B.SIG"));
    const std::vector<std::string> status = Run({input, GoodFile()});
    EXPECT_EQ(status[1], Failed("1234H18B.SIG として出力できません：" + Why(EISDIR)));
    EXPECT_EQ(std::vector<std::string>(status.begin() + 2, status.end()), GoodFileLines());
    EXPECT_TRUE(Contains(LogMessages(), " > ERROR：補正後ファイル出力失敗"));
    EXPECT_TRUE(FileExists(input));
    EXPECT_TRUE(fs::is_empty(Path("in/1234H18B.SIG")));
}

TEST_F(FaultTest, LogThatCannotBeWritten) {
    form_->Core().SetLogFile(Path("no/such/folder/quenrix.log"));
    const std::string input = Sig("1234L27B.SIG");
    const std::vector<std::string> status = Run({input, GoodFile()});
    EXPECT_EQ(status.size(), 6u);
    EXPECT_FALSE(FileExists(input));
    EXPECT_TRUE(FileExists(Path("in/1234H18B.SIG")));
    EXPECT_FALSE(fs::exists(Path("no")));
}

TEST_F(FaultTest, InputDeletedWhileItIsConverted) {
    const std::string input = Sig("1234L27B.SIG", 100);
    bool deleted = false;
    // A timer due at once runs when the converter first lets the window run.
    QTimer duringConversion;
    QObject::connect(&duringConversion, &QTimer::timeout, [&] {
        if (!deleted)
            deleted = fs::remove(input);
    });
    duringConversion.start(0);
    const std::vector<std::string> status = Run({input, GoodFile()});
    ASSERT_TRUE(deleted);
    // The open file is read to its end: the corrected file is whole.
    EXPECT_EQ(status[1], kArrow + "補正後ファイル名  1234H18B.SIG");
    EXPECT_EQ(fs::file_size(Path("in/1234H18B.SIG")), 100u * 23);
    EXPECT_TRUE(FileExists(Path("in/1234H19C.SIG")));
}

TEST_F(FaultTest, InputGoneBeforeItsTurn) {
    const std::string input = Sig("1234L27B.SIG");
    const std::string good = GoodFile();
    ASSERT_EQ(symlink(Path("in/nowhere").c_str(), Path("in/1234L27D.SIG").c_str()), 0);
    const std::vector<std::string> status = Run({Path("in/1234L27D.SIG"), good});
    EXPECT_EQ(status[0], kStamp + "1234L27D.SIG");
    EXPECT_EQ(status[1], Failed("入力ファイルなし：ファイルがありません"));
    EXPECT_EQ(std::vector<std::string>(status.begin() + 2, status.end()), GoodFileLines());
    EXPECT_TRUE(Contains(LogMessages(), " > ERROR：入力ファイルなし"));
    EXPECT_TRUE(FileExists(input));
}

// The work files go in the folder the window started in, wherever the
// current folder is meanwhile; here it disappears during the batch.
TEST_F(FaultTest, WorkingFolderThatDisappears) {
    fs::create_directory(Path("work"));
    ASSERT_EQ(chdir(Path("work").c_str()), 0);
    form_ = std::make_unique<MainWindow>(std::vector<std::string>{});
    form_->Core().SetLogFile(LogPath());
    ASSERT_EQ(chdir(Dir().c_str()), 0);
    const std::string first = Sig("1234L27B.SIG", 100);
    const std::string second = GoodFile();
    bool removed = false;
    QTimer duringConversion;
    QObject::connect(&duringConversion, &QTimer::timeout, [&] {
        if (!removed)
            removed = fs::remove_all(Path("work")) > 0;
    });
    duringConversion.start(0);
    const std::vector<std::string> status = Run({first, second});
    ASSERT_TRUE(removed);
    // The first file's work file went with the folder: it cannot be
    // stored. The second cannot get a work file at all.
    ASSERT_EQ(status.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(status.begin(), status.begin() + 3),
              (std::vector<std::string>{kStamp + "1234L27B.SIG",
                                        Failed("1234H18B.SIG として出力できません：" + Why(ENOENT)),
                                        kStamp + "1234L28C.SIG"}));
    EXPECT_EQ(status[3].rfind(kArrow + "変換失敗（作業ファイル " + Path("work/"), 0), 0u)
        << status[3];
    EXPECT_TRUE(FileExists(first));
    EXPECT_TRUE(FileExists(second));
    EXPECT_FALSE(fs::exists(Path("in/1234H18B.SIG")));
    EXPECT_FALSE(fs::exists(Path("in/1234H19C.SIG")));
}

}  // namespace
}  // namespace quenrix::test
