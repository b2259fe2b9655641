// The system's calls as the rest of the program relies on them, on Linux
// and on Windows alike.
#include "support/native.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "support/failure.h"
#include "support/folder.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

class NativeTest : public TempDirTest {
  protected:
    // Where AnOpenedFolderIsWhereItsCallsAct's folder is now: renamed away
    // on Linux, where it was on Windows.
    std::string PathInOpened(const std::string& name) {
#ifdef _WIN32
        return Path("share/sub/" + name);
#else
        return Path("share/away/" + name);
#endif
    }
};

#ifdef _WIN32
// Another program (quenrix-hold-file, beside this suite) opens `path`
// without sharing it for `milliseconds`; returns once it holds it.
HANDLE HoldElsewhere(const std::string& path, int milliseconds) {
    const std::string helper =
        fs::path(native::ExecutablePath()).parent_path().string() + "\\quenrix-hold-file.exe";
    std::wstring command = L"\"" + fs::path(helper).wstring() + L"\" \"" +
                           fs::path(path).wstring() + L"\" " + std::to_wstring(milliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    for (int i = 0; i < 500 && !fs::exists(path + ".held"); ++i) Sleep(10);
    return process.hProcess;
}

// An indexer or virus scanner holds a new file for a moment: a delete or
// rename goes through once it lets go; one held past about two seconds
// fails and says so.
TEST_F(NativeTest, ARenameOrDeleteWaitsForAMomentaryHolder) {
    const auto opened = native::OpenFolder(Dir());
    ASSERT_TRUE(opened);
    const native::Handle folder = opened.value;
    auto entry = [&](const std::string& name) {
        native::EntryInfo info;
        EXPECT_EQ(native::InspectAt(folder, name, info).value, native::Lookup::Found);
        return info;
    };
    WriteBytes(Path("a.SIG"), Bytes{1});
    HANDLE holder = HoldElsewhere(Path("a.SIG"), 400);
    ASSERT_NE(holder, nullptr) << "quenrix-hold-file did not start";
    ASSERT_TRUE(fs::exists(Path("a.SIG.held")));
    EXPECT_TRUE(native::RenameAt(folder, "a.SIG", folder, "b.SIG", false));
    EXPECT_TRUE(fs::exists(Path("b.SIG")));
    WaitForSingleObject(holder, 5000);
    CloseHandle(holder);
    fs::remove(Path("a.SIG.held"));

    holder = HoldElsewhere(Path("b.SIG"), 400);
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(native::RemoveAt(folder, "b.SIG", entry("b.SIG")));
    EXPECT_FALSE(fs::exists(Path("b.SIG")));
    WaitForSingleObject(holder, 5000);
    CloseHandle(holder);

    WriteBytes(Path("c.SIG"), Bytes{1});
    holder = HoldElsewhere(Path("c.SIG"), 3500);
    ASSERT_NE(holder, nullptr);
    const DWORD started = GetTickCount();
    const native::Done removed = native::RemoveAt(folder, "c.SIG", entry("c.SIG"));
    EXPECT_FALSE(removed);
    EXPECT_EQ(FailureText(removed.cause),
              "in use by another program (still after waiting 2 seconds)");
    const DWORD waited = GetTickCount() - started;
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 5000u);
    EXPECT_TRUE(fs::exists(Path("c.SIG")));
    WaitForSingleObject(holder, 10000);
    CloseHandle(holder);
    ASSERT_TRUE(native::CloseFile(folder));
}
#endif

