#include "engine/batch_actions.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "engine/conversion.h"
#include "engine/pipeline.h"
#include "support/content_hash.h"
#include "support/file_ops.h"
#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

const Bytes kCorrected = {0x8B, 0x60, 1, 2, 3};
const Bytes kInput = {0x8B, 0x60, 9, 9, 9};

class BatchActionsTest : public TempDirTest {
  protected:
    // As the pipeline leaves things after converting a file with a rollover
    // (read from `input`, where one is named).
    void Converted(const std::string& output, bool rollover = true, const std::string& input = {}) {
        converted.input.reset();
        native::EntryInfo info;
        if (!input.empty() && native::Inspect(input, info).value == native::Lookup::Found)
            converted.input = info;
        WriteBytes(request.workFile, kCorrected);
        converted.timeCorrected = rollover;
        converted.outputPath = output;
        ContentHash written;
        written.Add(kCorrected.data(), kCorrected.size());
        converted.writtenHash = written.Value();
    }
    // Applies `actions` to input `index` as the pipeline left it with `result`.
    FileOutcome Apply(BatchFileActions& actions, std::size_t index, ConvertResult result) {
        converted.result = result;
        return actions.Apply(index, request, converted);
    }
    std::vector<std::string> Log() {
        std::vector<std::string> lines = LogMessages();
        std::filesystem::remove(LogPath());
        return lines;
    }
};

TEST_F(BatchActionsTest, StoresTheOutputAndDeletesTheInput) {
    WriteBytes(Path("1234L27B.SIG"), kInput);
    BatchFileActions actions({Path("1234L27B.SIG")}, {.deleteInputs = true});
    Converted(Path("1234H18B.SIG"), true, Path("1234L27B.SIG"));
    EXPECT_EQ(Apply(actions, 0, ConvertResult::Converted).statusLines,
              (std::vector<std::string>{"補正後ファイル名  1234H18B.SIG",
                                        "入力SIG,RMGファイル削除(1234L27B.SIG)"}));
    EXPECT_EQ(Log(), (std::vector<std::string>{" > 補正後ファイル名  " + Path("1234H18B.SIG"),
                                               " > 削除：" + Path("1234L27B.SIG")}));
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kCorrected);
    EXPECT_FALSE(FileExists(Path("1234L27B.SIG")));
    EXPECT_FALSE(FileExists(request.workFile));
}

// What the disk gives back is not what was written (the hash of the
// written bytes differs): the input stays, and so does nothing under the
// output name.
TEST_F(BatchActionsTest, AStoredFileThatReadsBackDifferentKeepsItsInput) {
    WriteBytes(Path("1234L27B.SIG"), kInput);
    BatchFileActions actions({Path("1234L27B.SIG")}, {.deleteInputs = true});
    Converted(Path("1234H18B.SIG"), true, Path("1234L27B.SIG"));
    converted.writtenHash ^= 1;
    const FileOutcome outcome = Apply(actions, 0, ConvertResult::Converted);
    EXPECT_EQ(outcome.outcome, Outcome::NotStored);
    EXPECT_EQ(ReasonText(outcome.problem), "the stored file reads back different");
    EXPECT_EQ(outcome.statusLines, std::vector<std::string>{"変換失敗"});
    EXPECT_EQ(Log(), std::vector<std::string>{" > ERROR：補正後ファイル出力失敗"});
    EXPECT_EQ(ReadBytes(Path("1234L27B.SIG")), kInput);
    EXPECT_FALSE(FileExists(Path("1234H18B.SIG")));

    // Without deletion nothing is read back: the input stays anyway.
    BatchFileActions keeping({Path("1234L27B.SIG")}, {.deleteInputs = false});
    Converted(Path("1234H18B.SIG"), true, Path("1234L27B.SIG"));
    converted.writtenHash ^= 1;
    EXPECT_TRUE(Apply(keeping, 0, ConvertResult::Converted).stored);
}

TEST_F(BatchActionsTest, DeletionOffKeepsTheInput) {
    WriteBytes(Path("in.SIG"), kInput);
    BatchFileActions actions({Path("in.SIG")}, {.deleteInputs = false});
    Converted(Path("out.SIG"), true, Path("in.SIG"));
    EXPECT_EQ(Apply(actions, 0, ConvertResult::Converted).statusLines,
              std::vector<std::string>{"補正後ファイル名  out.SIG"});
    EXPECT_EQ(ReadBytes(Path("in.SIG")), kInput);
    EXPECT_EQ(ReadBytes(Path("out.SIG")), kCorrected);
}

