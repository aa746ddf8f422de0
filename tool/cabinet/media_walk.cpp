// The `x` command's middle stage: a plan of the cabinets to decode (those
// stored in the package, then those beside it, as the Media table lists
// them), then one loop over it. Cabinets in the package are decoded where
// they lie, from their streams; nothing is copied out.
#include <cstdio>
#include <cstring>
#include <set>
#include <unordered_set>
#include <utility>

#include "cabinet/cab_extract.h"
#include "cabinet/extraction_output.h"
#include "cabinet/source_layout.h"
#include "catalogue/safe_names.h"
#include "console/console.h"
#include "console/verbose.h"
#include "files/files.h"
#include "msidb/msi_handler.h"

namespace {

// Prints each unsafe name once per run.
class UnsafeNameReport {
 public:
  void operator()(const std::string& name) {
    if (reported_.insert(name).second) ConsoleError("unsafe name \"" + name + "\"");
  }
  // An entry's place, once per place (the text is made only to print it).
  void Place(const ExtractionOutput& output, std::size_t entry) {
    if (places_.insert(output.plan()[entry].place).second) (*this)(output.plan().PlaceText(entry));
  }

 private:
  std::set<std::string> reported_;
  std::unordered_set<std::uint32_t> places_;
};

// An external cabinet value, "\" between its folders, with the host's
// separator.
std::string WithSlashes(std::string value) {
  for (char& c : value) {
    if (c == '\\' || files::IsSeparator(c)) c = files::Separator();
  }
  return value;
}

std::string LastSegment(const std::string& path) {
  return path.substr(files::FolderPart(path).size());
}

// One step of the walk.
struct CabinetSource {
  enum class Kind { kInPackage, kBesidePackage, kUnsafe };
  Kind kind;
  std::string name;  // stream name, relative path (with "/"), or the unsafe value
};

}  // namespace

