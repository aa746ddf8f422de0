// Where `x` puts what it extracts. Every selected entry is written once,
// straight to its place in the tree (target folder + directory path + long
// name), and nothing of the user's is read, moved or replaced but a file
// that stands at such a place:
// - a new file is created exclusively;
// - where a file stands at the place already, the entry is written beside
//   it under a private temporary name and renamed over it once whole;
// - an entry that fails half way leaves no partial file, and the old file
//   as it was;
// - where the place cannot be made (a file stands where a folder must go, a
//   symbolic link stands there, or the folder is deeper than any file
//   system takes), the entry ends under its File key in the target folder,
//   never over a file that is there.
// Where two entries share a place, the one later in catalogue order wins,
// whatever order the cabinets hold them in. Placement then reports each
// entry as if it had been moved into the tree in catalogue order.
//
// Every path becomes a file or a folder through files::TargetTree, relative
// to the target folder and never through a symbolic link below it. The file
// work goes through a second thread (WriteBehind) in the order handed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cabinet/callback_files.h"
#include "cabinet/extraction_plan.h"
#include "cabinet/write_behind.h"
#include "catalogue/package_files.h"
#include "files/handle.h"
#include "files/target_tree.h"
#include "msidb/catalogue_store.h"

class ExtractionOutput;

// One entry's file on its way: where it lies and what becomes of it. Made
// on the decoding thread, then worked on by the writing thread alone.
struct OutputFile {
  enum class Lies { kAtPlace, kTemporary, kUnderKey };
  files::UniqueHandle fd;
  Lies lies = Lies::kAtPlace;
  // The folder it lies in; none for the target folder itself.
  std::optional<DirectoryTree::Node> folder;
  std::string name;  // its name in that folder
  // This run made the file (it is removed when the entry is abandoned).
  // False until a deferred create has made it.
  bool made = true;
  // Opened on the decoding thread: counted among the descriptors it has
  // handed on and the writing thread has not closed yet.
  bool counted = false;
};

// One entry being written; its handle goes to the cabinet interface. Its
// bytes go to the file through the extraction's second thread.
class EntryOutput : public CallbackFile {
 public:
  enum class Mode { kNew, kReplace, kUnderKey, kDiscard };
  ~EntryOutput() override;
  unsigned Write(const void* buffer, unsigned count) override;
  // The cabinet interface rewinds an entry to write it again with another
  // decoder: only a move back to the start is taken.
  long Seek(long distance, int origin) override;
  // Closing an entry that was not finished abandons it.
  int Close() override;
  std::size_t entry() const { return entry_; }

 private:
  friend class ExtractionOutput;
  EntryOutput(ExtractionOutput& owner, std::size_t entry, Mode mode,
              std::shared_ptr<OutputFile> file);
  void Abandon();

  ExtractionOutput& owner_;
  std::size_t entry_;
  Mode mode_;
  std::shared_ptr<OutputFile> file_;  // none when discarding or ended
};

class ExtractionOutput {
 public:
  // What a folder of the tree is, once looked at: made by this run (so
  // nothing of the user's is in it), one that stood there before, or one
  // that cannot be had.
  enum class FolderState { kMade, kStood, kUnusable };

  // `target_folder` is absolute and ends in "/"; `selected` is the
  // selection of `files`, from which the plan is made here.
  ExtractionOutput(std::string target_folder, const PackageFiles& files,
                   const FolderColumn& selected);
  ExtractionOutput(const ExtractionOutput&) = delete;
  ExtractionOutput& operator=(const ExtractionOutput&) = delete;

  const std::string& target_folder() const { return target_folder_; }

  const ExtractionPlan& plan() const { return plan_; }
  // Selected, but its File key or its place is not a safe name.
  bool IsUnsafe(std::size_t entry) const {
    return plan_[entry].action == ExtractionPlan::Action::kUnsafe;
  }
  // Selected and safe.
  bool IsWritable(std::size_t entry) const;
  // A cabinet handed over the entry whole.
  bool Delivered(std::size_t entry) const { return entries_.at(entry).delivered; }

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
  enum class Landed : unsigned char { kNo, kInTree, kUnderKey };
  // What became of an entry.
  struct Entry {
    bool delivered = false;
    Landed landed = Landed::kNo;
  };
  struct PlaceState {
    bool existed_before = false;   // a file stood there before this run wrote it
    bool ours = false;             // this run has written it
    bool reported_filled = false;  // placement has reported an entry moved there
    std::size_t writer = 0;        // the entry whose bytes are there, when ours
  };
  // The folders of the tree a thread opened last, kept open while its next
  // files go into them (entries of one cabinet often take turns among a
  // few folders); one per thread, the most recent last.
  struct FolderCursor {
    std::vector<std::pair<DirectoryTree::Node, files::Folder>> recent;
  };

  FolderState EnsureFolder(DirectoryTree::Node node);
  // Makes the levels of `node`'s segment in `fd`, which becomes the folder
  // made; the state of the last level.
  FolderState MakeLevels(DirectoryTree::Node node, files::Folder& folder);
  // The folder through `cursor`; null when it cannot be opened.
  const files::Folder* OpenFolder(FolderCursor& cursor,
                                  std::optional<DirectoryTree::Node> node) const;
  std::unique_ptr<EntryOutput> MakeOutput(std::size_t entry, EntryOutput::Mode mode,
                                          std::shared_ptr<OutputFile> file);
  std::unique_ptr<EntryOutput> OpenUnderKey(std::size_t entry);
  std::unique_ptr<EntryOutput> OpenLater(std::size_t entry);
  files::UniqueHandle CreateTemporary(const files::Folder& folder, std::string* name);
  // On the writing thread: the file is whole and closed; it goes where it
  // lies says.
  void Land(OutputFile& file, std::size_t entry);
  void Remove(OutputFile& file);

  std::string target_folder_;
  files::TargetTree tree_;
  const PackageFiles& files_;
  const DirectoryTree& folders_;
  const ExtractionPlan plan_;
  std::vector<Entry> entries_;
  std::vector<PlaceState> places_;                         // by place number
  std::vector<std::optional<FolderState>> folder_states_;  // by folder node
  FolderCursor decoding_cursor_;
  FolderCursor writing_cursor_;  // the writing thread's
  // How many folders each cursor keeps open: a sixteenth of the process's
  // descriptors, at most 64.
  const std::size_t max_kept_folders_;
  // Temporary names are taken on both threads.
  std::atomic<unsigned> temporary_count_{0};
  // Files opened on the decoding thread and not yet closed on the writing
  // one: past a limit the decoding thread waits, so that a run stays well
  // within the process's descriptors.
  std::atomic<int> open_files_{0};
  const int max_open_files_;
  // Counts `file` among them (it was opened on the decoding thread).
  void Count(OutputFile& file);
  void Uncount(OutputFile& file);
  // Last, so that it has done its work before the rest goes.
  WriteBehind behind_;
};