TEST_F(BatchActionsTest, NoRolloverRolloverPointAndFailures) {
    WriteBytes(Path("in.SIG"), kInput);
    BatchFileActions actions({Path("in.SIG")}, {.deleteInputs = true});
    Converted(Path("out.SIG"), false, Path("in.SIG"));
    EXPECT_EQ(Apply(actions, 0, ConvertResult::Converted).statusLines,
              std::vector<std::string>{"ロールオーバー未検出"});
    EXPECT_EQ(Log(), std::vector<std::string>{" > ロールオーバー未検出"});
    EXPECT_FALSE(FileExists(Path("out.SIG")));

    WriteBytes(request.workFile, kCorrected);  // a leftover is cleared whatever the result
    EXPECT_EQ(Apply(actions, 0, ConvertResult::RolloverPoint).statusLines,
              std::vector<std::string>{"ロールオーバー対策対象外"});
    EXPECT_EQ(Log(),
              std::vector<std::string>{" > ロールオーバーポイントのSIGファイルのため対策外"});
    EXPECT_FALSE(FileExists(request.workFile));

    for (ConvertResult result : {ConvertResult::InputMissing, ConvertResult::Failed}) {
        Converted(Path("out.SIG"), true, Path("in.SIG"));
        converted.problem = Problem(Problem::Kind::CannotRead, {}, EIO);
        const FileOutcome outcome = Apply(actions, 0, result);
        EXPECT_TRUE(outcome.statusLines.empty());
        EXPECT_FALSE(outcome.stored);
        EXPECT_EQ(ReasonText(outcome.problem), "cannot read: input/output error");
        EXPECT_TRUE(Log().empty());
        EXPECT_FALSE(FileExists(request.workFile));
        EXPECT_FALSE(FileExists(Path("out.SIG")));
    }
    EXPECT_EQ(ReadBytes(Path("in.SIG")), kInput);
}

TEST_F(BatchActionsTest, MoveFailureKeepsTheInput) {
    WriteBytes(Path("in.SIG"), kInput);
    std::filesystem::create_directory(Path("out.SIG"));
    BatchFileActions actions({Path("in.SIG")}, {.deleteInputs = true});
    const std::pair<std::string, std::string> cases[] = {
        {std::string(), "corrected, but no position record to name the file after"},
        {Path("out.SIG"), "cannot store as out.SIG: it is a folder"},
    };
    for (const auto& [output, reason] : cases) {
        Converted(output, true, Path("in.SIG"));
        const FileOutcome outcome = Apply(actions, 0, ConvertResult::Converted);
        EXPECT_EQ(outcome.statusLines, std::vector<std::string>{"変換失敗"});
        EXPECT_FALSE(outcome.stored);
        EXPECT_FALSE(outcome.inputDeleted);
        EXPECT_EQ(ReasonText(outcome.problem), reason);
        EXPECT_EQ(Log(), std::vector<std::string>{" > ERROR：補正後ファイル出力失敗"});
        EXPECT_EQ(ReadBytes(Path("in.SIG")), kInput);
        EXPECT_FALSE(FileExists(request.workFile));
    }
}

// A file under the output name may be the corrected file of an input an
// earlier run deleted: it is never replaced by other bytes. The same bytes
// count as stored (a run cut short before it deleted the input).
TEST_F(BatchActionsTest, AnotherFileIsKeptUnlessItHoldsTheSameCorrectedFile) {
    WriteBytes(Path("in.SIG"), kInput);
    WriteBytes(Path("out.SIG"), Bytes{7, 7});
    BatchFileActions actions({Path("in.SIG")}, {.deleteInputs = true});
    Converted(Path("out.SIG"), true, Path("in.SIG"));
    const FileOutcome refused = Apply(actions, 0, ConvertResult::Converted);
    EXPECT_EQ(refused.statusLines, std::vector<std::string>{"変換失敗"});
    EXPECT_EQ(ReasonText(refused.problem), "output name taken by another file: out.SIG");
    EXPECT_EQ(Log(), std::vector<std::string>{" > ERROR：補正後ファイル出力失敗"});
    EXPECT_EQ(ReadBytes(Path("out.SIG")), (Bytes{7, 7}));
    EXPECT_EQ(ReadBytes(Path("in.SIG")), kInput);

    WriteBytes(Path("out.SIG"), kCorrected);
    Converted(Path("out.SIG"), true, Path("in.SIG"));
    const FileOutcome stored = Apply(actions, 0, ConvertResult::Converted);
    EXPECT_TRUE(stored.stored && stored.inputDeleted);
    EXPECT_EQ(stored.statusLines, (std::vector<std::string>{"補正後ファイル名  out.SIG",
                                                            "入力SIG,RMGファイル削除(in.SIG)"}));
    EXPECT_EQ(ReadBytes(Path("out.SIG")), kCorrected);
    EXPECT_FALSE(FileExists(Path("in.SIG")));
    EXPECT_FALSE(FileExists(request.workFile));
}

