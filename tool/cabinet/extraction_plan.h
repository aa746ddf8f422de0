// What `x` does with each catalogue entry, decided when it starts from the
// model of the package's files and the selection alone, before anything on
// disk is looked at:
// - an entry not selected is left alone;
// - one whose File key, folder or long name would lead out of the target
//   folder is unsafe: it is reported and never written;
// - one whose folder is too deep for a path, or whose folder or long name
//   the host cannot hold (a device name, on Windows), goes under its File
//   key into the target folder (only the key must be safe then);
// - every other one goes to its place, its folder and long name. Entries
//   that share a place share its number (on a host whose names ignore
//   case, places that differ only in case are one place); the later in
//   catalogue order wins it, and placement reports the earlier as replaced.
// The disk decides the rest as the files are written (a folder that cannot
// be made sends its entries under their keys too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/package_files.h"
#include "msidb/catalogue_store.h"

class ExtractionPlan {
 public:
  enum class Action : std::uint8_t { kNone, kUnsafe, kUnderKey, kToPlace };
  struct Step {
    Action action = Action::kNone;
    DirectoryTree::Node folder = DirectoryTree::kNoNode;
    // The place's number, for an entry that has a place (kToPlace, and
    // kUnsafe but for an unsafe key).
    std::uint32_t place = 0;
  };

  // `selected` is the selection of `files`.
  ExtractionPlan(const PackageFiles& files, const FolderColumn& selected);

  std::size_t size() const { return steps_.size(); }
  const Step& operator[](std::size_t entry) const { return steps_.at(entry); }
  std::size_t places() const { return places_; }
  // The entries that go under their keys for a folder too deep.
  std::size_t too_deep() const { return too_deep_; }
  // The entries that go under their keys for a name the host cannot hold,
  // in catalogue order.
  const std::vector<std::size_t>& unholdable() const { return unholdable_; }
  // The entry's place as the package gives it (its directory path and long
  // name), whatever became of it.
  std::string PackagePlace(std::size_t entry) const;

  // The text that names the entry's place in lines: its directory path and
  // long name, or its File key where it goes under it for a folder too deep.
  std::string PlaceText(std::size_t entry) const;

  // The word placement prints for a selected entry: " renaming" when it
  // landed at its place, nothing stood there before this run, and no entry
  // was reported there before it; " replaceing" otherwise.
  static const char* PlacementWord(bool landed_at_place, bool place_stood_before,
                                   bool place_reported_before);

 private:
  const PackageFiles& files_;
  std::vector<Step> steps_;
  std::size_t places_ = 0;
  std::size_t too_deep_ = 0;
  std::vector<std::size_t> unholdable_;
};
