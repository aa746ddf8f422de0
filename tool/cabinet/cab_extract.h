// The cabinet unit: decompresses one cabinet through the cabinet interface
// and writes each selected entry straight to its place through the
// extraction's output.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cabinet/callback_files.h"
#include "cabinet/extraction_output.h"
#include "catalogue/package_files.h"

// Cabinets stored in the package are opened through this folder name: the
// cabinet interface is handed kPackageStreams + stream name, which the unit
// maps to the stream. No path on disk that the tool uses looks like it, as
// those are all absolute.
inline constexpr std::string_view kPackageStreams = "package-streams:/";

// Opens the package's stream `name` for reading; null when there is none.
using StreamOpener = std::function<std::unique_ptr<CallbackFile>(const std::string& name)>;

// Asked where the next cabinet of a set lies when a file goes on in it:
// given the cabinet's name, answers the folder (ending in "/", or
// kPackageStreams) that holds it, or nothing when it cannot be had.
using NextCabinetFinder = std::function<std::optional<std::string>(const std::string& name)>;

struct CabinetJob {
  // A file on disk, or kPackageStreams + a stream name.
  std::string cabinet_path;
  bool verbose = false;
  // The package's files, their keys indexed.
  const PackageFiles* files = nullptr;
  ExtractionOutput* output = nullptr;
  StreamOpener open_stream;
  NextCabinetFinder find_next_cabinet;
  // Where a failed cabinet says why (the cabinet interface's reason), when
  // given.
  std::string* failure_reason = nullptr;
};

// 0 when the cabinet was recognised and decoded to its end, -1 otherwise.
// An entry whose decoding failed half way leaves nothing behind.
int CabExtract(const CabinetJob& job);
