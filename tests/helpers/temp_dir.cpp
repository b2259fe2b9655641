#include "tests/helpers/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/pipeline.h"
#include "support/cp932.h"
#include "support/fd_io.h"
#include "support/native.h"

namespace quenrix::test {
namespace {

// A new, empty folder in the system's temporary folder, its name `prefix`
// and a random part; as UTF-8, the way the program takes paths.
std::string MakeTemporaryFolder(const std::string& prefix) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        const std::filesystem::path folder = base / UniqueName(prefix, "");
        if (std::filesystem::create_directory(folder, error)) {
            const std::u8string name = folder.u8string();
            return std::string(name.begin(), name.end());
        }
    }
    return {};
}

}  // namespace

void TempDirTest::SetUp() {
    previousDir_ = std::filesystem::current_path();
    dir_ = MakeTemporaryFolder("quenrix-test-");
    ASSERT_FALSE(dir_.empty());
    std::filesystem::current_path(dir_);
    opLog.MoveTo(LogPath());
    request = ConversionRequest{};
    request.log = &opLog;
    converted = Conversion{};
    clockInPlace_.emplace(clock_);
    SetNow(2013, 10, 1, 10, 0, 0);
}

void TempDirTest::TearDown() {
    std::error_code ignored;
    std::filesystem::current_path(previousDir_, ignored);
    EXPECT_FALSE(ignored) << ignored.message();
    opLog.MoveTo({});
    std::filesystem::remove_all(dir_, ignored);
    clockInPlace_.reset();
}

ConvertResult TempDirTest::Convert(const std::string& input) {
    request.input = input;
    converted = Conversion{};  // the last file's work file let go, as a batch lets it go
    converted = ConvertGpsFile(request);
    return converted.result;
}

bool TempDirTest::Scan(bool (*converter)(const ConversionRequest&, Conversion&, InputFile&),
                       const std::string& input, const std::string& work) {
    ConversionRequest scan = request;
    scan.input = input;
    if (!work.empty())
        scan.workFile = work;
    Conversion fresh;
    fresh.kind = converted.kind;
    fresh.receiverType = converted.receiverType;
    converted = fresh;
    InputFile in;  // opened by the converter, as where no check opened it
    return converter(scan, converted, in);
}

std::string TempDirTest::Path(const std::string& name) const {
    std::string path = dir_ + kSeparator + name;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(dir_.size()), path.end(), '/',
                 kSeparator);
    return path;
}

void TempDirTest::SetNow(int year, int month, int day, int hour, int minute, int second) {
    clock_.now = LocalDateTime{year, month, day, hour, minute, second};
}

std::string TempDirTest::LogBytes() const {
    std::ifstream in(LogPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> TempDirTest::LogMessagesOf(const std::string& path) {
    std::vector<std::string> messages;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        // "yyyy/mm/dd hh:nn:ss - " is 22 bytes.
        messages.push_back(Cp932ToUtf8(line.size() >= 22 ? line.substr(22) : line));
        start = end + 2;
    }
    return messages;
}

}  // namespace quenrix::test
