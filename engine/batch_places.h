// Helpers the parts of a batch share (batch_*.cpp): where a conversion's
// files are, and how a failed store reads as a problem.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/problem.h"
#include "support/failure.h"
#include "support/folder.h"

namespace quenrix {

// A dry run's key for an output name: the name as the system tells names
// apart.
std::string PlanKey(const std::string& path);

// Where a conversion's input, work file and corrected file are, in the
// folders it acted in.
FileAt InputAt(const std::string& input, const Conversion& conversion);
FileAt WorkAt(const ConversionRequest& request, const Conversion& conversion);
FileAt OutputAt(const Conversion& conversion);

// Why a corrected file could not be stored.
Problem StoreProblem(const std::string& output, const Failure& failure);

// Why a stored file that did not read back right is no corrected file; one
// that reads back different does not stay under the output name.
Problem NotReadBack(const Conversion& conversion, const Failure& failure);

// The work file could not be made or written for lack of room.
bool OutOfRoom(const Conversion& conversion);

// The folders of the files flushed, each once (by the folder opened):
// whether each one's flush was done.
std::map<const Folder*, bool> SyncFoldersOf(const std::vector<FileAt>& files);

}  // namespace quenrix
