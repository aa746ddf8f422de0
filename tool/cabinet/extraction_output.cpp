#include "cabinet/extraction_output.h"

#include <algorithm>
#include <cstdio>

#include "console/console.h"

namespace {

// The failure noted when an entry can be given no place at all (not a
// reason of the host's).
constexpr int kNoPlace = -1;
// Tries at a free temporary name before a replacement gives up.
constexpr unsigned kTemporaryAttempts = 100;
// Files the decoding thread opens before it waits for the writing thread to
// close them: a few dozen keep both threads busy, and a quarter of the
// process's descriptors leaves room for everything else.
constexpr std::size_t kMaxOpenFiles = 64;

using FolderState = ExtractionOutput::FolderState;
using Node = DirectoryTree::Node;

bool NoRoom(files::Reason why) { return why.kind == files::Reason::Kind::kNoRoom; }
// A failure as the writing thread notes it: the kind of its reason.
int Code(files::Reason::Kind kind) { return static_cast<int>(kind); }

}  // namespace

EntryOutput::EntryOutput(ExtractionOutput& owner, std::size_t entry, Mode mode,
                         std::shared_ptr<OutputFile> file)
    : owner_(owner), entry_(entry), mode_(mode), file_(std::move(file)) {}

EntryOutput::~EntryOutput() { Abandon(); }

unsigned EntryOutput::Write(const void* buffer, unsigned count) {
  if (mode_ == Mode::kDiscard) return count;
  // A write that failed on the second thread fails the one at hand, so that
  // the cabinet stops as it would have there.
  if (!file_ || owner_.behind_.Failed()) return static_cast<unsigned>(-1);
  owner_.behind_.Write(WriteBehind::Descriptor(file_, &file_->fd), buffer, count);
  return count;
}

long EntryOutput::Seek(long distance, int origin) {
  if (distance != 0 || origin != SEEK_SET) return -1;
  if (mode_ == Mode::kDiscard) return 0;
  if (!file_) return -1;
  // In order with the writes: no need to wait for them.
  owner_.behind_.Then(
      [file = file_, &behind = owner_.behind_] {
        if (!files::Rewind(file->fd.get())) behind.NoteFailure(Code(files::Reason::Kind::kOther));
      },
      nullptr);
  return 0;
}

int EntryOutput::Close() {
  Abandon();
  return 0;
}

void EntryOutput::Abandon() {
  if (!file_) return;
  auto remove = [&owner = owner_, file = file_] { owner.Remove(*file); };
  owner_.behind_.Then(remove, remove);
  file_.reset();
}

ExtractionOutput::ExtractionOutput(std::string target_folder, const PackageFiles& files,
                                   const FolderColumn& selected)
    : target_folder_(std::move(target_folder)),
      tree_(target_folder_),
      files_(files),
      folders_(files.tree()),
      plan_(files, selected),
      entries_(files.size()),
      places_(plan_.places()),
      folder_states_(folders_.size()),
      max_kept_folders_(std::clamp<std::size_t>(files::DescriptorLimit() / 16, 1, 64)),
      max_open_files_(static_cast<int>(
          std::clamp<std::size_t>(files::DescriptorLimit() / 4, 1, kMaxOpenFiles))) {}

bool ExtractionOutput::IsWritable(std::size_t entry) const {
  if (entry >= plan_.size()) return false;
  const ExtractionPlan::Action action = plan_[entry].action;
  return action == ExtractionPlan::Action::kToPlace || action == ExtractionPlan::Action::kUnderKey;
}

ExtractionOutput::WriteFailure ExtractionOutput::TakeWriteFailure() {
  const int error = behind_.TakeFailure();
  if (error == 0) return WriteFailure::kNone;
  return error == kNoPlace ? WriteFailure::kNoPlace : WriteFailure::kNoRoom;
}