// Another run of the user's stores the same corrected bytes under the
// name between this run's look and its rename: the name holds this very
// file, and it counts as stored ("already stored"), not as taken.
TEST_F(BatchActionsTest, TheSameBytesStoredAMomentAgoCountAsStored) {
    class OtherRunStoresTheSame final : public ForwardingLayer {
      public:
        explicit OtherRunStoresTheSame(std::string target)
            : ForwardingLayer(native::CurrentLayer()), target_(std::move(target)) {}
        bool SyncFile(native::Handle file) override {  // the flush before the rename
            if (!std::filesystem::exists(target_))
                WriteBytes(target_, kCorrected);
            return next_.SyncFile(file);
        }

      private:
        std::string target_;
    } other(Path("out.SIG"));
    WriteBytes(Path("in.SIG"), kInput);
    BatchFileActions actions({Path("in.SIG")}, {.deleteInputs = true});
    Converted(Path("out.SIG"), true, Path("in.SIG"));
    FileOutcome outcome;
    {
        const LayerInPlace inPlace(other);
        outcome = Apply(actions, 0, ConvertResult::Converted);
    }
    EXPECT_EQ(ReasonText(outcome.problem), "");
    EXPECT_TRUE(outcome.stored && outcome.alreadyStored && outcome.inputDeleted);
    EXPECT_EQ(ReadBytes(Path("out.SIG")), kCorrected);
    EXPECT_FALSE(FileExists(request.workFile));
}

TEST_F(BatchActionsTest, NeverReplacesAFileOfThisBatch) {
    WriteBytes(Path("a.RMG"), kInput);
    WriteBytes(Path("b.RMG"), kInput);
    WriteBytes(Path("c.RMG"), kInput);
    BatchFileActions actions({Path("a.RMG"), Path("b.RMG"), Path("c.RMG")}, {.deleteInputs = true});

    // The first output takes the name of the third input, still waiting.
    Converted(Path("c.RMG"), true, Path("a.RMG"));
    const FileOutcome first = Apply(actions, 0, ConvertResult::Converted);
    EXPECT_EQ(first.statusLines, std::vector<std::string>{"変換失敗"});
    EXPECT_EQ(ReasonText(first.problem), "output name taken by another input of this run: c.RMG");
    EXPECT_EQ(ReadBytes(Path("c.RMG")), kInput);
    EXPECT_TRUE(FileExists(Path("a.RMG")));

    // Two inputs whose outputs fall on one name: the second is refused.
    Converted(Path("out.RMG"), true, Path("b.RMG"));
    const FileOutcome second = Apply(actions, 1, ConvertResult::Converted);
    EXPECT_EQ(second.statusLines.size(), 2u);
    EXPECT_TRUE(second.stored && second.inputDeleted);
    EXPECT_EQ(second.outputPath, Path("out.RMG"));
    EXPECT_EQ(ReasonText(second.problem), "");
    EXPECT_FALSE(FileExists(Path("b.RMG")));
    Converted(Path("out.RMG"), true, Path("c.RMG"));
    WriteBytes(request.workFile, Bytes{5});
    const FileOutcome third = Apply(actions, 2, ConvertResult::Converted);
    EXPECT_EQ(third.statusLines, std::vector<std::string>{"変換失敗"});
    EXPECT_EQ(ReasonText(third.problem),
              "output name taken by a file this run has written: out.RMG");
    EXPECT_EQ(ReadBytes(Path("out.RMG")), kCorrected);
    EXPECT_EQ(ReadBytes(Path("c.RMG")), kInput);
}

