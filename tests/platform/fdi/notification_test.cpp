// The notifications a copy sends, built from what each is about: for every
// type, the fields it carries and nothing else, its strings copies that the
// callee may write to, and the folder buffer of fdintNEXT_CABINET.
#include "fdi/notification.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void* Alloc(unsigned long bytes) { return std::malloc(bytes); }
void Free(void* block) { std::free(block); }
const fdi::Callbacks kCallbacks = {Alloc, Free, nullptr, nullptr, nullptr, nullptr, nullptr};

std::string Text(const char* text) { return text == nullptr ? "(null)" : text; }

struct NotificationCase {
  FDINOTIFICATIONTYPE type;
  FDINOTIFICATION expected;  // with the strings below in psz1 to psz3
  const char* psz1;
  const char* psz2;
  const char* psz3;
};

class NotificationTest : public ::testing::Test {
 protected:
  NotificationTest() : directory_(kCallbacks), folder_(fdi::CallbackAllocator<char>(kCallbacks)) {
    directory_.header.set_id = 0x1234;
    directory_.header.index = 2;
    std::strcpy(directory_.previous_cabinet, "one.cab");
    std::strcpy(directory_.previous_disk, "Disk 1");
    std::strcpy(directory_.next_cabinet, "three.cab");
    std::strcpy(directory_.next_disk, "Disk 3");
    std::strcpy(entry_.name, "dir\\file.txt");
    entry_.size = 70000;
    entry_.folder = 3;
    entry_.date = 0x4A52;
    entry_.time = 0x8A4B;
    entry_.attributes = 0x61;  // with "run after extraction"
    folder_ = "/cabinets/";
  }

  fdi::NotificationSubject Subject() {
    return {.directory = directory_,
            .entry = &entry_,
            .folder = &folder_,
            .output = 77,
            .problem = FDIERROR_CABINET_NOT_FOUND};
  }

  fdi::CabinetDirectory directory_;
  fdi::CabinetEntry entry_;
  fdi::CallbackString folder_;
};

TEST_F(NotificationTest, EachTypeCarriesItsFieldsAndNoOthers) {
  auto fields = [](long cb, intptr_t hf, unsigned short date, unsigned short time,
                   unsigned short attribs, unsigned short set, unsigned short cabinet,
                   unsigned short folder, FDIERROR fdie) {
    FDINOTIFICATION n = {};
    n.cb = cb;
    n.hf = hf;
    n.date = date;
    n.time = time;
    n.attribs = attribs;
    n.setID = set;
    n.iCabinet = cabinet;
    n.iFolder = folder;
    n.fdie = fdie;
    return n;
  };
  const FDIERROR kNone = FDIERROR_NONE;
  const std::vector<NotificationCase> cases = {
      {fdintCABINET_INFO, fields(0, 0, 0, 0, 0, 0x1234, 2, 0, kNone), "three.cab", "Disk 3",
       "/cabinets/"},
      {fdintPARTIAL_FILE, fields(0, 0, 0, 0, 0, 0x1234, 2, 3, kNone), "dir\\file.txt", "one.cab",
       "Disk 1"},
      {fdintCOPY_FILE, fields(70000, 0, 0x4A52, 0x8A4B, 0x61, 0x1234, 2, 3, kNone), "dir\\file.txt",
       nullptr, nullptr},
      {fdintCLOSE_FILE_INFO, fields(1, 77, 0x4A52, 0x8A4B, 0x61, 0x1234, 2, 3, kNone),
       "dir\\file.txt", nullptr, nullptr},
      {fdintNEXT_CABINET, fields(0, 0, 0, 0, 0, 0x1234, 3, 0, FDIERROR_CABINET_NOT_FOUND),
       "three.cab", "Disk 3", "/cabinets/"},
      {fdintENUMERATE, fields(0, 0, 0, 0, 0, 0, 0, 0, kNone), nullptr, nullptr, nullptr},
  };
  for (const NotificationCase& c : cases) {
    SCOPED_TRACE(c.type);
    fdi::NotificationStrings strings(kCallbacks);
    const FDINOTIFICATION n = fdi::BuildNotification(c.type, Subject(), &strings);
    EXPECT_EQ(n.cb, c.expected.cb);
    EXPECT_EQ(n.hf, c.expected.hf);
    EXPECT_EQ(n.date, c.expected.date);
    EXPECT_EQ(n.time, c.expected.time);
    EXPECT_EQ(n.attribs, c.expected.attribs);
    EXPECT_EQ(n.setID, c.expected.setID);
    EXPECT_EQ(n.iCabinet, c.expected.iCabinet);
    EXPECT_EQ(n.iFolder, c.expected.iFolder);
    EXPECT_EQ(n.fdie, c.expected.fdie);
    EXPECT_EQ(n.pv, nullptr);
    EXPECT_EQ(Text(n.psz1), Text(c.psz1));
    EXPECT_EQ(Text(n.psz2), Text(c.psz2));
    EXPECT_EQ(Text(n.psz3), Text(c.psz3));
    // The strings are copies: none points into the directory, the entry or
    // the copy's own folder.
    for (const char* text : {n.psz1, n.psz2, n.psz3}) {
      if (text == nullptr) continue;
      EXPECT_NE(text, entry_.name);
      EXPECT_NE(text, directory_.next_cabinet);
      EXPECT_NE(text, directory_.previous_cabinet);
      EXPECT_NE(text, folder_.c_str());
    }
  }
}

