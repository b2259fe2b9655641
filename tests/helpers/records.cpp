#include "tests/helpers/records.h"

#include <chrono>
#include <fstream>
#include <iterator>

namespace quenrix::test {

void PutBigEndian32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value >> 24);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 16);
    bytes.at(offset + 2) = static_cast<std::uint8_t>(value >> 8);
    bytes.at(offset + 3) = static_cast<std::uint8_t>(value);
}

std::uint32_t GetBigEndian32(const Bytes& bytes, std::size_t offset) {
    return std::uint32_t{bytes.at(offset)} << 24 | std::uint32_t{bytes.at(offset + 1)} << 16 |
           std::uint32_t{bytes.at(offset + 2)} << 8 | bytes.at(offset + 3);
}

void Seal(Bytes& record) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < record.size(); ++i) sum += record[i];
    record[record.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
    record[record.size() - 1] = static_cast<std::uint8_t>(sum);
}

Bytes Record(std::uint8_t kind, std::size_t length,
             std::initializer_list<std::pair<std::size_t, std::uint32_t>> times, bool goodCheck,
             std::uint8_t fill) {
    Bytes record(length);
    record[0] = 0x8B;
    record[1] = kind;
    for (std::size_t i = 2; i + 2 < length; ++i) {
        record[i] = static_cast<std::uint8_t>(fill + i * 37);
    }
    for (auto [offset, seconds] : times) PutBigEndian32(record, offset, seconds);
    Seal(record);
    if (!goodCheck)
        record[length - 1] ^= 0x5A;
    return record;
}

Bytes Section(std::uint8_t kind, std::uint8_t countOrMask, std::size_t blocks,
              std::uint32_t gpsTime, bool goodCheck) {
    Bytes section = Record(kind, 13 + 9 * blocks, {{3, gpsTime}}, true, 0x21);
    section[2] = countOrMask;
    Seal(section);
    if (!goodCheck)
        section.back() ^= 0x5A;
    return section;
}

Bytes PositionMonitor(std::uint32_t gpsTime, std::uint8_t typeNibble, bool goodCheck) {
    Bytes record = Record(0x82, 37, {{2, gpsTime}});
    record[32] = static_cast<std::uint8_t>((record[32] & 0xF0) | typeNibble);
    Seal(record);
    if (!goodCheck)
        record.back() ^= 0x5A;
    return record;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Gps(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days epoch = sys_days{std::chrono::year{1980} / January / 6};
    const sys_days date = sys_days{std::chrono::year{year} / month / day};
    return static_cast<std::uint32_t>((date - epoch).count() * 86400LL + hour * 3600 + minute * 60 +
                                      second);
}

}  // namespace quenrix::test
