// UTF-8 and UTF-16 texts, the long-path form of a path, handles and error
// codes: what every Windows call of the file functions needs.
#pragma once

#include <string>
#include <string_view>

#include "files/handle.h"

namespace files {

// Invalid UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view text);

// `path` made full by the host's rules (against the current drive and
// folder, "." and ".." resolved as text, "/" read as "\"); empty when it
// cannot be. A long-path form is kept as it is.
std::wstring FullWidePath(std::string_view path);
// `path` (absolute or relative, "\" or "/" between folders) made full and
// in the form that lifts the 260-character limit: "\\?\C:\..." or
// "\\?\UNC\server\share\...". Empty when it cannot be made full.
std::wstring LongPath(std::string_view path);
// The HANDLE behind a handle.
inline void* Native(Handle handle) { return reinterpret_cast<void*>(handle); }

// The Windows error code as a reason of the file functions.
Reason ReasonOfCode(unsigned long code);

}  // namespace files
