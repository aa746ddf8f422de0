// Stub: replaced by the Windows implementation.
#include "host/tree_move.h"

namespace tarvelin {

bool MoveFolderContents(const std::string&, const std::string&) { return false; }
std::optional<bool> PrepareResultFolder(const std::string&) { return std::nullopt; }

}  // namespace tarvelin
