// SIG files: the receiver's raw satellite data, seven record kinds of
// fixed length, four of them with GPS time fields.
#pragma once

#include <string>

#include "engine/record_scan.h"

namespace quenrix {

// Streams a SIG file into the work file, correcting every rolled-over GPS
// time. True when the whole input was scanned and the work file written
// whole; false when the input cannot be opened or read, or the work file
// cannot be created or written. Bad records are logged and left out.
bool ConvertSigFile(const std::string& inputPath, const std::string& workPath);

// The correctors, one per record kind (see RecordCorrector).
std::size_t CorrectHeaderSection(const std::uint8_t* record, std::size_t available,
                                 RecordSink& sink, bool& written);  // 0x62, 26 bytes
std::size_t CorrectOrbitInformationRecord(const std::uint8_t* record, std::size_t available,
                                          RecordSink& sink, bool& written);  // 0x60, 26 bytes
std::size_t CorrectOrbitMessageRecord(const std::uint8_t* record, std::size_t available,
                                      RecordSink& sink, bool& written);  // 0x61, 74 bytes
std::size_t CorrectPositioningResultRecord(const std::uint8_t* record, std::size_t available,
                                           RecordSink& sink, bool& written);  // 0x50, 23 bytes
std::size_t CorrectSatelliteInformationRecord(const std::uint8_t* record, std::size_t available,
                                              RecordSink& sink, bool& written);  // 0x51, 124 bytes
std::size_t CorrectNavigationMessageRecord(const std::uint8_t* record, std::size_t available,
                                           RecordSink& sink, bool& written);  // 0x52, 35 bytes
std::size_t CorrectDisplayMonitorRecord(const std::uint8_t* record, std::size_t available,
                                        RecordSink& sink, bool& written);  // 0x55, 29 bytes

}  // namespace quenrix
