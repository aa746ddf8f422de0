// The folder extractor (fdi/folder_extractor.h) that has libmspack decode
// every kind of folder, including those that run across the cabinets of a
// set, through the set's joined parse (fdi/cabinet_set.h). It takes every
// folder and never hands one over.
#pragma once

#include "fdi/cabinet_set.h"
#include "fdi/folder_extractor.h"

namespace fdi {

class MspackExtractor final : public FolderExtractor {
 public:
  explicit MspackExtractor(CabinetSet& set) : set_(set) {}

  bool Takes(std::size_t, std::size_t) override { return true; }
  // Fails with FDIERROR_CORRUPT_CABINET (code 0) for an entry that
  // libmspack's parse does not hold as ours does.
  Result Extract(std::size_t volume, std::size_t entry, intptr_t output) override;

 private:
  CabinetSet& set_;
};

}  // namespace fdi