const files::Folder* ExtractionOutput::OpenFolder(FolderCursor& cursor,
                                                  std::optional<Node> node) const {
  if (!node) return &tree_.top();
  auto& recent = cursor.recent;
  auto kept = std::find_if(recent.begin(), recent.end(),
                           [&](const auto& folder) { return folder.first == *node; });
  if (kept != recent.end()) {
    std::rotate(kept, kept + 1, recent.end());
  } else {
    if (recent.capacity() < max_kept_folders_) recent.reserve(max_kept_folders_);
    if (recent.size() >= max_kept_folders_) recent.erase(recent.begin());
    recent.emplace_back(*node, tree_.OpenFolder(folders_.Path(*node)));
  }
  return recent.back().second ? &recent.back().second : nullptr;
}

FolderState ExtractionOutput::MakeLevels(Node node, files::Folder& fd) {
  const std::string& segment = folders_.segment(node);
  FolderState state = FolderState::kStood;
  std::size_t start = 0;
  while (start < segment.size()) {
    std::size_t end = files::FindSeparator(segment, start);
    if (end == std::string::npos) end = segment.size();
    const std::string_view level = std::string_view(segment).substr(start, end - start);
    start = end + 1;
    if (level.empty()) continue;
    if (level == ".") {
      state = FolderState::kStood;  // the folder it stands in
      continue;
    }
    switch (files::TargetTree::MakeFolder(fd, level)) {
      case files::TargetTree::Level::kMade:
        state = FolderState::kMade;
        break;
      case files::TargetTree::Level::kStood:
        state = FolderState::kStood;
        break;
      case files::TargetTree::Level::kLink: {
        std::string link = target_folder_;
        const Node parent = folders_.parent(node);
        if (parent != DirectoryTree::kNoNode) folders_.AppendPath(parent, link);
        link.append(segment, 0, end);
        ConsoleError("symbolic link \"" + link + "\" is not followed");
        return FolderState::kUnusable;
      }
      case files::TargetTree::Level::kBlocked:
        return FolderState::kUnusable;
    }
    fd = files::TargetTree::OpenChild(fd, level);
    if (!fd) return FolderState::kUnusable;
  }
  return state;
}

FolderState ExtractionOutput::EnsureFolder(Node node) {
  if (folder_states_[node]) return *folder_states_[node];
  // The folders not looked at yet, from this one up; then each is made
  // from the top down, in the folder made before it.
  std::vector<Node> pending;
  Node known = node;
  while (known != DirectoryTree::kNoNode && !folder_states_[known]) {
    pending.push_back(known);
    known = folders_.parent(known);
  }
  FolderState state =
      known == DirectoryTree::kNoNode ? FolderState::kStood : *folder_states_[known];
  files::Folder fd;
  if (state != FolderState::kUnusable && !folders_.too_deep(pending.back()))
    fd = tree_.OpenFolder(known == DirectoryTree::kNoNode ? "" : folders_.Path(known));
  if (!fd) state = FolderState::kUnusable;
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
    // A folder deeper than any path cannot be named, so it is not made.
    if (state != FolderState::kUnusable && folders_.too_deep(*it)) state = FolderState::kUnusable;
    if (state != FolderState::kUnusable) state = MakeLevels(*it, fd);
    folder_states_[*it] = state;
  }
  return state;
}

files::UniqueHandle ExtractionOutput::CreateTemporary(const files::Folder& folder,
                                                      std::string* name) {
  for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    files::Reason why;
    files::UniqueHandle fd = files::CreateTemporaryFile(folder, temporary_count_++, name, &why);
    if (fd || why.kind != files::Reason::Kind::kExists) return fd;
  }
  return files::UniqueHandle();
}

std::unique_ptr<EntryOutput> ExtractionOutput::MakeOutput(std::size_t entry, EntryOutput::Mode mode,
                                                          std::shared_ptr<OutputFile> file) {
  return std::unique_ptr<EntryOutput>(new EntryOutput(*this, entry, mode, std::move(file)));
}

