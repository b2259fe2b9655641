// SIG files: the receiver's raw satellite data, seven record kinds of
// fixed length, four of them with GPS time fields (engine/record_kinds.h).
#pragma once

#include "engine/conversion.h"
#include "support/binary_file.h"

namespace quenrix {

// Streams a SIG file into the work file, correcting every rolled-over GPS
// time. True when the whole input was scanned and the work file written
// whole; false when the input cannot be opened or read, or the work file
// cannot be created or written. Bad records are logged and left out.
// `input`: the request's input as its check left it, read again from its
// start, or not open yet (ScanRecords).
bool ConvertSigFile(const ConversionRequest& request, Conversion& conversion, InputFile& input);

}  // namespace quenrix
