// Where `x` puts what it extracts. Every selected entry is written once,
// straight to its place in the tree (target folder + directory path + long
// name), and nothing of the user's is read, moved or replaced but a file
// that stands at such a place:
// - a new file is created exclusively;
// - where a file stands at the place already, the entry is written beside
//   it under a private temporary name and renamed over it once whole;
// - an entry that fails half way leaves no partial file, and the old file
//   as it was;
// - where the place cannot be made (a file stands where a folder must go),
//   the entry ends under its File key in the target folder, never over a
//   file that is there.
// Where two entries share a place, the one later in catalogue order wins,
// whatever order the cabinets hold them in. Placement then reports each
// entry as if it had been moved into the tree in catalogue order.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cabinet/callback_files.h"
#include "cabinet/write_behind.h"
#include "files/unique_fd.h"
#include "msidb/catalogue_store.h"

class ExtractionOutput;

// One entry being written; its handle goes to the cabinet interface. Its
// bytes go to the file through the extraction's second thread.
class EntryOutput : public CallbackFile {
 public:
  enum class Mode { kNew, kReplace, kUnderKey, kDiscard };
  ~EntryOutput() override;
  unsigned Write(const void* buffer, unsigned count) override;
  // The cabinet interface moves back to the start when it writes an entry
  // again with another decoder.
  long Seek(long distance, int origin) override;
  // Closing an entry that was not finished abandons it.
  int Close() override;
  std::size_t entry() const { return entry_; }

 private:
  friend class ExtractionOutput;
  EntryOutput(ExtractionOutput& owner, std::size_t entry, Mode mode, files::UniqueFd fd,
              std::string path);
  void Abandon();

  ExtractionOutput& owner_;
  std::size_t entry_;
  Mode mode_;
  // The file (a temporary one in kReplace); none when discarding or ended.
  std::shared_ptr<WriteBehind::File> file_;
};

class ExtractionOutput {
 public:
  // What a folder of the tree is, once looked at: made by this run (so
  // nothing of the user's is in it), one that stood there before, or one
  // that cannot be had.
  enum class FolderState { kMade, kStood, kUnusable };

  // `target_folder` is absolute and ends in "/". Which entries may be
  // written is decided here, once: the selected ones whose File key and
  // place are safe names.
  ExtractionOutput(std::string target_folder, const CatalogueStore& catalogue);
  ExtractionOutput(const ExtractionOutput&) = delete;
  ExtractionOutput& operator=(const ExtractionOutput&) = delete;

  const std::string& target_folder() const { return target_folder_; }

  // Selected, but its File key or its place is not a safe name.
  bool IsUnsafe(std::size_t entry) const { return entries_.at(entry).unsafe; }
  // Selected and safe.
  bool IsWritable(std::size_t entry) const;

  // Opens a writable entry for writing; null when no place can be had for
  // it. The bytes then go through the returned file.
  std::unique_ptr<EntryOutput> Open(std::size_t entry);
  // Every byte of the entry has come: it gets its last-write time and goes
  // to its place. False when it could not be kept (it is then removed).
  bool Finish(std::unique_ptr<EntryOutput> output, std::optional<time_t> written);

  // Whether the second thread has failed since the last call: kNoRoom for
  // a write, close or create that failed (a full disk, a quota), kNoPlace
  // for an entry that could be given no place at all (as when a create on
  // this thread fails). Waits for the files handed to the second thread.
  enum class WriteFailure { kNone, kNoRoom, kNoPlace };
  WriteFailure TakeWriteFailure();

  // Makes sure the folder of every selected entry exists and prints, under
  // `verbose`, one line per selected entry in catalogue order, as a move
  // into the tree would have: " renaming" when the entry landed at a place
  // that nothing held before it, else " replaceing". Returns the number of
  // selected entries.
  std::size_t Place(bool verbose);

 private:
  friend class EntryOutput;
  enum class Landed { kNo, kInTree, kUnderKey };
  struct Entry {
    bool selected = false;
    bool unsafe = false;
    std::string folder;  // directory path, relative to the target folder
    std::string place;   // directory path + long name
    // The folder's and the place's numbers: entries that share one share it.
    std::size_t folder_id = 0;
    std::size_t place_id = 0;
    Landed landed = Landed::kNo;
  };
  struct PlaceState {
    bool existed_before = false;   // a file stood there before this run wrote it
    bool ours = false;             // this run has written it
    std::size_t writer = 0;        // the entry whose bytes are there, when ours
    bool reported_filled = false;  // placement has reported an entry moved there
  };

  FolderState EnsureFolder(const std::string& folder);
  // EnsureFolder for an entry's folder, remembered by its number.
  FolderState EnsureFolderOf(const Entry& entry);
  std::unique_ptr<EntryOutput> OpenUnderKey(std::size_t entry);
  std::unique_ptr<EntryOutput> OpenLater(std::size_t entry, const std::string& path);
  files::UniqueFd CreateTemporary(const std::string& folder, std::string* path);

  std::string target_folder_;
  const CatalogueStore& catalogue_;
  std::vector<Entry> entries_;
  std::vector<PlaceState> places_;                         // by place number
  std::vector<std::optional<FolderState>> entry_folders_;  // by folder number
  std::unordered_map<std::string, FolderState> folders_;   // by relative folder
  // Temporary names are taken on both threads.
  std::atomic<unsigned> temporary_count_{0};
  // Last, so that it has done its work before the rest goes.
  WriteBehind behind_;
};
