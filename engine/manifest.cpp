#include "engine/manifest.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <utility>

#include "engine/gps_time.h"
#include "support/binary_file.h"
#include "support/fd_io.h"
#include "support/folder.h"
#include "support/sha256.h"
#include "support/utf8.h"

namespace quenrix {
namespace {

using nlohmann::json;

std::string UtcNow() {
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto day = std::chrono::floor<std::chrono::days>(now);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

json MovedJson(const MovedRange& range) {
    json moved = {{"first", range.first}, {"last", range.last}};
    if (range.fields == 0) {
        moved["eras"] = range.steps;
    } else {
        json eras = json::array();
        for (unsigned i = 0; i < range.fields; ++i) eras.push_back((range.steps >> (2 * i)) & 3u);
        moved["eras"] = eras;
    }
    return moved;
}

MovedRange MovedOf(const json& moved) {
    MovedRange range;
    range.first = moved.at("first").get<std::uint64_t>();
    range.last = moved.at("last").get<std::uint64_t>();
    const json& eras = moved.at("eras");
    if (eras.is_array()) {
        if (eras.size() < 2 || eras.size() > 16)
            throw std::out_of_range("eras: 2 to 16 fields");
        range.fields = static_cast<unsigned>(eras.size());
        for (unsigned i = 0; i < range.fields; ++i) {
            const unsigned step = eras[i].get<unsigned>();
            if (step > 2)
                throw std::out_of_range("eras: 0, 1 or 2");
            range.steps |= step << (2 * i);
        }
    } else {
        range.steps = eras.get<unsigned>();
        if (range.steps < 1 || range.steps > 2)
            throw std::out_of_range("eras: 1 or 2");
    }
    return range;
}

bool IsUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
        n = utf8::WellFormedLength(p + at, text.size() - at);
        if (n == 0)
            return false;
    }
    return true;
}

// A path into the line: as text, and where it is no UTF-8 (a Linux name
// of another encoding) also its bytes in hex under KEY_bytes, which
// reading prefers: the name comes back byte for byte.
void PutPath(json& line, const std::string& key, const std::string& path) {
    line[key] = path;
    if (IsUtf8(path))
        return;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : path) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    line[key + "_bytes"] = hex;
}

std::string PathOf(const json& line, const std::string& key) {
    const auto bytes = line.find(key + "_bytes");
    if (bytes == line.end())
        return line.at(key).get<std::string>();
    const std::string hex = bytes->get<std::string>();
    const auto digit = [](char c) -> int {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string path;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0)
            throw std::invalid_argument(key + "_bytes: not hex digits");
        path += static_cast<char>(high * 16 + low);
    }
    if (hex.size() % 2 != 0)
        throw std::invalid_argument(key + "_bytes: not hex digits");
    return path;
}

// What is wrong with a line, in plain words.
std::string WhyNoEntry(const std::exception& error) {
    if (dynamic_cast<const json::parse_error*>(&error) != nullptr)
        return "not JSON";
    if (dynamic_cast<const json::out_of_range*>(&error) != nullptr ||
        dynamic_cast<const json::type_error*>(&error) != nullptr) {
        // "[json.exception.out_of_range.403] key 'input' not found"
        const std::string what = error.what();
        const std::size_t key = what.find("key '");
        if (key != std::string::npos)
            return "no " + what.substr(key + 4, what.find('\'', key + 5) - key - 3);
        return "a field of the wrong type or out of range";
    }
    return error.what();
}

