// RMG files (.RMG, and the 10-minute files .RM0 to .RM5): the receiver's
// position and monitor data. Four record kinds take part
// (engine/record_kinds.h); everything else in the file is left out of the
// corrected file.
#pragma once

#include "engine/conversion.h"
#include "support/binary_file.h"

namespace quenrix {

// Streams an RMG file into the work file, correcting every rolled-over GPS
// time with the limit of the file's receiver type. True when the whole
// input was scanned and the work file written whole. `input`: the
// request's input as its check left it, read again from its start, or not
// open yet (ScanRecords).
bool ConvertRmgFile(const ConversionRequest& request, Conversion& conversion, InputFile& input);

}  // namespace quenrix
