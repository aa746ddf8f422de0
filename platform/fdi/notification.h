// The notifications a copy sends to the caller's callback. Each one is built
// from what it is about by BuildNotification, with the fields fdi/fdi.h lists
// for its type and every other field 0 or null. The strings a notification
// points to are copies that the notifier keeps until its next notification,
// since the callee may write to them (and, for fdintNEXT_CABINET, writes the
// folder to look in).
#pragma once

#include <cstdint>

#include "fdi/cabinet_directory.h"
#include "fdi/callback_allocator.h"
#include "fdi/fdi.h"

namespace fdi {

// What a notification is about. `directory` is the cabinet it concerns;
// the other fields are read only by the types named beside them.
struct NotificationSubject {
  const CabinetDirectory& directory;
  const CabinetEntry* entry = nullptr;  // fdintPARTIAL_FILE, fdintCOPY_FILE, fdintCLOSE_FILE_INFO
  const CallbackString* folder = nullptr;  // fdintCABINET_INFO, fdintNEXT_CABINET
  intptr_t output = 0;                     // fdintCLOSE_FILE_INFO: the entry's handle
  FDIERROR problem = FDIERROR_NONE;        // fdintNEXT_CABINET: why it is asked again
};

// The copies a notification's strings point to.
struct NotificationStrings {
  explicit NotificationStrings(const Callbacks& callbacks)
      : folder(CallbackAllocator<char>(callbacks)) {}
  char name[kMaxNameBytes] = {};
  char cabinet[kMaxNameBytes] = {};
  char disk[kMaxNameBytes] = {};
  // The folder, in a buffer of at least CB_MAX_CAB_PATH bytes for
  // fdintNEXT_CABINET, where the callee may write another one.
  CallbackString folder;
};

// The notification of `type` about `subject`, its strings copied into
// `strings`. fdintENUMERATE, which is never sent, gives an empty one.
FDINOTIFICATION BuildNotification(FDINOTIFICATIONTYPE type, const NotificationSubject& subject,
                                  NotificationStrings* strings);

// The caller's notification callback and the pvUser of FDICopy.
class Notifier {
 public:
  Notifier(const Callbacks& callbacks, PFNFDINOTIFY notify, void* user)
      : notify_(notify), user_(user), strings_(callbacks) {}

  // Builds the notification and sends it; the callee's answer.
  intptr_t Send(FDINOTIFICATIONTYPE type, const NotificationSubject& subject);

  // The folder in the last notification's buffer as the callee left it
  // (after fdintNEXT_CABINET: where to look for the next cabinet), cut to
  // the buffer.
  const char* AnsweredFolder();

 private:
  PFNFDINOTIFY notify_;
  void* user_;
  NotificationStrings strings_;
};

}  // namespace fdi
