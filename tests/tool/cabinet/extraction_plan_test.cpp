// The plan of `x`, decided from the tables and the selection alone: which
// entries are written, where, which share a place, and the word placement
// prints.
#include "cabinet/extraction_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = ExtractionPlan::Action;

TEST(ExtractionPlan, EachEntrysActionPlaceAndText) {
  CatalogueStore store;
  auto folder = [&](const std::string& key, const std::string& parent, const std::string& name) {
    store[kDirectoryKey].Append(key);
    store[kDirectoryParent].Append(parent);
    store[kDirectoryDefault].Append(name);
  };
  folder("TARGETDIR", "", "SourceDir");
  folder("APP", "TARGETDIR", "MYAPP~1|App");
  folder("UP", "TARGETDIR", "..");
  std::string above = "APP";
  for (int level = 0; level < 500; ++level) {  // 500 levels of 10 bytes: too deep at the end
    folder("DEEP" + std::to_string(level), above, "123456789");
    above = "DEEP" + std::to_string(level);
  }
  for (const auto& [key, directory] : std::vector<std::pair<std::string, std::string>>{
           {"Main", "APP"}, {"Up", "UP"}, {"Deep", above}}) {
    store[kComponentKey].Append(key);
    store[kComponentDirectory].Append(directory);
  }
  struct Case {
    const char* key;
    const char* component;
    const char* file_name;
    bool selected;
    Action action;
    const char* text;  // PlaceText
  };
  const Case cases[] = {
      {"F0", "Main", "A.TXT|a.txt", true, Action::kToPlace, "SourceDir/App/a.txt"},
      {"F1", "Main", "a.txt", true, Action::kToPlace, "SourceDir/App/a.txt"},  // the same place
      {"F2", "Main", "b.txt", false, Action::kNone, "F2"},
      {"../F3", "Main", "c.txt", true, Action::kUnsafe, "SourceDir/App/c.txt"},
      {"F4", "Up", "d.txt", true, Action::kUnsafe, "SourceDir/../d.txt"},
      {"F5", "Main", "e|..", true, Action::kUnsafe, "SourceDir/App/.."},
      {"F6", "Deep", "deep.txt", true, Action::kUnderKey, "F6"},
      {"F7", "Main", "b.txt", true, Action::kToPlace, "SourceDir/App/b.txt"},
  };
  FolderColumn selected;
  std::vector<FileNumbers> numbers;
  for (const Case& c : cases) {
    store[kFileKey].Append(c.key);
    store[kFileComponent].Append(c.component);
    store[kFileName].Append(c.file_name);
    numbers.push_back({});
  }
  PackageFiles files(store, numbers);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    selected.Append(cases[i].selected ? files.folder(i) : FolderColumn::kNone);

  ExtractionPlan plan(files, selected);
  ASSERT_EQ(plan.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].key);
    EXPECT_EQ(plan[i].action, cases[i].action);
    EXPECT_EQ(plan.PlaceText(i), cases[i].text);
  }
  EXPECT_EQ(plan[0].place, plan[1].place);
  EXPECT_NE(plan[0].place, plan[7].place);
  EXPECT_EQ(plan.too_deep(), 1u);
}

TEST(ExtractionPlan, PlacementSaysRenamingOnlyForTheFirstToFillAnEmptyPlace) {
  // landed at its place, a file stood there before the run, reported before
  EXPECT_STREQ(ExtractionPlan::PlacementWord(true, false, false), " renaming");
  EXPECT_STREQ(ExtractionPlan::PlacementWord(true, true, false), " replaceing");
  EXPECT_STREQ(ExtractionPlan::PlacementWord(true, false, true), " replaceing");
  EXPECT_STREQ(ExtractionPlan::PlacementWord(false, false, false), " replaceing");
}

}  // namespace