TEST_F(BatchActionsTest, InputThatIsTheOutputIsReplacedOnlyWhenDeletedAndReadBackRight) {
    // The input already carries its corrected file's name.
    WriteBytes(Path("1234H18B.SIG"), kInput);
    BatchFileActions kept({Path("1234H18B.SIG")}, {.deleteInputs = false});
    Converted(Path("1234H18B.SIG"), true, Path("1234H18B.SIG"));
    FileOutcome outcome = Apply(kept, 0, ConvertResult::Converted);
    EXPECT_EQ(outcome.outcome, Outcome::NotStored);
    EXPECT_EQ(ReasonText(outcome.problem), "it would replace its input, which is kept");
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kInput);

    // Deleted, but the work file reads back different: the input stays.
    BatchFileActions deleting({Path("1234H18B.SIG")}, {.deleteInputs = true});
    Converted(Path("1234H18B.SIG"), true, Path("1234H18B.SIG"));
    converted.writtenHash ^= 1;
    outcome = Apply(deleting, 0, ConvertResult::Converted);
    EXPECT_EQ(ReasonText(outcome.problem), "the stored file reads back different");
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kInput);

    // Deleted, but the work file cannot be read back: the input stays, and
    // the reason says why (not that it read back different).
    class NoReadBack final : public ForwardingLayer {
      public:
        NoReadBack() : ForwardingLayer(native::CurrentLayer()) {}
        native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                              unsigned permissions) override {
            if (how != native::OpenAs::ReadingFromDisk)
                return next_.OpenAt(folder, name, how, permissions);
            errno = EACCES;
            return native::kNoFile;
        }
    } noReadBack;
    Converted(Path("1234H18B.SIG"), true, Path("1234H18B.SIG"));
    {
        const LayerInPlace inPlace(noReadBack);
        outcome = Apply(deleting, 0, ConvertResult::Converted);
    }
    EXPECT_EQ(ReasonText(outcome.problem), "cannot read back 1234H18B.SIG: permission denied");
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kInput);

    Converted(Path("1234H18B.SIG"), true, Path("1234H18B.SIG"));
    outcome = Apply(deleting, 0, ConvertResult::Converted);
    EXPECT_EQ(outcome.statusLines, std::vector<std::string>{"補正後ファイル名  1234H18B.SIG"});
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kCorrected);
}

TEST_F(BatchActionsTest, InputThatIsTheOutputIsNotDeleted) {
    // Same name apart from letter case: on Windows the input itself, which
    // the move replaces; on Linux another file, which is kept.
    WriteBytes(Path("1234H18B.SIG"), kInput);
    BatchFileActions byName({Path("1234h18b.sig")}, {.deleteInputs = true});
    Converted(Path("1234H18B.SIG"), true, Path("1234h18b.sig"));
    const FileOutcome outcome = Apply(byName, 0, ConvertResult::Converted);
#ifdef _WIN32
    EXPECT_EQ(outcome.statusLines, std::vector<std::string>{"補正後ファイル名  1234H18B.SIG"});
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kCorrected);
#else
    EXPECT_EQ(ReasonText(outcome.problem), "output name taken by another file: 1234H18B.SIG");
    EXPECT_EQ(ReadBytes(Path("1234H18B.SIG")), kInput);
#endif

#ifndef _WIN32  // a symbolic link needs privileges on Windows
    // Another name for the same file.
    WriteBytes(Path("same.SIG"), kInput);
    std::filesystem::create_symlink(Path("same.SIG"), Path("link.SIG"));
    BatchFileActions byIdentity({Path("link.SIG")}, {.deleteInputs = true});
    Converted(Path("same.SIG"), true, Path("link.SIG"));
    EXPECT_EQ(Apply(byIdentity, 0, ConvertResult::Converted).statusLines,
              std::vector<std::string>{"補正後ファイル名  same.SIG"});
    EXPECT_EQ(ReadBytes(Path("same.SIG")), kCorrected);
#endif
}

TEST_F(BatchActionsTest, FailedDeletionIsReportedAsFailed) {
#ifdef _WIN32
    // Windows refuses to delete a read-only file.
    const std::string input = "version";  // in the test's folder
    WriteBytes(input, kInput);
    std::filesystem::permissions(input, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
#else
    // A file on a read-only file system cannot be deleted, not even by root.
    const std::string input = "/proc/version";
#endif
    ASSERT_TRUE(FileExists(input));
    BatchFileActions actions({input}, {.deleteInputs = true});
    Converted(Path("out.SIG"), true, input);
    const FileOutcome outcome = Apply(actions, 0, ConvertResult::Converted);
    // Counted failed: a script must not take the input for gone.
    EXPECT_EQ(outcome.outcome, Outcome::InputNotDeleted);
    EXPECT_FALSE(Describe(outcome.outcome).ok);
    EXPECT_EQ(outcome.statusLines,
              (std::vector<std::string>{"補正後ファイル名  out.SIG",
                                        "入力SIG,RMGファイル削除失敗(version)"}));
    EXPECT_TRUE(outcome.stored);
    EXPECT_FALSE(outcome.inputDeleted);
    EXPECT_EQ(ReasonText(outcome.problem).rfind("cannot delete the input: ", 0), 0u)
        << ReasonText(outcome.problem);
    EXPECT_EQ(Log().back(), " > ERROR：入力ファイル削除失敗" + input);
#ifdef _WIN32
    std::filesystem::permissions(input, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
#endif
}

}  // namespace
}  // namespace quenrix::test
