#include "tools/mksample/sample_writer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/gps_time.h"
#include "support/binary_file.h"

namespace quenrix::sample {
namespace {

class Writer {
  public:
    explicit Writer(const SampleOptions& options) : options_(options), random_(options.seed) {}

    bool Open(const std::string& path) { return out_.Create(path); }

    // One second of recording, as the receiver lays it out.
    void Epoch(std::uint32_t t, std::uint64_t index) {
        if (options_.kind == Kind::Sig) {
            if (index % 600 == 0)
                Fixed(0x62, 26, {{14, t}});
            if (index % 30 == 0)
                Fixed(0x60, 26, {});
            if (index % 30 == 0)
                Fixed(0x61, 74, {});
            Fixed(0x50, 23, {{2, t}});
            Fixed(0x51, 124, {{2, t}});
            Fixed(0x52, 35, {});
            Fixed(0x55, 29, {{3, t}, {7, t}});
        } else {
            Fixed(0x82, 37, {{2, t}});
            if (index % 30 == 0)
                Fixed(0x61, 74, {});
            Section(0x91, static_cast<std::uint8_t>(random_() % 13), t);
            if (index % 4 == 0)
                Section(0x81, static_cast<std::uint8_t>(random_()), t);
        }
    }

    bool Finish(SampleSummary* summary) {
        if (options_.truncateLast && !last_.empty()) {
            // Take back the last record and write only its first half.
            pending_.resize(pending_.size() - last_.size() / 2);
        }
        Flush(true);
        bool ok = out_.Close();
        if (summary != nullptr)
            *summary = summary_;
        return ok;
    }

    std::uint64_t Written() const { return summary_.bytes + pending_.size(); }

  private:
    struct TimeField {
        std::size_t offset;
        std::uint32_t value;
    };

    void Fixed(std::uint8_t kind, std::size_t length, std::initializer_list<TimeField> times) {
        Begin(kind, length);
        for (const TimeField& field : times) PutTime(field.offset, field.value);
        if (kind == 0x82) {
            // Low nibble of byte 32: the receiver type.
            const std::uint8_t nibble = options_.receiverType == 77   ? 1
                                        : options_.receiverType == 80 ? 2
                                                                      : 0;
            last_[32] = static_cast<std::uint8_t>((last_[32] & 0xF0) | nibble);
        }
        End();
    }

    void Section(std::uint8_t kind, std::uint8_t countOrMask, std::uint32_t t) {
        const std::size_t blocks =
            kind == 0x81 ? static_cast<std::size_t>(std::popcount(countOrMask)) : countOrMask;
        Begin(kind, 13 + 9 * blocks);
        last_[2] = countOrMask;
        PutTime(3, t);
        End();
    }

    void Begin(std::uint8_t kind, std::size_t length) {
        if (options_.junk) {
            for (std::uint32_t n = random_() % 6; n > 0; --n) {
                std::uint8_t byte = static_cast<std::uint8_t>(random_());
                pending_.push_back(byte == 0x8B ? 0x00 : byte);
            }
        }
        last_.assign(length, 0);
        last_[0] = 0x8B;
        last_[1] = kind;
        for (std::size_t i = 2; i + 2 < length; ++i)
            last_[i] = static_cast<std::uint8_t>(random_());
    }

    void PutTime(std::size_t offset, std::uint32_t t) {
        std::uint32_t stamped = options_.rolledOver ? t - kSecondsOf1024Weeks : t;
        for (int i = 0; i < 4; ++i)
            last_[offset + i] = static_cast<std::uint8_t>(stamped >> (24 - 8 * i));
    }

    void End() {
        const std::size_t covered = last_.size() - 2;
        std::uint16_t check = 0;
        for (std::size_t i = 0; i < covered; ++i)
            check = static_cast<std::uint16_t>(check + last_[i]);
        ++summary_.records;
        if (options_.badCheckEvery != 0 && summary_.records % options_.badCheckEvery == 0) {
            check ^= 0x0101;
            ++summary_.badRecords;
        }
        last_[covered] = static_cast<std::uint8_t>(check >> 8);
        last_[covered + 1] = static_cast<std::uint8_t>(check);
        pending_.insert(pending_.end(), last_.begin(), last_.end());
        if (pending_.size() >= 1 << 20)
            Flush(false);
    }

    // Writes what is pending; unless `all`, the last record stays pending
    // so that it can still be cut short.
    void Flush(bool all) {
        const std::size_t keep = all ? 0 : std::min(pending_.size(), last_.size());
        const std::size_t take = pending_.size() - keep;
        out_.Write(pending_.data(), take);
        summary_.bytes += take;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    }

    const SampleOptions& options_;
    std::mt19937 random_;
    OutputFile out_;
    std::vector<std::uint8_t> last_;
    std::vector<std::uint8_t> pending_;
    SampleSummary summary_;
};

}  // namespace

bool WriteSampleFile(const std::string& path, const SampleOptions& options,
                     SampleSummary* summary) {
    Writer writer(options);
    if (!writer.Open(path)) {
        return false;
    }
    std::uint64_t index = 0;
    do {
        writer.Epoch(options.start + static_cast<std::uint32_t>(index), index);
        ++index;
    } while (writer.Written() < options.size);
    return writer.Finish(summary);
}

std::string ReceiverStyleName(std::uint32_t index, Kind kind) {
    static const char kHours[] = "0123456789ABCDEFGHIJKLMN";
    char name[32];
    std::snprintf(name, sizeof name, "%04u%c%02u%c%s", (index / (12 * 31 * 24)) % 10000,
                  'A' + static_cast<int>(index / (31 * 24) % 12), index / 24 % 31 + 1,
                  kHours[index % 24], kind == Kind::Sig ? ".SIG" : ".RMG");
    return name;
}

}  // namespace quenrix::sample