TEST_F(NativeTest, InspectTellsFilesFoldersAndMissingEntries) {
    WriteBytes(Path("file"), Bytes(1234, 7));
    fs::create_directory(Path("folder"));
    native::EntryInfo file, folder, again;
    ASSERT_EQ(native::Inspect(Path("file"), file).value, native::Lookup::Found);
    EXPECT_TRUE(file.regular);
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(file.size, 1234u);
    ASSERT_EQ(native::Inspect(Path("folder"), folder).value, native::Lookup::Found);
    EXPECT_TRUE(folder.folder);
    EXPECT_FALSE(folder.regular);
    EXPECT_NE(file.fileIndex, folder.fileIndex);
    EXPECT_EQ(native::Inspect(Path("missing"), again).value, native::Lookup::Missing);
    EXPECT_EQ(native::Inspect(Path("missing/file"), again).value, native::Lookup::Missing);

    // An open file tells the same as its path, and a write shows.
    const native::Handle handle = native::OpenForAppending(Path("file")).value;
    ASSERT_NE(handle, native::kNoFile);
    ASSERT_TRUE(native::InspectOpen(handle, again));
    EXPECT_EQ(again, file);
    ASSERT_EQ(native::WriteSome(handle, "x", 1).value, 1);
    ASSERT_TRUE(native::InspectOpen(handle, again));
    EXPECT_EQ(again.size, 1235u);
    EXPECT_TRUE(native::CloseFile(handle));
}

TEST_F(NativeTest, FilesAreBinaryAndCanBeCutBack) {
    const std::string bytes = "a\r\nb\nc\x1a";  // line ends and the old end-of-file mark
    const native::Handle out = native::CreateForWriting(Path("f")).value;
    ASSERT_NE(out, native::kNoFile);
    ASSERT_EQ(native::WriteSome(out, bytes.data(), bytes.size()).value,
              static_cast<std::int64_t>(bytes.size()));
    ASSERT_TRUE(native::SyncFile(out));
    ASSERT_TRUE(native::TruncateFile(out, 4));
    ASSERT_TRUE(native::CloseFile(out));
    EXPECT_EQ(ReadBytes(Path("f")), (Bytes{'a', '\r', '\n', 'b'}));
    const native::Handle in = native::OpenForReading(Path("f")).value;
    char buffer[16];
    EXPECT_EQ(native::ReadSome(in, buffer, sizeof buffer).value, 4);
    EXPECT_EQ(native::ReadSome(in, buffer, sizeof buffer).value, 0);
    (void)native::CloseFile(in);
    EXPECT_EQ(native::OpenForReading(Path("missing")).value, native::kNoFile);
}

TEST_F(NativeTest, BytesAtHandAreReadWithoutWaiting) {
    WriteBytes(Path("f"), Bytes{1, 2, 3});  // just written: in memory
    const native::Handle in = native::OpenForReading(Path("f")).value;
    ASSERT_NE(in, native::kNoFile);
    char buffer[16];
#ifdef _WIN32
    // The system cannot tell: the caller reads as usual.
    EXPECT_EQ(native::ReadSomeAtHand(in, buffer, sizeof buffer).value, std::nullopt);
    EXPECT_EQ(native::ReadSome(in, buffer, sizeof buffer).value, 3);
#else
    EXPECT_EQ(native::ReadSomeAtHand(in, buffer, 2).value, 2);
    EXPECT_EQ(native::ReadSome(in, buffer + 2, sizeof buffer).value, 1);  // from where it stopped
    EXPECT_EQ(native::ReadSomeAtHand(in, buffer, sizeof buffer).value, 0);
    EXPECT_EQ(buffer[2], 3);
#endif
    (void)native::CloseFile(in);
}

