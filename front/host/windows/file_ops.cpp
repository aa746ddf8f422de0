// Stub: replaced by the Windows implementation.
#include "host/file_ops.h"

namespace tarvelin {

bool NonFolderExists(const std::string&) { return false; }
bool IsFolder(const std::string&) { return false; }
bool ReadableFile(const std::string&) { return false; }
bool IsFullPath(const std::string&) { return false; }
bool IsInside(const std::string&, const std::string&) { return true; }
bool DeleteFile(const std::string&) { return false; }
bool MakePrivateFolder(const std::string&) { return false; }
void RemoveEmptyFolder(const std::string&) {}
files::UniqueHandle CreateNewFile(const std::string&) { return {}; }
bool WriteNewFile(const std::string&, std::string_view, unsigned) { return false; }

}  // namespace tarvelin
