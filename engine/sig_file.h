// SIG files: the receiver's raw satellite data, seven record kinds of
// fixed length, four of them with GPS time fields.
#pragma once

#include <string>

#include "binary_file.h"

namespace quenrix {

// Streams a SIG file into the work file, correcting every rolled-over GPS
// time. True when the whole input was scanned and the work file written
// whole; false when the input cannot be opened or read, or the work file
// cannot be created or written. Bad records are logged and left out.
bool ConvertSigFile(const std::string& inputPath, const std::string& workPath);

// The correctors, one per record kind; each is given the input just after
// the kind byte and answers whether the record was written whole.
bool CorrectHeaderSection(InputFile& input, OutputFile& work);               // 0x62, 26 bytes
bool CorrectOrbitInformationRecord(InputFile& input, OutputFile& work);      // 0x60, 26 bytes
bool CorrectOrbitMessageRecord(InputFile& input, OutputFile& work);          // 0x61, 74 bytes
bool CorrectPositioningResultRecord(InputFile& input, OutputFile& work);     // 0x50, 23 bytes
bool CorrectSatelliteInformationRecord(InputFile& input, OutputFile& work);  // 0x51, 124 bytes
bool CorrectNavigationMessageRecord(InputFile& input, OutputFile& work);     // 0x52, 35 bytes
bool CorrectDisplayMonitorRecord(InputFile& input, OutputFile& work);        // 0x55, 29 bytes

}  // namespace quenrix
