// The shared helpers of platform/files: byte order, ASCII case, and the
// owners of descriptors and directory streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "files/ascii.h"
#include "files/byte_order.h"
#include "files/unique_dir.h"
#include "files/unique_fd.h"
#include "support/test_support.h"

namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

TEST(ByteOrder, ReadsLittleEndianOfEveryWidth) {
  const std::uint8_t bytes[] = {0x01, 0x82, 0x03, 0xF4, 0x05, 0x06, 0x07, 0x88};
  EXPECT_EQ(files::LoadU16(bytes), 0x8201u);
  EXPECT_EQ(files::LoadU24(bytes), 0x038201u);
  EXPECT_EQ(files::LoadU32(bytes), 0xF4038201u);
  EXPECT_EQ(files::LoadU64(bytes), 0x88070605F4038201ull);
}

TEST(Ascii, ChangesOnlyTheLettersAToZ) {
  for (int c = 0; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    EXPECT_EQ(files::ToLowerAscii(byte), upper ? static_cast<char>(c + 32) : byte) << c;
    EXPECT_EQ(files::ToUpperAscii(byte), lower ? static_cast<char>(c - 32) : byte) << c;
  }
  EXPECT_TRUE(files::EqualIgnoringAsciiCase("Data1.CAB", "dATA1.cab"));
  EXPECT_FALSE(files::EqualIgnoringAsciiCase("data1.cab", "data1.cab "));
  EXPECT_FALSE(files::EqualIgnoringAsciiCase("\xC3\x89", "\xC3\xA9"));  // É, é stay apart
  EXPECT_FALSE(files::EqualIgnoringAsciiCase("[", "{"));                // 0x5B vs 0x7B
}

TEST(UniqueFd, ClosesWhenItGoesAndOnReset) {
  int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  { files::UniqueFd owner(fd); }
  EXPECT_FALSE(IsOpen(fd));

  files::UniqueFd first(open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int first_fd = first.get();
  files::UniqueFd second(std::move(first));
  EXPECT_FALSE(first.valid());
  EXPECT_EQ(second.get(), first_fd);
  second.reset(open("/dev/null", O_RDONLY | O_CLOEXEC));
  EXPECT_FALSE(IsOpen(first_fd));

  const int kept = second.release();
  EXPECT_FALSE(second.valid());
  EXPECT_TRUE(IsOpen(kept));
  files::UniqueFd again(kept);
  EXPECT_TRUE(again.Close());
  EXPECT_FALSE(IsOpen(kept));
  EXPECT_TRUE(again.Close());  // nothing held: nothing to fail
}

TEST(UniqueDir, OpensListsAndCloses) {
  test_support::TempDir dir;
  test_support::WriteFile(dir / "one", "1");
  files::UniqueDir listing = files::UniqueDir::Open(dir.path().string());
  ASSERT_TRUE(listing);
  const int fd = dirfd(listing.get());
  int names = 0;
  while (const dirent* item = readdir(listing.get())) {
    if (std::string(item->d_name) == "one") ++names;
  }
  EXPECT_EQ(names, 1);
  files::UniqueDir moved = std::move(listing);
  EXPECT_FALSE(listing.valid());
  moved.reset();
  EXPECT_FALSE(IsOpen(fd));
  EXPECT_FALSE(files::UniqueDir::Open(dir / "missing"));
}

}  // namespace
