// How the host names files: its folder separator, which names lead out of
// the folder they stand in, which it cannot hold, and whether case counts.
// The tool asks these questions of every name a package gives before the
// name reaches the file system.
#pragma once

#include <string>
#include <string_view>

namespace files {

// The separator that the host prints between folders: "/" on POSIX, "\"
// on Windows.
char Separator();
// A character that separates folders in a path: "/" on POSIX; "\" and "/"
// on Windows.
bool IsSeparator(char c);
// The first separator in `text` at or after `from`, or npos.
std::size_t FindSeparator(std::string_view text, std::size_t from = 0);

// A name (one level, separators already looked for) that would reach
// another place than a file in its folder: on Windows any ":" (a drive, a
// drive-relative name, a stream of a file). Nothing on POSIX.
bool LeadsElsewhere(std::string_view name);

// A harmless name that the host cannot hold as a file or folder: on
// Windows a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with
// or without an extension), a trailing dot or blank, one of < > | ? * ",
// or a control character. Nothing on POSIX.
bool CannotHold(std::string_view name);

// Whether two names that differ only in case name one file.
bool NamesIgnoreCase();
// The form of `name` by which the host tells names apart: `name` itself
// where case counts, else its upper-case form.
std::string FoldCase(std::string_view name);

}  // namespace files
