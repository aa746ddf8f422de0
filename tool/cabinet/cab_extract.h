// The cabinet unit: decompresses one cabinet through the cabinet interface
// and writes the selected entries flat into the output folder, each under
// its name in the cabinet (a File key).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "msidb/catalogue_store.h"

// The first catalogue entry of each File key, for the entries of a cabinet.
using FileKeyIndex = std::unordered_map<std::string_view, std::size_t>;
FileKeyIndex IndexFileKeys(const CatalogueStore& catalogue);

// Asked where the next cabinet of a set lies when a file goes on in it:
// given the cabinet's name, answers the folder (ending in "/") that holds it,
// or nothing when it cannot be had.
using NextCabinetFinder = std::function<std::optional<std::string>(const std::string& name)>;

struct CabinetJob {
  std::string cabinet_path;
  std::string output_folder;  // ends in "/"
  bool verbose = false;
  const CatalogueStore* catalogue = nullptr;
  const FileKeyIndex* file_keys = nullptr;
  NextCabinetFinder find_next_cabinet;
};

// 0 when the cabinet was recognised and decoded to its end, -1 otherwise.
// An entry whose decoding failed half way is removed, not left truncated.
int CabExtract(const CabinetJob& job);
