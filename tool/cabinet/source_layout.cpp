#include "cabinet/source_layout.h"

#include <memory>
#include <vector>

#include "cabinet/extraction_output.h"
#include "catalogue/names.h"
#include "catalogue/safe_names.h"
#include "console/console.h"
#include "files/files.h"
#include "msi/msiquery.h"
#include "msi/summary_info.h"
#include "msidb/msi_handler.h"
#include "msidb/query.h"

namespace {

// The package's Word Count, or nothing when its summary does not give one.
std::optional<int> ReadWordCount(MSIHANDLE database) {
  PMSIHANDLE summary;
  if (MsiGetSummaryInformationA(database, nullptr, 0, summary.out()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  UINT type = VT_EMPTY;
  int value = 0;
  if (MsiSummaryInfoGetPropertyA(summary.get(), PID_WORDCOUNT, &type, &value, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS ||
      (type != VT_I4 && type != VT_I2)) {
    return std::nullopt;
  }
  return value;
}

// As the cabinet walk has it: no Media row names a cabinet, and the
// package holds the merge module's cabinet stream.
bool IsMergeModule(MSIHANDLE database) {
  Query media(database, "select * from `Media`");
  while (media.Next()) {
    if (media.DataSize(4) > 0) return false;
  }
  Query stream(database, "select * from `_Streams` where Name=?", kMergeModuleCabinet);
  return stream.Next();
}

// Copies the open source file `in` through the extraction's writer; false
// when a read or a write fails.
bool CopyThrough(files::Handle in, ExtractionOutput& output, std::size_t entry, time_t written) {
  std::unique_ptr<EntryOutput> out = output.Open(entry);
  if (!out) return false;
  std::vector<char> piece(1 << 16);
  while (true) {
    const long long got = files::ReadSome(in, piece.data(), piece.size());
    if (got < 0) return false;  // the entry is abandoned with `out`
    if (got == 0) break;
    const unsigned count = static_cast<unsigned>(got);
    if (out->Write(piece.data(), count) != count) return false;
  }
  return output.Finish(std::move(out), written);
}

}  // namespace

bool IsUncompressedFile(int word_count, int attributes) {
  const bool noncompressed = (attributes & kFileAttributeNoncompressed) != 0;
  const bool compressed = (attributes & kFileAttributeCompressed) != 0;
  if (noncompressed != compressed) return noncompressed;
  return (word_count & msidbSumInfoSourceTypeCompressed) == 0;
}

std::string SourceFolderName(const std::string& default_dir, bool short_names) {
  const FolderNames names = ParseDefaultDir(default_dir);
  return std::string(SourceName(names.long_name, names.short_name, short_names));
}

std::string SourceFileName(const std::string& file_name, bool short_names) {
  if (!short_names) return LongFileName(file_name);
  std::string rest = file_name;
  return CutAt(rest, '|');
}

std::vector<UncompressedSource> FindUncompressedSources(const TMsiHandler& handler) {
  std::vector<UncompressedSource> sources;
  const int word_count =
      ReadWordCount(handler.database()).value_or(msidbSumInfoSourceTypeCompressed);
  if (IsMergeModule(handler.database())) return sources;

  const PackageFiles& files = handler.files();
  const FolderColumn& selected = handler.catalogue().selected_folders();
  const bool short_names = (word_count & msidbSumInfoSourceTypeSFN) != 0;
  for (std::size_t entry = 0; entry < selected.Count() && entry < files.size(); ++entry) {
    if (!selected.IsSelected(entry)) continue;
    if (!IsUncompressedFile(word_count, files.attributes(entry))) continue;
    UncompressedSource source;
    source.entry = entry;
    // A folder too deep for a path has no source to look up either.
    std::optional<std::string> folder =
        files.tree().SourcePath(selected.At(entry), short_names, &source.safe);
    if (!folder || files.tree().too_deep(selected.At(entry))) continue;
    source.path = std::move(*folder);
    const std::string name = SourceFileName(std::string(files.file_name(entry)), short_names);
    source.path += name;
    source.safe = source.safe && IsSafeFileName(name);
    sources.push_back(std::move(source));
  }
  return sources;
}

std::optional<std::string> LocateSourceFile(const std::string& package_folder,
                                            const std::string& path) {
  std::string folder = package_folder;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = files::FindSeparator(path, start);
    if (slash == std::string::npos) break;
    std::optional<std::string> found =
        files::FindFolderIgnoringCase(folder, path.substr(start, slash - start));
    if (!found) return std::nullopt;
    folder = std::move(*found);
    start = slash + 1;
  }
  return files::FindFileIgnoringCase(folder, path.substr(start));
}

void CopyUncompressedFiles(const TMsiHandler& handler, ExtractionOutput& output, bool verbose,
                           const std::function<void(const std::string&)>& report_unsafe) {
  const CatalogueStore& catalogue = handler.catalogue();
  const std::string package_folder = files::FolderPart(handler.package_path());
  for (const UncompressedSource& source : FindUncompressedSources(handler)) {
    // An entry whose own place is unsafe was reported when the run began.
    if (!output.IsWritable(source.entry)) continue;
    if (!source.safe) {
      report_unsafe(source.path);
      continue;
    }
    const std::string shown = package_folder + source.path;
    std::optional<std::string> found = LocateSourceFile(package_folder, source.path);
    if (!found) {
      // A file that a cabinet of the package delivered needs no source (a
      // package that leaves Word Count 0 may keep every file in cabinets).
      if (!output.Delivered(source.entry))
        ConsoleError("uncompressed file \"" + shown + "\" not exists");
      continue;
    }
    // A pipe standing at the place is not waited on.
    std::optional<files::ReadableFile> in = files::OpenRegularFile(*found);
    if (verbose) ConsoleLine(catalogue[kFileKey].At(source.entry) + " copying");
    const bool copied = in && CopyThrough(in->handle.get(), output, source.entry, in->modified);
    // Waits for the writing thread: a failed write there fails the copy.
    const ExtractionOutput::WriteFailure failure = output.TakeWriteFailure();
    if (failure == ExtractionOutput::WriteFailure::kNoRoom)
      ConsoleError("possibly disk_space not enough");
    const bool write_failed = failure != ExtractionOutput::WriteFailure::kNone;
    if (!copied || write_failed)
      ConsoleError("uncompressed file \"" + shown + "\" could not be copied");
  }
}
