// The folder tree: paths through parent links, where chains end, source
// paths, and the folders too deep or unsafe for a path.
#include "catalogue/directory_tree.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Row {
  std::string key, parent, default_dir;
};

void Load(CatalogueStore& store, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    store[kDirectoryKey].Append(row.key);
    store[kDirectoryParent].Append(row.parent);
    store[kDirectoryDefault].Append(row.default_dir);
  }
}

TEST(DirectoryTree, PathsSourcePathsAndWhereChainsEnd) {
  CatalogueStore store;
  Load(store, {{"TARGETDIR", "", "SourceDir"},
               {"PF", "TARGETDIR", "."},
               {"APP", "PF", "MYAPP~1|My App"},
               {"SRC", "APP", "TGT~1|Target:SRC~1|Source"},
               {"SELF", "SELF", "Self"},
               {"A", "C", "a"},  // A -> C -> B -> A, met first at A
               {"B", "A", "b"},
               {"C", "B", "c"},
               {"ORPHAN", "NOROW", "Orphan"},
               {"APP", "TARGETDIR", "second"},  // the first row of a key wins
               {"UP", "TARGETDIR", ".."}});
  DirectoryTree tree(store);
  // key, directory path, long source path, short source path
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"TARGETDIR", "SourceDir/", "", ""},
      {"PF", "SourceDir/./", "", ""},
      {"APP", "SourceDir/./My App/", "My App/", "MYAPP~1/"},
      {"SRC", "SourceDir/./My App/Source/", "My App/Source/", "MYAPP~1/SRC~1/"},
      {"SELF", "Self/", "", ""},
      {"A", "b/c/a/", "b/c/a/", "b/c/a/"},
      {"B", "b/", "b/", "b/"},
      {"ORPHAN", "NOROW/Orphan/", "Orphan/", "Orphan/"},
      {"NOSUCHKEY", "NOSUCHKEY/", "", ""},
  };
  for (const auto& [key, path, source_long, source_short] : cases) {
    SCOPED_TRACE(key);
    const DirectoryTree::Node node = tree.NodeOf(key);
    EXPECT_EQ(tree.Path(node), path);
    EXPECT_EQ(tree.path_bytes(node), std::string(path).size());
    bool safe = true;
    EXPECT_EQ(tree.SourcePath(node, false, &safe), source_long);
    EXPECT_EQ(tree.SourcePath(node, true, &safe), source_short);
    EXPECT_TRUE(safe);
    EXPECT_FALSE(tree.unsafe(node));
    EXPECT_FALSE(tree.too_deep(node));
  }
  EXPECT_EQ(tree.NodeOf("NOSUCHKEY"), tree.NodeOf("NOSUCHKEY"));
  EXPECT_TRUE(tree.unsafe(tree.NodeOf("UP")));
  bool safe = true;
  tree.SourcePath(tree.NodeOf("UP"), false, &safe);
  EXPECT_FALSE(safe);
}

TEST(DirectoryTree, AChainPastTheLimitIsTooDeepAndCostsNoPathPerFolder) {
  // 100,000 folders, each inside the one before: settling them is linear,
  // and only the first few hundred can be named.
  CatalogueStore store;
  std::vector<Row> rows = {{"R", "", "SourceDir"}};
  for (int i = 1; i <= 100000; ++i)
    rows.push_back(
        {"D" + std::to_string(i), i == 1 ? "R" : "D" + std::to_string(i - 1), "ten_bytes"});
  Load(store, rows);
  DirectoryTree tree(store);
  const auto last_named = static_cast<int>((DirectoryTree::kMaxPathBytes - 10) / 10);
  EXPECT_FALSE(tree.too_deep(tree.NodeOf("D" + std::to_string(last_named))));
  EXPECT_TRUE(tree.too_deep(tree.NodeOf("D" + std::to_string(last_named + 1))));
  EXPECT_TRUE(tree.too_deep(tree.NodeOf("D100000")));
  EXPECT_EQ(tree.path_bytes(tree.NodeOf("D100000")), DirectoryTree::kMaxPathBytes + 1);
  bool safe = true;
  EXPECT_EQ(tree.SourcePath(tree.NodeOf("D100000"), false, &safe), std::nullopt);
}

}  // namespace