std::vector<std::string> TMsiHandler::LoadMedia() {
  std::vector<std::string> media;
  if (Query("select * from `Media`", 0)) {
    while (FetchRow()) {
      std::string cabinet = FieldString(4);
      if (!cabinet.empty()) media.push_back(std::move(cabinet));
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
  return media;
}

std::unique_ptr<CallbackFile> TMsiHandler::OpenStream(const std::string& name) {
  PMSIHANDLE parameters(MsiCreateRecord(1));
  MsiRecordSetStringA(parameters.get(), 1, name.c_str());
  std::unique_ptr<CallbackFile> stream;
  if (Query("select * from `_Streams` where Name=?", parameters.get()) && FetchRow()) {
    const UINT size = MsiRecordDataSize(record_, 2);
    if (size > 0) {
      // The record goes with the stream; the view is done with.
      const MSIHANDLE record = std::exchange(record_, 0);
      try {
        stream = std::make_unique<CabinetInPackage>(record, size);
      } catch (...) {
        MsiCloseHandle(record);
        CloseHandle(view_);
        throw;
      }
    }
    CloseHandle(record_);
  }
  CloseHandle(view_);
  return stream;
}

void TMsiHandler::ExtractCabinets(const std::string& target_folder, const std::string& mask) {
  target_folder_ = target_folder;
  mask_ = mask.empty() ? "*" : mask;
  SelectFiles(mask_, false);
  output_ =
      std::make_shared<ExtractionOutput>(target_folder_, files_, catalogue_.selected_folders());

  UnsafeNameReport report_unsafe;
  for (std::size_t entry = 0; entry < files_.size(); ++entry) {
    if (!output_->IsUnsafe(entry)) continue;
    const std::string key(files_.key(entry));
    if (!IsSafeFileName(key)) {
      report_unsafe(key);
    } else {
      report_unsafe.Place(*output_, entry);
    }
  }
  if (const std::size_t too_deep = output_->plan().too_deep(); too_deep > 0) {
    ConsoleError(std::to_string(too_deep) + " files lie in folders deeper than " +
                 std::to_string(DirectoryTree::kMaxPathBytes) +
                 " bytes: written under their File keys");
  }

  for (const std::size_t entry : output_->plan().unholdable()) {
    ConsoleError("\"" + output_->plan().PackagePlace(entry) +
                 "\" is not a name the file system can hold: written under its File key \"" +
                 std::string(files_.key(entry)) + "\"");
  }

  if (const files::Reason problem = files::FolderProblem(target_folder_)) {
    ConsoleError("target folder \"" + target_folder_ +
                 "\" cannot hold files: " + files::Describe(problem));
    return;
  }

  const std::vector<std::string> media = LoadMedia();
  std::vector<CabinetSource> plan;
  for (const auto& value : media) {
    if (value[0] != '#') continue;
    const std::string name = value.substr(1);
    plan.push_back(
        {IsSafeFileName(name) ? CabinetSource::Kind::kInPackage : CabinetSource::Kind::kUnsafe,
         name});
  }
  for (const auto& value : media) {
    if (value[0] == '#') continue;
    const std::string relative = WithSlashes(value);
    plan.push_back({IsSafeRelativePath(relative) ? CabinetSource::Kind::kBesidePackage
                                                 : CabinetSource::Kind::kUnsafe,
                    IsSafeRelativePath(relative) ? relative : value});
  }
  if (media.empty()) plan.push_back({CabinetSource::Kind::kInPackage, kMergeModuleCabinet});

  files_.IndexKeys();
  const std::string package_folder = files::FolderPart(package_path_);

  // An external cabinet: the exact name beside the package, else the same
  // name in other letter case.
  auto locate_beside_package = [&](const std::string& relative) {
    return files::FindFileIgnoringCase(files::FolderPart(package_folder + relative),
                                       LastSegment(relative));
  };
  auto has_stream = [&](const std::string& name) { return OpenStream(name) != nullptr; };

  // The next cabinet of a set, asked for while a file goes on into it.
  auto find_next_cabinet = [&](const std::string& name) -> std::optional<std::string> {
    if (!IsSafeFileName(name)) return std::nullopt;
    for (const auto& value : media) {
      if (value[0] == '#' && value.substr(1) == name && has_stream(name))
        return std::string(kPackageStreams);
    }
    for (const auto& value : media) {
      const std::string relative = WithSlashes(value);
      if (value[0] != '#' && LastSegment(relative) == name && IsSafeRelativePath(relative)) {
        if (auto found = locate_beside_package(relative)) return files::FolderPart(*found);
      }
    }
    if (auto found = locate_beside_package(name)) return files::FolderPart(*found);
    return std::nullopt;
  };

  auto extract_cabinet = [&](const std::string& cabinet_path, const std::string& shown_path) {
    std::string reason;
    CabinetJob job{cabinet_path,
                   Verbose,
                   &files_,
                   output_.get(),
                   [this](const std::string& name) { return OpenStream(name); },
                   find_next_cabinet,
                   &reason};
    const int result = CabExtract(job);
    // A write that failed on the writing thread fails its cabinet too, even
    // when the decoding had ended before it was known.
    const ExtractionOutput::WriteFailure failure = output_->TakeWriteFailure();
    if (failure == ExtractionOutput::WriteFailure::kNoRoom)
      ConsoleError("possibly disk_space not enough");
    const bool write_failed = failure != ExtractionOutput::WriteFailure::kNone;
    if (result != 0 || write_failed) {
      ConsoleError("cabinet \"" + shown_path + "\" could not be extracted");
      // Why, under -v, on standard error beside the line.
      if (Verbose && result != 0 && !reason.empty()) {
        FlushConsole();
        std::fprintf(stderr, "pandrel: cabinet \"%s\": %s\n", shown_path.c_str(), reason.c_str());
        std::fflush(stderr);
      }
    }
  };

  for (const CabinetSource& source : plan) {
    switch (source.kind) {
      case CabinetSource::Kind::kUnsafe:
        report_unsafe(source.name);
        break;
      case CabinetSource::Kind::kInPackage:
        if (!has_stream(source.name)) break;
        ConsoleLine("Extract from inside CAB: " + source.name);
        // Shown where its copy used to be made, beside the tree.
        extract_cabinet(std::string(kPackageStreams) + source.name, target_folder_ + source.name);
        break;
      case CabinetSource::Kind::kBesidePackage: {
        std::optional<std::string> found = locate_beside_package(source.name);
        if (!found) {
          ConsoleError("outside CAB \"" + package_folder + source.name + "\" not exists");
          break;
        }
        if (Verbose) ConsoleLine("Extract from outside CAB: " + source.name);
        extract_cabinet(*found, *found);
        break;
      }
    }
  }
  // Then the files that lie uncompressed beside the package.
  CopyUncompressedFiles(*this, *output_, Verbose, std::ref(report_unsafe));
}
