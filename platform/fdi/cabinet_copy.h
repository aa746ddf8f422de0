// One FDICopy call: walks the entries of a cabinet, asks the notification
// callback about each and has the chosen decoder write the chosen ones into
// the handles the callback returns.
//
// Which entries a copy handles: every entry of each folder that begins in
// the named cabinet. When the last such folder goes on in the following
// cabinet (an entry is marked as continued there), that cabinet is asked for
// and joined to the set (fdi/cabinet_set.h) before the folder's first entry
// is decoded (libmspack's decoders read ahead, past the entry they decode),
// as are the cabinets after it as long as an entry goes on. When a following
// cabinet cannot be had, the entries before the cut are still decoded from
// the cabinets at hand (those that the decoder can finish without reading
// past the cut come out whole), and the copy then fails. Entries that the
// following cabinet lists in the continued folder besides the continued ones
// are handled too; libmspack's joining drops such entries, though, so for
// them the copy fails with FDIERROR_CORRUPT_CABINET (cabinet makers start a
// new folder after a cut, so sets do not hold them). Entries of a folder that
// began in an earlier cabinet cannot be decoded from this one alone (LZX and
// MSZIP carry their history across the cut), so they are reported with
// fdintPARTIAL_FILE and left to the copy of the cabinet where the folder
// began. Copying each cabinet of a set in turn therefore writes every entry
// exactly once.
#pragma once

#include <cstddef>

#include "fdi/cabinet_set.h"
#include "fdi/decoder_choice.h"
#include "fdi/fdi_context.h"
#include "fdi/notification.h"

namespace fdi {

class CabinetCopy {
 public:
  CabinetCopy(Context& context, PFNFDINOTIFY notify, void* user);
  CabinetCopy(const CabinetCopy&) = delete;
  CabinetCopy& operator=(const CabinetCopy&) = delete;

  // Copies the cabinet `folder` + `name`; true when every entry was handled.
  // Otherwise error() and decoder_error() tell why.
  bool Run(const char* name, const char* folder);

  FDIERROR error() const { return failure_.error; }
  int decoder_error() const { return failure_.decoder_error; }

 private:
  bool Fail(const Result& failure);
  bool CopyEntriesOf(std::size_t volume);
  bool CopyEntry(std::size_t volume, std::size_t entry);

  const Callbacks& callbacks_;
  Notifier notifier_;
  CabinetSet set_;
  DecoderChoice decoders_;
  Result failure_;
};

}  // namespace fdi
