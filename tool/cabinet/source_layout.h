// Files that a package keeps uncompressed beside itself (administrative
// images, CD layouts): which of the selected files they are, and where each
// lies in the source tree below the package's folder.
//
// A package is uncompressed when its summary's Word Count lacks the
// "compressed" bit; a file's own Attributes bit, "noncompressed" (0x2000) or
// "compressed" (0x4000), overrides that. A file lies at the package's folder
// + the source path of its directory + its source name. Each Directory row
// below the root gives the source part of its DefaultDir ("target:source",
// each part "short|long"); "." gives no folder, and the root row stands for
// the package's folder itself. Long names are used unless Word Count asks for
// short ones.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ExtractionOutput;
class TMsiHandler;

// File table Attributes bits.
inline constexpr int kFileAttributeNoncompressed = 0x2000;
inline constexpr int kFileAttributeCompressed = 0x4000;

// The name of the stream that holds a merge module's one cabinet.
inline constexpr const char* kMergeModuleCabinet = "MergeModule.CABinet";

// One selected catalogue entry that lies uncompressed beside the package.
struct UncompressedSource {
  std::size_t entry = 0;  // the catalogue entry
  // The file's path relative to the package's folder, "/" between segments,
  // as the package names it (each segment then looked up ignoring case).
  std::string path;
  // False when the path would leave the package's folder (a ".." segment, a
  // "/" inside a name, NUL); `path` is then the text to report.
  bool safe = true;
};

// Whether a file of the given Attributes lies uncompressed, in a package of
// the given Word Count.
bool IsUncompressedFile(int word_count, int attributes);

// The source folder name of a DefaultDir value: the source part when there
// is one, of it the long name (the short one with `short_names`); empty for
// ".", which adds no folder.
std::string SourceFolderName(const std::string& default_dir, bool short_names);

// The source name of a FileName value ("short|long" or one name).
std::string SourceFileName(const std::string& file_name, bool short_names);

// The selected entries of the handler's catalogue that lie uncompressed, in
// catalogue order, from the handler's model of the package's files and its
// open package's summary. A folder too deep for a path is left out. A
// package without a readable Word Count counts as compressed with long
// names, and a merge module (no Media rows, a MergeModule.CABinet stream)
// keeps every file in its cabinet, whatever its Word Count says.
std::vector<UncompressedSource> FindUncompressedSources(const TMsiHandler& handler);

// The file at `path` (as in UncompressedSource) below `package_folder`
// (ending in "/"): each segment by its exact name when there is one, else the
// first name in byte order that equals it ignoring the case of A to Z.
// Nothing when there is no such file.
std::optional<std::string> LocateSourceFile(const std::string& package_folder,
                                            const std::string& path);

// The `x` step for these files, after the cabinets: each selected entry that
// the extraction may write and that lies uncompressed is copied through
// `output` to its place, keeping its modification time; under `verbose`
// with a line "<File key> copying". A source path that would leave the
// package's folder goes to `report_unsafe`; a missing source file prints
// ERROR: uncompressed file "<full path>" not exists, unless a cabinet of the
// package delivered the entry.
void CopyUncompressedFiles(const TMsiHandler& handler, ExtractionOutput& output, bool verbose,
                           const std::function<void(const std::string&)>& report_unsafe);
