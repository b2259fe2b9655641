// Shared by the fuzz targets: a private folder in memory, files in and
// out, a fixed clock, and a check that stops the run when a property fails.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "tests/helpers/forwarding_layer.h"

namespace quenrix::fuzz {

using Bytes = std::vector<std::uint8_t>;

// Stops the run with a message; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A folder of this process, in memory where there is a memory file
// system. The current directory stays: libFuzzer writes its corpus there.
inline const std::string& Folder() {
    // Never destroyed: the clean-up at exit still needs the name.
    static const std::string* folder = [] {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/quenrix-fuzz-XXXXXX";
            if (mkdtemp(pattern.data()) != nullptr) {
                // Memory is scarce: the folder goes when the run ends.
                std::atexit([] { std::filesystem::remove_all(Folder()); });
                return new std::string(pattern);
            }
        }
        std::abort();
    }();
    return *folder;
}

// A path in that folder.
inline std::string In(const std::string& name) {
    return Folder() + "/" + name;
}

inline void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fixed "now" (reference day 2011-12-07) and the folder made.
inline void Reset() {
    Folder();
    // The system layer with a clock of its own, for the whole run.
    struct FixedClock : test::ForwardingLayer {
        FixedClock() : ForwardingLayer(native::SystemLayer()) {}
        LocalDateTime LocalClockNow() override { return LocalDateTime{2026, 12, 7, 12, 0, 0}; }
    };
    static FixedClock clock;
    static const test::LayerInPlace inPlace(clock);
}

// The work file, in the folder.
inline std::string WorkFile() {
    return In(kWorkFileName);
}

inline bool CheckValueHolds(const std::uint8_t* record, std::size_t length) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < length; ++i) sum += record[i];
    return record[length - 2] == ((sum >> 8) & 0xFF) && record[length - 1] == (sum & 0xFF);
}

}  // namespace quenrix::fuzz
