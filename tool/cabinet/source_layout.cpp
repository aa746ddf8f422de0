#include "cabinet/source_layout.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cabinet/extraction_output.h"
#include "cabinet/safe_names.h"
#include "catalogue/names.h"
#include "console/console.h"
#include "files/ascii.h"
#include "files/files.h"
#include "files/unique_dir.h"
#include "files/unique_fd.h"
#include "msi/msiquery.h"
#include "msi/summary_info.h"
#include "msidb/msi_handler.h"

namespace {

// Runs `sql` with an optional text parameter and calls `row` for each row
// fetched, until it returns false. False when the query fails.
template <typename RowFunction>
bool EachRow(MSIHANDLE database, const char* sql, const char* parameter, RowFunction row) {
  PMSIHANDLE view;
  PMSIHANDLE parameters;
  if (MsiDatabaseOpenViewA(database, sql, view.out()) != ERROR_SUCCESS) return false;
  if (parameter != nullptr) {
    parameters.reset(MsiCreateRecord(1));
    MsiRecordSetStringA(parameters.get(), 1, parameter);
  }
  if (MsiViewExecute(view.get(), parameters.get()) != ERROR_SUCCESS) return false;
  PMSIHANDLE record;
  while (MsiViewFetch(view.get(), record.out()) == ERROR_SUCCESS) {
    if (!row(record.get())) break;
  }
  return true;
}

std::string FieldText(MSIHANDLE record, UINT field) {
  std::uint32_t size = 0;
  if (MsiRecordGetStringA(record, field, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  size = static_cast<std::uint32_t>(text.size());
  if (MsiRecordGetStringA(record, field, text.data(), &size) != ERROR_SUCCESS) return {};
  text.resize(size);
  return text;
}

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
  bool media_cabinet = false;
  EachRow(database, "select * from `Media`", nullptr, [&](MSIHANDLE record) {
    media_cabinet = MsiRecordDataSize(record, 4) > 0;
    return !media_cabinet;
  });
  if (media_cabinet) return false;
  bool stream = false;
  EachRow(database, "select * from `_Streams` where Name=?", kMergeModuleCabinet, [&](MSIHANDLE) {
    stream = true;
    return false;
  });
  return stream;
}

// The Attributes of each catalogue entry, by position: the File table is
// read again in the same order, and a row whose key differs from the entry's
// (which cannot happen with one database) counts as no attributes.
std::vector<int> ReadFileAttributes(MSIHANDLE database, const CatalogueStore& catalogue) {
  const std::size_t entries = catalogue[kFileKey].Count();
  std::vector<int> attributes;
  EachRow(database, "select * from `File`", nullptr, [&](MSIHANDLE record) {
    const std::size_t entry = attributes.size();
    if (entry >= entries) return false;
    const int value = MsiRecordGetInteger(record, 7);
    const bool same = FieldText(record, 1) == catalogue[kFileKey].At(entry);
    attributes.push_back(same && value != MSI_NULL_INTEGER ? value : 0);
    return true;
  });
  attributes.resize(entries, 0);
  return attributes;
}

// A folder or file name from the package that may be used below the
// package's folder: no "..", no "/" and no NUL in it.
bool IsSafeSourceName(const std::string& name) { return IsSafeFileName(name); }

// The source folders of a Directory row, from the package's folder down.
struct SourceFolder {
  std::string path;  // each segment followed by "/"; empty for the package's folder
  bool safe = true;
};

// Works out source folders from the catalogue's Directory columns, each
// Directory key once.
class SourceFolders {
 public:
  SourceFolders(const CatalogueStore& catalogue, bool short_names)
      : catalogue_(catalogue), short_names_(short_names) {}

  // Walks from the folder up to the root. A key without a row, a row whose
  // parent is empty, is its own key or has no row, all stand for the
  // package's folder; a chain that comes back to a row already visited
  // stops there. Each row is visited at most once, so the walk ends.
  const SourceFolder& Of(const std::string& directory_key) {
    auto known = folders_.find(directory_key);
    if (known != folders_.end()) return known->second;
    const TextColumn& keys = catalogue_[kDirectoryKey];
    const TextColumn& parents = catalogue_[kDirectoryParent];
    const TextColumn& defaults = catalogue_[kDirectoryDefault];

    std::vector<std::string> names;  // from the folder up
    std::unordered_set<std::size_t> visited;
    std::optional<std::size_t> row = keys.FindFirst(directory_key);
    while (row && visited.insert(*row).second) {
      const std::string& parent = parents.At(*row);
      if (parent.empty() || parent == keys.At(*row)) break;  // the root
      names.push_back(SourceFolderName(defaults.At(*row), short_names_));
      row = keys.FindFirst(parent);
    }
    SourceFolder folder;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
      if (name->empty()) continue;
      folder.safe = folder.safe && IsSafeSourceName(*name);
      folder.path += *name + "/";
    }
    return folders_.emplace(directory_key, std::move(folder)).first->second;
  }

 private:
  const CatalogueStore& catalogue_;
  bool short_names_;
  std::unordered_map<std::string, SourceFolder> folders_;
};

// The folder `name` in `folder` (ending in "/"), by exact name or else the
// first name in byte order that equals it ignoring case; with "/" at its end.
std::optional<std::string> FindFolderIgnoringCase(const std::string& folder,
                                                  const std::string& name) {
  if (files::FolderExists(folder + name)) return folder + name + "/";
  files::UniqueDir listing = files::UniqueDir::Open(folder);
  if (!listing) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* item = readdir(listing.get())) {
    const std::string candidate = item->d_name;
    if (files::EqualIgnoringAsciiCase(candidate, name) && files::FolderExists(folder + candidate) &&
        (!best || candidate < *best)) {
      best = candidate;
    }
  }
  if (!best) return std::nullopt;
  return folder + *best + "/";
}