TEST_F(NotificationTest, TheRunFlagOfCloseFollowsTheAttribute) {
  entry_.attributes = 0x21;
  fdi::NotificationStrings strings(kCallbacks);
  EXPECT_EQ(fdi::BuildNotification(fdintCLOSE_FILE_INFO, Subject(), &strings).cb, 0);
}

TEST_F(NotificationTest, NextCabinetLeavesRoomForTheCalleesFolder) {
  for (std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{CB_MAX_CAB_PATH - 1},
                             std::size_t{CB_MAX_CAB_PATH}, std::size_t{1000}}) {
    SCOPED_TRACE(length);
    folder_.assign(length, 'f');
    fdi::NotificationStrings strings(kCallbacks);
    const FDINOTIFICATION n = fdi::BuildNotification(fdintNEXT_CABINET, Subject(), &strings);
    EXPECT_EQ(std::string(n.psz3), std::string(length, 'f'));
    const std::size_t room = length + 1 > CB_MAX_CAB_PATH ? length + 1 : CB_MAX_CAB_PATH;
    EXPECT_GE(strings.folder.size(), room);
  }
}

// The notifier hands the callee pvUser, and gives back the folder the
// callee wrote, cut to its buffer when the callee left no NUL in it.
intptr_t WriteFolder(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
  EXPECT_EQ(type, fdintNEXT_CABINET);
  const char* answer = static_cast<const char*>(n->pv);
  if (std::strcmp(answer, "fill") == 0) {
    std::memset(n->psz3, 'x', CB_MAX_CAB_PATH);
  } else {
    std::strcpy(n->psz3, answer);
  }
  return 0;
}

TEST_F(NotificationTest, TheNotifierGivesBackTheFolderTheCalleeWrote) {
  char other[] = "/elsewhere/";
  fdi::Notifier notifier(kCallbacks, WriteFolder, other);
  EXPECT_EQ(notifier.Send(fdintNEXT_CABINET, Subject()), 0);
  EXPECT_STREQ(notifier.AnsweredFolder(), "/elsewhere/");

  char fill[] = "fill";
  fdi::Notifier filling(kCallbacks, WriteFolder, fill);
  filling.Send(fdintNEXT_CABINET, Subject());
  EXPECT_EQ(std::string(filling.AnsweredFolder()), std::string(CB_MAX_CAB_PATH - 1, 'x'));
}

}  // namespace
