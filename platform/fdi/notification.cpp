#include "fdi/notification.h"

#include <cstring>

namespace fdi {
namespace {

constexpr unsigned short kAttributeRunAfterExtract = 0x40;

// Copies a name of the cabinet (NUL-terminated within kMaxNameBytes, as
// the directory reads it) into a buffer of the same size.
char* CopyName(const char (&from)[kMaxNameBytes], char (&to)[kMaxNameBytes]) {
  std::memcpy(to, from, kMaxNameBytes);
  return to;
}

// The fields every notification about an entry carries.
void DescribeEntry(const CabinetEntry& entry, FDINOTIFICATION* notification) {
  notification->date = entry.date;
  notification->time = entry.time;
  notification->attribs = entry.attributes;
  notification->iFolder = entry.folder;
}

}  // namespace

FDINOTIFICATION BuildNotification(FDINOTIFICATIONTYPE type, const NotificationSubject& subject,
                                  NotificationStrings* strings) {
  const CabinetDirectory& directory = subject.directory;
  FDINOTIFICATION notification = {};
  notification.setID = directory.header.set_id;
  notification.iCabinet = directory.header.index;
  switch (type) {
    case fdintCABINET_INFO:
      notification.psz1 = CopyName(directory.next_cabinet, strings->cabinet);
      notification.psz2 = CopyName(directory.next_disk, strings->disk);
      strings->folder.assign(*subject.folder);
      notification.psz3 = strings->folder.data();
      break;
    case fdintPARTIAL_FILE:
      notification.psz1 = CopyName(subject.entry->name, strings->name);
      notification.psz2 = CopyName(directory.previous_cabinet, strings->cabinet);
      notification.psz3 = CopyName(directory.previous_disk, strings->disk);
      notification.iFolder = subject.entry->folder;
      break;
    case fdintCOPY_FILE:
      notification.cb = static_cast<long>(subject.entry->size);
      notification.psz1 = CopyName(subject.entry->name, strings->name);
      DescribeEntry(*subject.entry, &notification);
      break;
    case fdintCLOSE_FILE_INFO:
      notification.cb = (subject.entry->attributes & kAttributeRunAfterExtract) != 0 ? 1 : 0;
      notification.psz1 = CopyName(subject.entry->name, strings->name);
      notification.hf = subject.output;
      DescribeEntry(*subject.entry, &notification);
      break;
    case fdintNEXT_CABINET: {
      notification.psz1 = CopyName(directory.next_cabinet, strings->cabinet);
      notification.psz2 = CopyName(directory.next_disk, strings->disk);
      // The callee may write a folder of up to CB_MAX_CAB_PATH bytes here.
      const CallbackString& folder = *subject.folder;
      std::size_t capacity =
          folder.size() + 1 > CB_MAX_CAB_PATH ? folder.size() + 1 : CB_MAX_CAB_PATH;
      strings->folder.assign(capacity, '\0');
      std::memcpy(strings->folder.data(), folder.c_str(), folder.size() + 1);
      notification.psz3 = strings->folder.data();
      notification.iCabinet = static_cast<unsigned short>(directory.header.index + 1);
      notification.fdie = subject.problem;
      break;
    }
    case fdintENUMERATE:
      return FDINOTIFICATION{};
  }
  return notification;
}

intptr_t Notifier::Send(FDINOTIFICATIONTYPE type, const NotificationSubject& subject) {
  FDINOTIFICATION notification = BuildNotification(type, subject, &strings_);
  notification.pv = user_;
  return notify_(type, &notification);
}

const char* Notifier::AnsweredFolder() {
  if (strings_.folder.empty()) return "";
  strings_.folder.back() = '\0';
  return strings_.folder.c_str();
}

}  // namespace fdi