// Copies the open source file `in` through the extraction's writer; false
// when a read or a write fails.
bool CopyThrough(int in, ExtractionOutput& output, std::size_t entry, time_t written) {
  std::unique_ptr<EntryOutput> out = output.Open(entry);
  if (!out) return false;
  std::vector<char> piece(1 << 16);
  while (true) {
    const ssize_t got = read(in, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) continue;
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
  std::string source = default_dir;
  CutAt(source, ':');
  if (source.empty()) source = default_dir;
  std::string head = CutAt(source, '|');
  std::string name = short_names || source.empty() ? head : source;
  return name == "." ? std::string() : name;
}

std::string SourceFileName(const std::string& file_name, bool short_names) {
  if (!short_names) return LongFileName(file_name);
  std::string rest = file_name;
  return CutAt(rest, '|');
}

std::vector<UncompressedSource> FindUncompressedSources(const TMsiHandler& handler) {
  std::vector<UncompressedSource> sources;
  PMSIHANDLE database;
  if (MsiOpenDatabaseA(handler.package_path().c_str(), MSIDBOPEN_READONLY, database.out()) !=
      ERROR_SUCCESS) {
    return sources;
  }
  const int word_count = ReadWordCount(database.get()).value_or(msidbSumInfoSourceTypeCompressed);
  if (IsMergeModule(database.get())) return sources;

  const CatalogueStore& catalogue = handler.catalogue();
  const std::vector<int> attributes = ReadFileAttributes(database.get(), catalogue);
  const bool short_names = (word_count & msidbSumInfoSourceTypeSFN) != 0;
  SourceFolders folders(catalogue, short_names);
  const std::size_t selected = catalogue[kSelectedPath].Count();
  for (std::size_t entry = 0; entry < selected && entry < attributes.size(); ++entry) {
    if (catalogue[kSelectedPath].At(entry).empty()) continue;
    if (!IsUncompressedFile(word_count, attributes[entry])) continue;
    std::optional<std::size_t> component =
        catalogue[kComponentKey].FindFirst(catalogue[kFileComponent].At(entry));
    if (!component) continue;  // not selected: it has no place in the tree
    const SourceFolder& folder = folders.Of(catalogue[kComponentDirectory].At(*component));
    const std::string name = SourceFileName(catalogue[kFileName].At(entry), short_names);
    UncompressedSource source;
    source.entry = entry;
    source.path = folder.path + name;
    source.safe = folder.safe && IsSafeSourceName(name);
    sources.push_back(std::move(source));
  }
  return sources;
}

std::optional<std::string> LocateSourceFile(const std::string& package_folder,
                                            const std::string& path) {
  std::string folder = package_folder;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) break;
    std::optional<std::string> found =
        FindFolderIgnoringCase(folder, path.substr(start, slash - start));
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
      ConsoleLine("ERROR: uncompressed file \"" + shown + "\" not exists");
      continue;
    }
    // Not blocking: a pipe standing at the place must not stop the run.
    files::UniqueFd in(open(found->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (verbose) ConsoleLine(catalogue[kFileKey].At(source.entry) + " copying");
    const bool copied = in && fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode) &&
                        CopyThrough(in.get(), output, source.entry, info.st_mtime);
    // Waits for the writing thread: a failed write there fails the copy.
    const ExtractionOutput::WriteFailure failure = output.TakeWriteFailure();
    if (failure == ExtractionOutput::WriteFailure::kNoRoom)
      ConsoleLine("ERROR: possibly disk_space not enough");
    const bool write_failed = failure != ExtractionOutput::WriteFailure::kNone;
    if (!copied || write_failed)
      ConsoleLine("ERROR: uncompressed file \"" + shown + "\" could not be copied");
  }
}
