// Receiver records laid out byte by byte for the tests, with a check value
// computed here (not by the engine) that is right or deliberately wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace quenrix::test {

using Bytes = std::vector<std::uint8_t>;

void PutBigEndian32(Bytes& bytes, std::size_t offset, std::uint32_t value);
std::uint32_t GetBigEndian32(const Bytes& bytes, std::size_t offset);

// Stores the sum of all bytes but the last two into the last two.
void Seal(Bytes& record);

// A record of `length` bytes: 0x8B, the kind, body bytes from a pattern
// (seeded by `fill`), the given GPS times (offset, seconds) and the check
// value; `goodCheck` false stores a wrong one.
Bytes Record(std::uint8_t kind, std::size_t length,
             std::initializer_list<std::pair<std::size_t, std::uint32_t>> times = {},
             bool goodCheck = true, std::uint8_t fill = 0x11);

// A raw satellite data section: 11-byte header (count or mask byte, GPS
// time at offset 3), `blocks` data blocks of 9 bytes, check value.
Bytes Section(std::uint8_t kind, std::uint8_t countOrMask, std::size_t blocks,
              std::uint32_t gpsTime, bool goodCheck = true);

// A position and monitor record (0x82, 37 bytes) with its GPS time at
// offset 2 and the receiver's type nibble in the byte at offset 32.
Bytes PositionMonitor(std::uint32_t gpsTime, std::uint8_t typeNibble = 0, bool goodCheck = true);

Bytes Concat(std::initializer_list<Bytes> parts);

// A path of the program (UTF-8 on both systems) for the standard library.
std::filesystem::path FsPath(const std::string& utf8);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

// GPS seconds of a date and time, counted here with the standard library.
std::uint32_t Gps(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace quenrix::test
