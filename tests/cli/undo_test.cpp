// A manifest and undo over generated archives: whatever a recording holds
// (damaged records, bytes between records, a record cut short, times of
// one era, two eras or none, a file that crosses the rollover, names in
// any script), converting it with a manifest and undoing the manifest
// leaves every original byte for byte under its name.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cli/run.h"
#include "cli/stored_files.h"
#include "engine/manifest.h"
#include "support/sha256.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

// A GPS time of a kind a receiver stamps: rolled over by one era, by two,
// right as it is, or zero.
std::uint32_t SomeTime(std::mt19937& random) {
    switch (random() % 5) {
        case 0:
            return Gps(1995, 1, 1) + random() % (16u * 365 * 86400);  // one era back
        case 1:
            return Gps(1980, 1, 7) + random() % (11u * 365 * 86400);  // two eras back
        case 2:
            return Gps(2014, 1, 1) + random() % (12u * 365 * 86400);  // right
        case 3:
            return 0;
        default:
            return Gps(2011, 1, 1) + random() % (4u * 365 * 86400);  // about the limits
    }
}

// One recording of `seed`: records of the file type's kinds, some damaged,
// some bytes between them, perhaps cut short at the end.
Bytes Recording(std::uint32_t seed, bool sig) {
    std::mt19937 random(seed);
    Bytes file;
    const int records = 1 + static_cast<int>(random() % 60);
    const bool junk = random() % 4 == 0, damaged = random() % 4 == 0;
    for (int i = 0; i < records; ++i) {
        const bool good = !(damaged && random() % 10 == 0);
        const std::uint32_t t = SomeTime(random), u = SomeTime(random);
        const auto fill = static_cast<std::uint8_t>(random());
        Bytes record;
        switch (random() % (sig ? 6 : 4)) {
            case 0:
                record = sig ? Record(0x50, 23, {{2, t}}, good, fill) : PositionMonitor(t, 0, good);
                break;
            case 1:
                record = sig ? Record(0x55, 29, {{3, t}, {7, u}}, good, fill)
                             : Section(0x91, static_cast<std::uint8_t>(random() % 13),
                                       random() % 13, t, good);
                break;
            case 2:
                record = Record(0x61, 74, {}, good, fill);
                break;
            case 3:
                record = sig ? Record(0x62, 26, {{14, t}}, good, fill)
                             : Section(0x81, static_cast<std::uint8_t>(random()), 0, t, good);
                break;
            case 4:
                record = Record(0x51, 124, {{2, t}}, good, fill);
                break;
            default:
                record = Record(0x52, 35, {}, good, fill);
                break;
        }
        file.insert(file.end(), record.begin(), record.end());
        if (junk && random() % 8 == 0)
            for (unsigned n = random() % 9; n > 0; --n)
                file.push_back(static_cast<std::uint8_t>(random()));
    }
    if (random() % 8 == 0 && file.size() > 5)
        file.resize(file.size() - 1 - random() % 4);
    return file;
}

std::string Sha256Of(const Bytes& bytes) {
    return Sha256::Of(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

class UndoTest : public TempDirTest {};

TEST_F(UndoTest, ConvertWithAManifestThenUndoGivesEveryOriginalBack) {
    constexpr std::uint32_t kSeeds = 2000;
    // A name of another encoding than UTF-8 (bytes no UTF-8 has) too.
    const std::vector<std::string> scripts = {"", "データ", "Ünïcödé ", "данные ", "\xff\xfe "};
    std::map<std::string, std::string> originals;  // path, SHA-256
    std::vector<std::string> files;
    for (std::uint32_t seed = 0; seed < kSeeds; ++seed) {
        const bool sig = seed % 2 == 0;
        char name[64];
        std::snprintf(name, sizeof name, "%04u%s", seed, sig ? "L27B.SIG" : "A01B.RMG");
        const std::string path = Path(scripts[seed % scripts.size()] + name);
        const Bytes bytes = Recording(seed, sig);
        WriteBytes(path, bytes);
        originals[path] = Sha256Of(bytes);
        files.push_back(path);
    }
    cli::Settings settings;
    settings.deleteInput = true;
    settings.manifest = Path("manifest.jsonl");
    settings.referenceDay = Gps(2011, 12, 10);
    settings.quiet = true;
    {
        cli::Run run(settings, files);
        run.ConvertAll();
        ASSERT_EQ(run.ManifestCause(), 0);
        ASSERT_EQ(run.Reports().size(), files.size());
    }
    const ManifestRead manifest = ReadManifest(settings.manifest);
    ASSERT_EQ(manifest.bad.size(), 0u);
    ASSERT_EQ(manifest.entries.size(), files.size());
    std::size_t gone = 0, moved = 0, twoEras = 0;
    for (const ManifestEntry& entry : manifest.entries) {
        EXPECT_EQ(entry.inputSha256, originals.at(entry.input)) << entry.input;
        gone += !fs::exists(FsPath(entry.input));
        moved += !entry.moved.empty();
        for (const MovedRange& range : entry.moved)
            twoEras += range.fields == 0 && range.steps == 2;
    }
    // The archive was really converted: inputs went, with all kinds of moves.
    EXPECT_GT(gone, kSeeds / 8);
    EXPECT_GT(moved, kSeeds / 2);
    EXPECT_GT(twoEras, 0u);

    cli::Settings undo;
    undo.manifest = settings.manifest;
    undo.deleteInput = true;
    undo.quiet = true;
    EXPECT_EQ(cli::Undo(undo), 0);
    for (const auto& [path, sha] : originals) EXPECT_EQ(Sha256OfFile(path), sha) << path;
    // Nothing but the originals, the corrected files of kept originals
    // and the manifest is left.
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(Dir())) left += entry.is_regular_file();
    std::size_t kept = 0;
    for (const ManifestEntry& entry : manifest.entries)
        kept += !entry.output.empty() && entry.inputSize != entry.outputSize;
    EXPECT_EQ(left, originals.size() + kept + 1);
}

// An input goes only once its way back is recorded: where the manifest
// takes no line, every input stays and the run says why.
TEST_F(UndoTest, NoInputGoesWithoutItsManifestLine) {
    const std::string input = Path("0001L27B.SIG");
    const Bytes bytes = Concat({Record(0x50, 23, {{2, Gps(1996, 5, 1)}}), Record(0x61, 74)});
    WriteBytes(input, bytes);
    cli::Settings settings;
    settings.deleteInput = true;
    settings.manifest = Path("no such folder/manifest.jsonl");
    settings.referenceDay = Gps(2011, 12, 10);
    settings.quiet = true;
    cli::Run run(settings, {input});
    run.ConvertAll();
    EXPECT_EQ(run.ManifestCause(), ENOENT);
    const std::vector<cli::FileReport> reports = run.Reports();
    ASSERT_EQ(reports.size(), 1u);
    const cli::FileReport& report = reports[0];
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.code, Outcome::InputNotDeleted);
    EXPECT_EQ(report.problem.kind, Problem::Kind::NotRecorded);
    EXPECT_EQ(ReadBytes(input), bytes);
}

}  // namespace
}  // namespace quenrix::test