TEST_F(NativeTest, ReservedSpaceLeavesSizeAndBytesToTheWrite) {
    const native::Handle out = native::CreateForWriting(Path("f")).value;
    ASSERT_NE(out, native::kNoFile);
    (void)native::ReserveSpace(out, 1 << 20);
    ASSERT_EQ(native::WriteSome(out, "0123456789", 10).value, 10);
    ASSERT_TRUE(native::CloseFile(out));
    EXPECT_EQ(ReadBytes(Path("f")), (Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
}

TEST_F(NativeTest, RenameReplacesAnExistingFileAndFoldersSync) {
    WriteBytes(Path("a"), Bytes{1});
    WriteBytes(Path("b"), Bytes{2});
    ASSERT_TRUE(native::RenameReplacing(Path("a"), Path("b")));
    EXPECT_EQ(ReadBytes(Path("b")), Bytes{1});
    native::EntryInfo info;
    EXPECT_EQ(native::Inspect(Path("a"), info).value, native::Lookup::Missing);
    EXPECT_TRUE(native::SyncFolder(Path("")));
    EXPECT_FALSE(native::SyncFolder(Path("missing")));
    EXPECT_FALSE(native::RenameReplacing(Path("missing"), Path("b")));
    EXPECT_TRUE(native::RemoveFile(Path("b")));
    EXPECT_TRUE(native::RemoveFile(Path("b")));  // gone already
}

TEST_F(NativeTest, FolderEntriesAndTheirRemoval) {
    fs::create_directories(Path("top/sub"));
    WriteBytes(Path("top/.hidden"), Bytes{1});
    WriteBytes(Path("top/file.SIG"), Bytes{2});
#ifndef _WIN32
    fs::create_directory_symlink(Path("top/sub"), Path("top/link"));
#endif
    std::map<std::string, std::pair<bool, bool>> seen;  // name: folder, link
    ASSERT_TRUE(native::ForEachEntry(Path("top"), [&](const native::FolderEntry& entry) {
        seen[entry.name] = {entry.folder, entry.link};
    }));
    std::map<std::string, std::pair<bool, bool>> expected = {
        {".hidden", {false, false}}, {"file.SIG", {false, false}}, {"sub", {true, false}}};
#ifndef _WIN32
    expected["link"] = {true, true};
#endif
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(native::ForEachEntry(Path("missing"), [](const native::FolderEntry&) {}));

    fs::remove(Path("top/sub"));
#ifndef _WIN32
    fs::remove(Path("top/link"));
#endif
}

// A folder opened once is where every call through it acts, whatever
// takes its name later (Linux: it follows the folder; Windows: nobody can
// rename it while it is open); a file goes only while it is still the
// one that was read.
TEST_F(NativeTest, AnOpenedFolderIsWhereItsCallsAct) {
    fs::create_directories(Path("share/sub"));
    fs::create_directories(Path("other"));
    WriteBytes(Path("share/sub/a.SIG"), Bytes{1, 2});
    WriteBytes(Path("other/a.SIG"), Bytes{9});
    const auto opened = native::OpenFolder(Path("share/sub"));
    ASSERT_TRUE(opened) << FailureText(opened.cause);
    const native::Handle folder = opened.value;
    native::EntryInfo read;
    ASSERT_EQ(native::InspectAt(folder, "a.SIG", read).value, native::Lookup::Found);
#ifdef _WIN32
    std::error_code error;
    fs::rename(Path("share/sub"), Path("share/away"), error);
    EXPECT_TRUE(error) << "a folder held open was renamed";
#else
    // Another user renames the folder away and puts a link to another
    // user's folder in its place.
    fs::rename(Path("share/sub"), Path("share/away"));
    fs::create_directory_symlink(Path("other"), Path("share/sub"));
#endif
    const auto file = native::OpenAt(folder, "a.SIG", native::OpenAs::Reading);
    ASSERT_TRUE(file);
    char byte = 0;
    EXPECT_EQ(native::ReadSome(file.value, &byte, 1).value, 1);
    EXPECT_EQ(byte, 1);
    ASSERT_TRUE(native::CloseFile(file.value));

    // Appended to since it was read: it stays.
    {
        std::FILE* append = std::fopen(PathInOpened("a.SIG").c_str(), "ab");
        ASSERT_NE(append, nullptr);
        std::fputc(3, append);
        std::fclose(append);
    }
    const native::Done refused = native::RemoveAt(folder, "a.SIG", read);
    EXPECT_EQ(refused.cause, kChangedSinceRead);
    ASSERT_EQ(native::InspectAt(folder, "a.SIG", read).value, native::Lookup::Found);
    EXPECT_TRUE(native::RemoveAt(folder, "a.SIG", read));
    EXPECT_EQ(native::InspectAt(folder, "a.SIG", read).value, native::Lookup::Missing);
    EXPECT_EQ(ReadBytes(Path("other/a.SIG")), Bytes{9});  // the other user's file stays

    // Made, renamed and flushed in the folder that was opened.
    const auto made = native::OpenAt(folder, "w.tmp", native::OpenAs::NewFile);
    ASSERT_TRUE(made);
    ASSERT_TRUE(native::CloseFile(made.value));
    EXPECT_EQ(native::OpenAt(folder, "w.tmp", native::OpenAs::NewFile).cause, EEXIST);
    WriteBytes(PathInOpened("taken.SIG"), Bytes{5});
    EXPECT_EQ(native::RenameAt(folder, "w.tmp", folder, "taken.SIG", false).cause, EEXIST);
    EXPECT_TRUE(native::RenameAt(folder, "w.tmp", folder, "b.SIG", false));
    EXPECT_TRUE(native::SyncOpenFolder(folder));
    EXPECT_TRUE(fs::exists(PathInOpened("b.SIG")));
    EXPECT_FALSE(fs::exists(Path("other/b.SIG")));

    // The file read is replaced; a newcomer under its name is not.
    WriteBytes(PathInOpened("c.SIG"), Bytes{7});
    ASSERT_EQ(native::InspectAt(folder, "c.SIG", read).value, native::Lookup::Found);
    fs::rename(PathInOpened("c.SIG"), PathInOpened("c-moved.SIG"));
    WriteBytes(PathInOpened("c.SIG"), Bytes{8});  // a new recording under that name
    EXPECT_EQ(native::ReplaceAt(folder, "b.SIG", folder, "c.SIG", read).cause, kChangedSinceRead);
    EXPECT_EQ(ReadBytes(PathInOpened("c.SIG")), Bytes{8});
    EXPECT_TRUE(fs::exists(PathInOpened("b.SIG")));
    ASSERT_EQ(native::InspectAt(folder, "c.SIG", read).value, native::Lookup::Found);
    EXPECT_TRUE(native::ReplaceAt(folder, "b.SIG", folder, "c.SIG", read));
    EXPECT_EQ(ReadBytes(PathInOpened("c.SIG")), Bytes{});
    EXPECT_FALSE(fs::exists(PathInOpened("b.SIG")));
    std::size_t left = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(PathInOpened(""))) ++left;
    EXPECT_EQ(left, 3u);  // a.SIG gone; c-moved, c and taken stay, nothing aside
    ASSERT_TRUE(native::CloseFile(folder));
}

#ifndef _WIN32  // a link to a folder needs privileges on Windows
// A folder named through a link when the run begins is the folder it
// leads to then; one renamed away and replaced (by a link elsewhere, or
// another folder) later is refused, also where it was opened before and
// let go.
TEST_F(NativeTest, FoldersAreTheOnesTheRunBeganWith) {
    fs::create_directories(Path("real"));
    fs::create_directories(Path("other"));
    fs::create_directory_symlink(Path("real"), Path("link"));
    Folders folders;
    folders.Expect(Path("link"));
    folders.Expect(Path("kept"));  // not there yet: taken as it is first opened
    EXPECT_TRUE(folders.Of(Path("link")));
    fs::create_directories(Path("kept"));
    EXPECT_TRUE(folders.Of(Path("kept")));
    Folders later;
    later.Expect(Path("link"));
    fs::remove(Path("link"));
    fs::create_directory_symlink(Path("other"), Path("link"));
    EXPECT_EQ(later.Of(Path("link")).cause, kFolderReplaced);
}
#endif

// The languages in gettext's order: LANGUAGE's list first, then LC_ALL,
// LC_MESSAGES and LANG; empty settings say nothing. Windows's comes from
// the display language (its window test).
#ifndef _WIN32
TEST(UserLanguagesTest, InGettextsOrder) {
    std::map<std::string, std::optional<std::string>> kept;
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        kept[variable] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    ::setenv("LANGUAGE", "fr::ja", 1);
    ::setenv("LC_ALL", "", 1);
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    const std::vector<std::string> languages = native::UserLanguages();
    for (const auto& [variable, value] : kept) {
        if (value)
            ::setenv(variable.c_str(), value->c_str(), 1);
        else
            ::unsetenv(variable.c_str());
    }
    EXPECT_EQ(languages, (std::vector<std::string>{"fr", "ja", "de_DE.UTF-8"}));
}
#endif

TEST_F(NativeTest, LocalClockAgreesWithTheRuntimesLocalTime) {
    // Read between two readings of the runtime's clock: equal to one of them.
    const std::time_t before = std::time(nullptr);
    const LocalDateTime now = native::SystemLayer().LocalClockNow();  // not the test's fixed clock
    const std::time_t after = std::time(nullptr);
    auto same = [&now](std::time_t t) {
        const std::tm parts = *std::localtime(&t);
        return now.year == parts.tm_year + 1900 && now.month == parts.tm_mon + 1 &&
               now.day == parts.tm_mday && now.hour == parts.tm_hour &&
               now.minute == parts.tm_min && now.second == parts.tm_sec;
    };
    EXPECT_TRUE(same(before) || same(after))
        << now.year << "-" << now.month << "-" << now.day << " " << now.hour << ":" << now.minute
        << ":" << now.second;
}

// Names in any script and a tree deeper than Windows' old 260-character
// limit: every call reaches the file (UTF-8 paths, given to Windows as
// UTF-16 in the long form).
TEST_F(NativeTest, AnyNameAndAnyDepth) {
    std::string folder = Dir();
    while (folder.size() < 320) {
        folder += std::string(1, kSeparator) + "観測データ_2019年_受信機①②";
        const native::Done made = native::CreateFolder(folder);
        ASSERT_TRUE(made) << folder.size() << ": " << FailureText(made.cause);
    }
    const std::vector<std::string> names = {"café.SIG", "𠮷野.SIG", "観測.SIG", "①②.SIG"};
    for (const std::string& name : names) {
        const std::string path = folder + kSeparator + name;
        const auto created = native::CreateForWriting(path);
        ASSERT_TRUE(created) << name << ": " << FailureText(created.cause);
        const native::Handle file = created.value;
        EXPECT_EQ(native::WriteSome(file, name.data(), name.size()).value,
                  static_cast<std::int64_t>(name.size()));
        EXPECT_TRUE(native::SyncFile(file));
        EXPECT_TRUE(native::CloseFile(file));
    }
    std::vector<std::string> listed;
    ASSERT_TRUE(native::ForEachEntry(
        folder, [&](const native::FolderEntry& entry) { listed.push_back(entry.name); }));
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    for (const std::string& name : names) {
        const std::string path = folder + kSeparator + name;
        native::EntryInfo info;
        ASSERT_EQ(native::Inspect(path, info).value, native::Lookup::Found) << name;
        EXPECT_EQ(info.size, name.size());
        const native::Handle file = native::OpenForReading(path).value;
        ASSERT_NE(file, native::kNoFile) << name;
        std::string bytes(64, '\0');
        bytes.resize(
            static_cast<std::size_t>(native::ReadSome(file, bytes.data(), bytes.size()).value));
        (void)native::CloseFile(file);
        EXPECT_EQ(bytes, name);
        EXPECT_TRUE(native::RenameReplacing(path, path + ".old")) << name;
        EXPECT_TRUE(native::SyncFolder(folder));
        EXPECT_TRUE(native::RemoveFile(path + ".old")) << name;
        EXPECT_EQ(native::Inspect(path + ".old", info).value, native::Lookup::Missing) << name;
    }
}

TEST(NativeTextTest, ProgramPathAndProcess) {
    EXPECT_FALSE(native::ExecutablePath().empty());
    EXPECT_NE(native::ProcessId(), 0ul);
}

}  // namespace
}  // namespace quenrix::test
