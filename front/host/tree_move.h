// Moves the contents of one folder into another, merging folders and
// replacing files, without ever losing a file.
#pragma once

#include <optional>
#include <string>

namespace tarvelin {

// Moves every entry directly in the folder `source` (folders included) into
// the folder `target`, which is created when missing. A folder that exists on
// both sides is merged; a file of the same name is replaced without asking.
// Each entry is renamed where it can be; across file systems a file is copied
// (keeping its mode and modification time) under a temporary name, put in
// place, and only then deleted at the source. Stops at the first entry that
// cannot be moved (a file standing where a folder must go, a folder where a
// file must go, a target that cannot be written, a full disk) and returns
// false; what was not moved stays below `source`.
bool MoveFolderContents(const std::string& source, const std::string& target);

// Makes sure the results can be filed in `folder` before anything is
// extracted: a missing folder is created (its parent must exist), an existing
// one must be a folder in which a new file can be made (tried with a probe
// file, removed again). True when the folder was created by this call, false
// when it was there already; nothing when it cannot be used.
std::optional<bool> PrepareResultFolder(const std::string& folder);

}  // namespace tarvelin
