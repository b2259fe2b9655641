// RMG files (.RMG, and the 10-minute files .RM0 to .RM5): the receiver's
// position and monitor data. Four record kinds take part; everything else
// in the file is left out of the corrected file.
#pragma once

#include <string>

#include "engine/record_scan.h"

namespace quenrix {

// Streams an RMG file into the work file, correcting every rolled-over GPS
// time with the limit of the file's receiver type. True when the whole
// input was scanned and the work file written whole.
bool ConvertRmgFile(const std::string& inputPath, const std::string& workPath);

// The correctors of the RMG kinds of their own (see RecordCorrector).
// 0x82, 37 bytes, GPS time at offset 2; gives the first GPS time.
std::size_t CorrectPositionMonitorRecord(const std::uint8_t* record, std::size_t available,
                                         RecordSink& sink, bool& written);
// 0x81: 11-byte header, one 9-byte block per bit set in the mask at offset 2.
std::size_t CorrectOldRawSatelliteSection(const std::uint8_t* record, std::size_t available,
                                          RecordSink& sink, bool& written);
// 0x91: 11-byte header, as many 9-byte blocks as the count at offset 2 (at most 12).
std::size_t CorrectRawSatelliteSection(const std::uint8_t* record, std::size_t available,
                                       RecordSink& sink, bool& written);

}  // namespace quenrix