std::unique_ptr<EntryOutput> ExtractionOutput::OpenUnderKey(std::size_t entry) {
  auto file = std::make_shared<OutputFile>();
  file->name = files_.key(entry);
  file->fd = files::CreateNewFile(tree_.top(), file->name, nullptr);
  if (!file->fd) return nullptr;
  Count(*file);
  file->lies = OutputFile::Lies::kUnderKey;
  return MakeOutput(entry, EntryOutput::Mode::kUnderKey, std::move(file));
}

std::unique_ptr<EntryOutput> ExtractionOutput::OpenLater(std::size_t entry) {
  // The place lies in a folder this run made, where only this run's own
  // files stand: the file is created on the second thread, still
  // exclusively, and what a create at once would do follows from there:
  // - should another run have put a file there meanwhile, it is replaced
  //   when whole, as any file that stood at the place;
  // - a place the file system refuses (a name too long for it, a letter it
  //   cannot hold) sends the entry under its File key;
  // - where nothing can be had, the create fails as a write does.
  auto file = std::make_shared<OutputFile>();
  file->folder = plan_[entry].folder;
  file->name = files_.long_name(entry);
  file->made = false;
  auto create = [this, file, entry] {
    files::Reason why;
    const files::Folder* folder = OpenFolder(writing_cursor_, file->folder);
    if (folder != nullptr) file->fd = files::CreateNewFile(*folder, file->name, &why);
    if (!file->fd && why.kind == files::Reason::Kind::kExists) {
      file->fd = CreateTemporary(*folder, &file->name);
      file->lies = OutputFile::Lies::kTemporary;
    } else if (!file->fd && NoRoom(why)) {
      behind_.NoteFailure(Code(why.kind));
      return;
    }
    if (!file->fd) {
      file->folder.reset();
      file->name = files_.key(entry);
      file->fd = files::CreateNewFile(tree_.top(), file->name, nullptr);
      file->lies = OutputFile::Lies::kUnderKey;
    }
    if (file->fd) {
      file->made = true;
    } else {
      behind_.NoteFailure(kNoPlace);
    }
  };
  behind_.Then(create, nullptr);
  return MakeOutput(entry, EntryOutput::Mode::kNew, std::move(file));
}

void ExtractionOutput::Count(OutputFile& file) {
  file.counted = true;
  ++open_files_;
}

void ExtractionOutput::Uncount(OutputFile& file) {
  if (file.counted) --open_files_;
  file.counted = false;
}

std::unique_ptr<EntryOutput> ExtractionOutput::Open(std::size_t entry) {
  if (!IsWritable(entry)) return nullptr;
  if (open_files_.load() >= max_open_files_) behind_.Drain();
  const ExtractionPlan::Step& step = plan_[entry];
  if (step.action == ExtractionPlan::Action::kUnderKey) return OpenUnderKey(entry);
  const FolderState state = EnsureFolder(step.folder);
  if (state == FolderState::kUnusable) return OpenUnderKey(entry);
  PlaceState& place = places_[step.place];
  if (place.ours && place.writer > entry) {
    // A later entry of the catalogue has this place already and keeps it.
    return MakeOutput(entry, EntryOutput::Mode::kDiscard, nullptr);
  }
  if (!place.ours && state == FolderState::kMade) return OpenLater(entry);
  const files::Folder* folder = OpenFolder(decoding_cursor_, step.folder);
  if (folder == nullptr) return OpenUnderKey(entry);
  auto file = std::make_shared<OutputFile>();
  file->folder = step.folder;
  if (!place.ours) {
    file->name = files_.long_name(entry);
    files::Reason why;
    file->fd = files::CreateNewFile(*folder, file->name, &why);
    if (file->fd) {
      Count(*file);
      return MakeOutput(entry, EntryOutput::Mode::kNew, std::move(file));
    }
    if (why.kind != files::Reason::Kind::kExists) return OpenUnderKey(entry);
    place.existed_before = true;
    // Only a file (or a link) is replaced; a folder of the user's that
    // stands at the place stays, and the entry goes under its File key.
    if (files::IsFolderAt(*folder, file->name)) return OpenUnderKey(entry);
  }
  file->fd = CreateTemporary(*folder, &file->name);
  if (!file->fd) return OpenUnderKey(entry);
  Count(*file);
  file->lies = OutputFile::Lies::kTemporary;
  return MakeOutput(entry, EntryOutput::Mode::kReplace, std::move(file));
}

