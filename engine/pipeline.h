// One input file from its path to a work file and an output name.
#pragma once

#include "engine/conversion.h"

namespace quenrix {

// Converts one input: classifies the file by its extension, runs its
// check, streams it into the work file and builds the output name. A
// failure is logged where it is found and its reason given in the result.
Conversion ConvertGpsFile(const ConversionRequest& request);

}  // namespace quenrix
