#include "output_name.h"

#include "engine_state.h"
#include "fsub.h"
#include "paths.h"

namespace quenrix {
namespace {

// The first hour of GPS week 1753, when the receivers rolled over, and
// the same hour 1024 weeks later: a SIG file starting then is marked "Z".
constexpr std::uint32_t kRolloverHours[] = {1060214400, 1679529600};

char HourCharacter(unsigned hour) {
    return static_cast<char>(hour < 10 ? '0' + hour : 'A' + (hour - 10));
}

}  // namespace

std::string GetFileNamePrefix(const std::string& path) {
    try {
        const std::string name = FileNamePart(path);
        return name.size() >= 4 ? name.substr(0, 4) : std::string();
    } catch (...) {
        return {};
    }
}

std::string BuildOutputFileName(const std::string& prefix, std::uint32_t firstGpsTime,
                                const std::string& inputPath, const std::string& outputFolder) {
    try {
        std::uint32_t t = firstGpsTime;
        SwapBytes32(t);
        DateTimeRecord date;
        GpsSecondsToDateTime(t, date);
        const unsigned month = date.month == 0 || date.month > 12 ? 25 : date.month;
        const unsigned day = date.day == 0 || date.day > 31 ? 0 : date.day;
        const unsigned hour = date.hour > 23 ? 0 : date.hour;

        std::string name = prefix;
        name += static_cast<char>(64 + month);
        name += static_cast<char>('0' + day / 10);
        name += static_cast<char>('0' + day % 10);

        char sequence;
        const std::string inputName = FileNamePart(inputPath);
        const std::uint32_t hourStart = t - t % 3600;
        if (Engine().IsRmgFile == 1) {
            sequence = HourCharacter(hour);
        } else if (hourStart == kRolloverHours[0] || hourStart == kRolloverHours[1]) {
            sequence = 'Z';
        } else if (inputName.size() >= 8) {
            sequence = inputName[7];
        } else {
            // A name too short to carry a sequence character: the hour
            // stands in for it, as it does for RMG files.
            sequence = HourCharacter(hour);
        }
        name += sequence;
        name += ExtensionPart(inputPath);
        return JoinPath(outputFolder, name);
    } catch (...) {
        return {};
    }
}

}  // namespace quenrix