void ExtractionOutput::Remove(OutputFile& file) {
  file.fd.reset();
  Uncount(file);
  if (!file.made) return;
  const files::Folder* folder = OpenFolder(writing_cursor_, file.folder);
  if (folder != nullptr) files::RemoveAt(*folder, file.name);
  file.made = false;
}

void ExtractionOutput::Land(OutputFile& file, std::size_t entry) {
  Landed& landed = entries_[entry].landed;
  switch (file.lies) {
    case OutputFile::Lies::kUnderKey:
      landed = Landed::kUnderKey;
      return;
    case OutputFile::Lies::kAtPlace:
      landed = Landed::kInTree;
      return;
    case OutputFile::Lies::kTemporary:
      break;
  }
  const files::Folder* folder = OpenFolder(writing_cursor_, file.folder);
  if (folder == nullptr) return;
  if (files::RenameAt(*folder, file.name, files_.long_name(entry))) {
    landed = Landed::kInTree;
    return;
  }
  // Something that is not a file stands at the place: the entry ends under
  // its File key, unless something stands there too.
  if (files::LinkAt(*folder, file.name, tree_.top(), files_.key(entry))) landed = Landed::kUnderKey;
  files::RemoveAt(*folder, file.name);
}

bool ExtractionOutput::Finish(std::unique_ptr<EntryOutput> output, std::optional<time_t> written) {
  EntryOutput& out = *output;
  const std::size_t entry = out.entry_;
  entries_[entry].delivered = true;
  if (out.mode_ == EntryOutput::Mode::kDiscard) {
    entries_[entry].landed = Landed::kInTree;
    return true;
  }
  std::shared_ptr<OutputFile> handed = std::move(out.file_);
  if (!handed) return false;
  if (out.mode_ != EntryOutput::Mode::kUnderKey) {
    // The place is this entry's from now on, for the entries that follow.
    PlaceState& state = places_[plan_[entry].place];
    state.ours = true;
    state.writer = entry;
  }
  auto end = [this, handed, written, entry] {
    if (written) files::SetLastWriteTime(handed->fd.get(), *written);
    const bool closed = handed->fd.Close();
    Uncount(*handed);
    if (!closed) {
      behind_.NoteFailure(Code(files::Reason::Kind::kOther));
      Remove(*handed);
      return;
    }
    Land(*handed, entry);
  };
  auto drop = [this, handed] { Remove(*handed); };
  behind_.Then(end, drop);
  return !behind_.Failed();
}

std::size_t ExtractionOutput::Place(bool verbose) {
  behind_.Drain();
  std::size_t placed = 0;
  for (std::size_t i = 0; i < plan_.size(); ++i) {
    const ExtractionPlan::Step& step = plan_[i];
    if (step.action == ExtractionPlan::Action::kNone) continue;
    ++placed;
    // Reported when extraction began; such an entry never reaches the disk.
    if (step.action == ExtractionPlan::Action::kUnsafe) continue;
    bool at_place = false;
    bool stood = false;
    bool reported = false;
    if (step.action == ExtractionPlan::Action::kToPlace) {
      EnsureFolder(step.folder);
      PlaceState& place = places_[step.place];
      at_place = entries_[i].landed == Landed::kInTree;
      stood = place.existed_before;
      reported = place.reported_filled;
      if (at_place) place.reported_filled = true;
    }
    if (verbose) {
      ConsoleLine(std::string(files_.key(i)) + " -> " + plan_.PlaceText(i) +
                  ExtractionPlan::PlacementWord(at_place, stood, reported));
    }
  }
  return placed;
}
