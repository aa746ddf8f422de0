// Turns the tool's registry output into the registry script filed with the
// extracted tree.
#pragma once

#include <string>

namespace tarvelin {

// Writes `script_path` anew: the lines of `output_path` from the fifth on
// (the first four are the tool's banner), then ";Tarvelin Ver0.5" and ";"
// followed by the credit; every line ended by CR LF. Lines end at LF (a CR
// before it belongs to the line end) and are copied otherwise unchanged.
// An output that is missing or shorter than four lines gives only what there
// is, possibly just the two comment lines. False when the script cannot be
// written (then no script is left behind).
bool FileRegistryScript(const std::string& output_path, const std::string& script_path);

}  // namespace tarvelin
