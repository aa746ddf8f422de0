// The cabinets of a set that one copy reads, in set order from the one
// named to FDICopy (volume 0): each one's directory as we read it, and
// libmspack's parse of the same cabinets, joined with its append, kept in
// step with ours so that an entry of ours can be handed to libmspack.
//
// A following cabinet is asked for with fdintNEXT_CABINET, looked for in
// the folder the callee answers (under another spelling of its name when
// that name is missing), refused unless it is the next of the same set, and
// announced with fdintCABINET_INFO once it has joined. While it cannot be
// opened it is asked for again, with the reason, at most
// kNextCabinetAttempts times in all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "fdi/cabinet_directory.h"
#include "fdi/callback_allocator.h"
#include "fdi/fdi_context.h"
#include "fdi/mspack_bridge.h"
#include "fdi/notification.h"

namespace fdi {

class CabinetSet {
 public:
  // How often fdintNEXT_CABINET is sent for a following cabinet that cannot
  // be opened before the copy gives up by itself, so that a callee that
  // always answers 0 does not keep the copy going forever.
  static constexpr int kNextCabinetAttempts = 8;

  CabinetSet(Context& context, Notifier& notifier);
  ~CabinetSet();
  CabinetSet(const CabinetSet&) = delete;
  CabinetSet& operator=(const CabinetSet&) = delete;

  // Opens the cabinet `folder` + `name` as volume 0 and announces it.
  Result Open(const char* name, const char* folder);

  // Joins the following cabinets that hold the rest of each entry of
  // `volume` marked as going on in the next one (and of each such entry's
  // tail that goes on again). Fails when one cannot be had or does not list
  // such a tail.
  Result JoinFollowing(std::size_t volume);

  // The volumes so far; the set grows (at its end only) as cabinets join.
  std::size_t size() const { return volumes_.size(); }
  const CabinetDirectory& directory(std::size_t volume) const { return volumes_[volume].directory; }
  // The path the volume was opened at; it stays put while the set lives.
  const char* path(std::size_t volume) const { return volumes_[volume].path.c_str(); }

  // libmspack's file for entry `entry` of `volume`, or null when libmspack's
  // parse has none there that agrees with ours.
  mscabd_file* DecodedFile(std::size_t volume, std::size_t entry);
  // libmspack's decompressor that the set's cabinets are open in, and the
  // bridge it works through.
  mscab_decompressor* decompressor() { return decompressor_; }
  MspackBridge& bridge() { return bridge_; }

 private:
  // One cabinet of the set. The path stays put while libmspack holds on to it.
  struct Volume {
    explicit Volume(const Callbacks& callbacks)
        : path(CallbackAllocator<char>(callbacks)),
          directory(callbacks),
          decoded_files(CallbackAllocator<mscabd_file*>(callbacks)) {}
    CallbackString path;
    CabinetDirectory directory;
    mscabd_cabinet* decoded = nullptr;  // joined into volumes_[0].decoded once appended
    // libmspack's file for each entry of the directory (null for the tails
    // of entries continued from the cabinet before); made at first use.
    CallbackVector<mscabd_file*> decoded_files;
  };

  FDIERROR ReadDirectory(Volume& volume);
  FDIERROR OpenDecoded(Volume& volume);
  Result EnsureFollowing(std::size_t volume, const CabinetEntry& entry);
  Result LoadNext(std::size_t volume);
  FDIERROR OpenNext(std::size_t volume, const char* name);
  bool FindFolderMatch(const char* name, CallbackString* path);
  Result Announce(std::size_t volume);

  const Callbacks& callbacks_;
  Notifier& notifier_;
  MspackBridge bridge_;
  mscab_decompressor* decompressor_ = nullptr;
  CallbackString folder_;  // where the following cabinet is looked for
  std::deque<Volume, CallbackAllocator<Volume>> volumes_;
  // The decoder's code for the last cabinet libmspack would not open or
  // join; reported with a following cabinet that could not be had.
  int decoder_error_ = 0;
};

}  // namespace fdi