std::string TextOr(const json& line, const char* key) {
    const auto found = line.find(key);
    return found != line.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string ReferenceDateText(std::uint32_t day) {
    const std::chrono::year_month_day date{std::chrono::sys_days{kFirstGpsDate} +
                                           std::chrono::days{day / kSecondsPerDay}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

std::optional<std::uint32_t> ReferenceDayOf(std::string_view date) {
    int year = 0;
    unsigned month = 0, day = 0;
    const std::string text(date);
    char end = 0;
    if (text.size() != 10 ||
        std::sscanf(text.c_str(), "%4d-%2u-%2u%c", &year, &month, &day, &end) != 3)
        return std::nullopt;
    return GpsSecondsOfDate(std::chrono::year{year} / std::chrono::month{month} /
                            std::chrono::day{day});
}

ManifestEntry ManifestEntryOf(const std::string& input, const Conversion& conversion,
                              Outcome outcome, const std::string& output, std::string program) {
    ManifestEntry entry;
    entry.input = input;
    entry.inputSize = conversion.counts.inputBytes;
    entry.inputSha256 = conversion.inputSha256;
    if (!output.empty()) {
        entry.output = output;
        entry.outputSize = conversion.counts.outputBytes;
        entry.outputSha256 = conversion.outputSha256;
    }
    entry.outcome = Describe(outcome).word;
    entry.kind = conversion.kind == FileKind::Other ? "" : KindName(conversion.kind);
    entry.moved = conversion.moves.Ranges();
    entry.referenceDay = conversion.referenceDay;
    entry.receiverType = conversion.receiverType;
    entry.program = std::move(program);
    entry.time = UtcNow();
    return entry;
}

std::string ManifestLine(const ManifestEntry& entry) {
    json line = json::object();
    PutPath(line, "input", entry.input);
    line["input_size"] = entry.inputSize;
    line["input_sha256"] = entry.inputSha256.empty() ? json() : json(entry.inputSha256);
    if (entry.output.empty()) {
        line["output"] = nullptr;
    } else {
        PutPath(line, "output", entry.output);
        line["output_size"] = entry.outputSize;
        line["output_sha256"] = entry.outputSha256;
    }
    line["outcome"] = entry.outcome;
    line["kind"] = entry.kind.empty() ? json() : json(entry.kind);
    json moved = json::array();
    for (const MovedRange& range : entry.moved) moved.push_back(MovedJson(range));
    line["moved"] = std::move(moved);
    line["reference_date"] =
        entry.referenceDay ? json(ReferenceDateText(*entry.referenceDay)) : json();
    line["receiver_type"] = entry.receiverType;
    line["program"] = entry.program;
    line["time"] = entry.time;
    // A name that is no UTF-8 shows U+FFFD in its text for the bytes that
    // are none; its bytes are whole in its "_bytes" field.
    return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<ManifestEntry> ParseManifestLine(std::string_view text, std::string& why) {
    try {
        const json line = json::parse(text);
        ManifestEntry entry;
        entry.input = PathOf(line, "input");
        entry.inputSize = line.at("input_size").get<std::uint64_t>();
        entry.inputSha256 = TextOr(line, "input_sha256");
        if (!line.at("output").is_null()) {
            entry.output = PathOf(line, "output");
            entry.outputSize = line.at("output_size").get<std::uint64_t>();
            entry.outputSha256 = line.at("output_sha256").get<std::string>();
        }
        entry.outcome = line.at("outcome").get<std::string>();
        entry.kind = TextOr(line, "kind");
        std::vector<MovedRange> ranges;
        for (const json& moved : line.at("moved")) ranges.push_back(MovedOf(moved));
        if (!RecordMoves::FromRanges(ranges)) {
            why = "moved: ranges out of order or overlapping";
            return std::nullopt;
        }
        entry.moved = std::move(ranges);
        const std::string date = TextOr(line, "reference_date");
        if (!date.empty()) {
            entry.referenceDay = ReferenceDayOf(date);
            if (!entry.referenceDay) {
                why = "reference_date: " + date + " is no day of the form YYYY-MM-DD";
                return std::nullopt;
            }
        }
        entry.receiverType = line.value("receiver_type", 0);
        entry.program = TextOr(line, "program");
        entry.time = TextOr(line, "time");
        return entry;
    } catch (const std::exception& error) {
        why = WhyNoEntry(error);
        return std::nullopt;
    }
}

ManifestRead ReadManifest(const std::string& path) {
    std::string content;
    const auto file = LocateFile(path);
    const native::Done done = file ? ReadWhole(file.value, content) : native::Done{file.cause};
    if (!done) {
        ManifestRead read;
        read.cause = done.cause;
        return read;
    }
    return ReadManifestText(content);
}

ManifestRead ReadManifestText(const std::string& content) {
    ManifestRead read;
    std::size_t number = 0;
    for (std::size_t at = 0; at < content.size();) {
        std::size_t end = content.find('\n', at);
        if (end == std::string::npos)
            end = content.size();
        std::string_view line(content.data() + at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        std::string why;
        auto entry = ParseManifestLine(line, why);
        // Every line begins so: an append after one cut short by a crash
        // follows its rest on the same line.
        constexpr std::string_view kStart = "{\"input\":";
        const std::size_t next = entry ? std::string_view::npos : line.rfind(kStart);
        std::string ignored;
        if (next != std::string_view::npos && next > 0 &&
            (entry = ParseManifestLine(line.substr(next), ignored)))
            read.cut.push_back("line " + std::to_string(number) + ": " + std::to_string(next) +
                               " bytes of a line cut short, then an entry");
        if (entry)
            read.entries.push_back(std::move(*entry));
        else
            read.bad.push_back("line " + std::to_string(number) + ": " + why);
    }
    return read;
}

std::string Sha256OfFile(const std::string& path) {
    InputFile file;
    Sha256 hash;
    if (!file.Open(path))
        return {};
    native::EntryInfo info;
    if (!file.Inspect(info) || !info.regular)
        return {};
    file.DigestInto(&hash);
    std::uint8_t skip[65536];
    while (file.Read(skip, sizeof skip) == sizeof skip) {
    }
    return file.Failed() ? std::string() : hash.Finish();
}

ManifestWriter::ManifestWriter(std::string path, std::string program,
                               std::vector<std::string> inputs)
    : path_(std::move(path)),
      program_(std::move(program)),
      inputs_(std::move(inputs)),
      recorded_(inputs_.size()) {}

native::Done ManifestWriter::Ready() const {
    return AppendToManifest(path_, "");
}

native::Done ManifestWriter::Append(const ManifestEntry& entry) {
    // The first line's append makes sure of the file's name on disk: the
    // file may be new (made now, or by another run a moment ago), and no
    // input may go on the strength of a line in a file a crash takes away.
    const auto file = LocateFile(path_);
    const native::Done done =
        file ? AppendLocked(file.value, ManifestLine(entry), !named_) : native::Done{file.cause};
    named_ = named_ || static_cast<bool>(done);
    if (!done && cause_ == 0)
        cause_ = done.cause;
    return done;
}

std::function<native::Done(std::size_t, const Conversion&, const std::string&)>
ManifestWriter::Recorder() {
    return [this](std::size_t index, const Conversion& conversion, const std::string& output) {
        const ManifestEntry entry =
            ManifestEntryOf(inputs_.at(index), conversion, Outcome::Corrected, output, program_);
        const std::lock_guard<std::mutex> lock(mutex_);
        const native::Done done = Append(entry);
        recorded_.at(index) = static_cast<bool>(done);
        return done;
    };
}

void ManifestWriter::Finished(std::size_t index, const FileOutcome& outcome) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (recorded_.at(index))
        return;
    (void)Append(ManifestEntryOf(inputs_.at(index), outcome.conversion, outcome.outcome,
                                 outcome.stored ? outcome.outputPath : std::string(), program_));
}

int ManifestWriter::Cause() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return cause_;
}

native::Done AppendToManifest(const std::string& path, std::string_view lines) {
    const auto file = LocateFile(path);
    return file ? AppendLocked(file.value, lines, true) : native::Done{file.cause};
}

}  // namespace quenrix

namespace quenrix {

UndoPlan UndoPlanOf(const std::vector<ManifestEntry>& entries) {
    // A later line of the same input tells what became of it since (its
    // corrected file taken back, converted again).
    std::unordered_map<std::string, const ManifestEntry*> lastOfInput;
    for (const ManifestEntry& entry : entries) lastOfInput[entry.input] = &entry;
    std::vector<const ManifestEntry*> last;
    std::unordered_map<std::string, std::size_t> byOutput;
    for (const ManifestEntry& entry : entries) {
        if (!entry.CanGiveBack() || lastOfInput[entry.input] != &entry)
            continue;
        const auto [at, added] = byOutput.emplace(entry.output, last.size());
        if (added)
            last.push_back(&entry);
        else
            last[at->second] = &entry;
    }
    UndoPlan plan;
    for (const ManifestEntry* entry : last) {
        if (entry->inputSize != entry->outputSize) {
            plan.originalsKept.push_back(entry);
            continue;
        }
        plan.correctedFiles.push_back(entry->output);
        plan.givingBack.push_back({entry->input, *RecordMoves::FromRanges(entry->moved),
                                   entry->outputSha256, entry->inputSha256});
    }
    return plan;
}

}  // namespace quenrix
