// The writing thread: bytes handed in pieces of every size, round its ring
// many times, land in their files whole and in order; the work handed
// after a failed write is dropped until the failure is taken.
#include "cabinet/write_behind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/target_tree.h"
#include "support/test_support.h"

namespace {

WriteBehind::Descriptor Create(const test_support::TempDir& dir, const std::string& name) {
  files::TargetTree tree(dir.path().string());
  return std::make_shared<files::UniqueHandle>(files::CreateNewFile(tree.top(), name, nullptr));
}

TEST(WriteBehindTest, PiecesOfEverySizeGoRoundTheRingIntoTheirFiles) {
  test_support::TempDir dir;
  std::string expected[3];
  {
    WriteBehind behind;
    WriteBehind::Descriptor files[3] = {Create(dir, "0"), Create(dir, "1"), Create(dir, "2")};
    // Sizes from one byte to past a quarter of the ring, about 40 MiB in all.
    std::size_t size = 1;
    for (int i = 0; i < 120; ++i) {
      std::string piece(size, static_cast<char>('a' + i % 26));
      piece.front() = static_cast<char>(i);
      behind.Write(files[i % 3], piece.data(), piece.size());
      expected[i % 3] += piece;
      size = size * 7 / 4 + 1;
      if (size > (3u << 20)) size = size % 70001;
    }
    int closed = 0;
    behind.Then([&] { ++closed; }, nullptr);
    EXPECT_EQ(behind.TakeFailure(), 0);
    EXPECT_EQ(closed, 1);
  }
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(test_support::ReadFile(dir / std::to_string(i)) == expected[i]) << i;
}

TEST(WriteBehindTest, AFailedWriteDropsWhatFollowsUntilTaken) {
  test_support::TempDir dir;
  WriteBehind behind;
  auto unwritable = std::make_shared<files::UniqueHandle>();  // no file
  behind.Write(unwritable, "x", 1);
  std::string ran;
  behind.Then([&] { ran += "done "; }, [&] { ran += "dropped "; });
  EXPECT_NE(behind.TakeFailure(), 0);
  behind.Then([&] { ran += "done"; }, [&] { ran += "dropped"; });
  behind.Drain();
  EXPECT_EQ(ran, "dropped done");
}

TEST(WriteBehindTest, ManyTasksWaitForRoomAndRunInTheOrderHanded) {
  // Far more tasks than may be on their way at once, none with bytes.
  WriteBehind behind;
  std::vector<int> order;
  for (int i = 0; i < 50000; ++i) behind.Then([&order, i] { order.push_back(i); }, nullptr);
  behind.Drain();
  ASSERT_EQ(order.size(), 50000u);
  for (int i = 0; i < 50000; ++i) ASSERT_EQ(order[i], i);
}

}  // namespace
