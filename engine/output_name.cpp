#include "engine/output_name.h"

#include "engine/gps_time.h"
#include "support/cp932.h"
#include "support/utf8.h"

namespace quenrix {
namespace {

// The first hour of GPS week 1753, when the receivers rolled over, and
// the same hour 1024 weeks later: a SIG file starting then is marked "Z".
constexpr std::uint32_t kRolloverHours[] = {1060214400, 1679529600};

constexpr std::size_t kPrefixLength = 4;
constexpr std::size_t kSequencePosition = 8;  // 1-based, as the receivers count
constexpr char kPrefixFill = '_';

char HourCharacter(unsigned hour) {
    return static_cast<char>(hour < 10 ? '0' + hour : 'A' + (hour - 10));
}

// A file name as the naming rules count its bytes.
class CountedName {
  public:
    explicit CountedName(const std::string& name) : bytes_(name) {
        std::string cp932 = Utf8ToCp932(name);
        // Only a name that converts back unchanged is counted in code page
        // 932: a character it lacks became "?", and a few (the wave dash)
        // have two UTF-8 spellings of which only one comes back.
        if (Cp932ToUtf8(cp932) == name) {
            bytes_ = std::move(cp932);
            convertBack_ = true;
        } else {
            cp932_ = false;
        }
    }

    std::size_t Size() const { return bytes_.size(); }

    // Bytes in the character that starts at byte i.
    std::size_t CharacterLength(std::size_t i) const {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data()) + i;
        const std::size_t left = bytes_.size() - i;
        if (cp932_)
            return IsCp932LeadByte(p[0]) && left >= 2 ? 2 : 1;
        // A byte that is not valid UTF-8 counts as a character of its own.
        const std::size_t n = utf8::SequenceLength(p[0]);
        return utf8::ReplacedLength(p, left) == n ? n : 1;
    }

    // Where the character holding byte i starts.
    std::size_t CharacterStart(std::size_t i) const {
        std::size_t start = 0;
        while (start + CharacterLength(start) <= i) start += CharacterLength(start);
        return start;
    }

    // Counted bytes back in the system's form.
    std::string Native(const std::string& counted) const {
        return convertBack_ ? Cp932ToUtf8(counted) : counted;
    }

    const std::string& Bytes() const { return bytes_; }

  private:
    std::string bytes_;
    bool cp932_ = true;
    bool convertBack_ = false;
};

// The SIG sequence character in the system's form: the name's eighth
// byte, where that is a character of its own; empty where there is none.
std::string EighthCharacter(const CountedName& name) {
    const std::size_t i = kSequencePosition - 1;
    if (name.Size() <= i || name.CharacterStart(i) != i || name.CharacterLength(i) != 1)
        return {};
    return name.Native(name.Bytes().substr(i, 1));
}

}  // namespace

std::string GetFileNamePrefix(const std::string& path, PathStyle style) {
    try {
        const CountedName name(FileNamePart(path, style));
        if (name.Size() < kPrefixLength)
            return {};
        std::size_t end = 0;
        while (end < kPrefixLength && end + name.CharacterLength(end) <= kPrefixLength)
            end += name.CharacterLength(end);
        std::string prefix = name.Bytes().substr(0, end);
        prefix.resize(kPrefixLength, kPrefixFill);
        return name.Native(prefix);
    } catch (...) {
        return {};
    }
}

std::string BuildOutputFileName(FileKind kind, const std::string& prefix,
                                std::uint32_t firstGpsTime, const std::string& inputPath,
                                const std::string& outputFolder, PathStyle style) {
    try {
        DateTimeRecord date;
        GpsSecondsToDateTime(firstGpsTime, date);
        const unsigned month = date.month == 0 || date.month > 12 ? 25 : date.month;
        const unsigned day = date.day == 0 || date.day > 31 ? 0 : date.day;
        const unsigned hour = date.hour > 23 ? 0 : date.hour;

        std::string name = prefix;
        name += static_cast<char>(64 + month);
        name += static_cast<char>('0' + day / 10);
        name += static_cast<char>('0' + day % 10);

        const std::uint32_t hourStart = firstGpsTime - firstGpsTime % 3600;
        if (kind == FileKind::Rmg) {
            name.push_back(HourCharacter(hour));
        } else if (hourStart == kRolloverHours[0] || hourStart == kRolloverHours[1]) {
            name.push_back('Z');
        } else {
            const std::string eighth = EighthCharacter(CountedName(FileNamePart(inputPath, style)));
            if (!eighth.empty()) {
                name.append(eighth);
            } else {
                // No character of its own at the eighth byte: the hour
                // stands in for it, as it does for RMG files.
                name.push_back(HourCharacter(hour));
            }
        }
        name += ExtensionPart(inputPath, style);
        return JoinPath(outputFolder, name, style);
    } catch (...) {
        return {};
    }
}

}  // namespace quenrix
