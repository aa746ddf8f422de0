// Stub: replaced by the Windows implementation.
#include "host/staging_folder.h"

namespace tarvelin {

std::string SystemTempFolder() { return {}; }
std::optional<std::string> PrepareStagingFolder(const std::string&) { return std::nullopt; }
std::optional<RunFolder> RunFolder::Create(const std::string&) { return std::nullopt; }
void RunFolder::Remove() {}
int RemoveFinishedRuns(const std::string&) { return 0; }

}  // namespace tarvelin
