// Small packages for the tool's tests, built with the fixture writer.
#pragma once

#include <string>
#include <vector>

#include "fixtures/package_writer.h"

namespace tool_tests {

struct DirectoryRow {
  std::string key;
  std::string parent;  // empty: null
  std::string default_dir;
};
struct ComponentRow {
  std::string key;
  std::string directory;
};
struct FileRow {
  std::string key;
  std::string component;
  std::string file_name;
};

inline fixtures::Cell TextOrNull(const std::string& text) {
  return text.empty() ? fixtures::Null() : fixtures::Str(text);
}

// A package with the three catalogue tables holding the given rows, in order.
inline fixtures::PackageDescription CataloguePackage(const std::vector<DirectoryRow>& directories,
                                                     const std::vector<ComponentRow>& components,
                                                     const std::vector<FileRow>& files) {
  using fixtures::Int;
  using fixtures::Null;
  using fixtures::Str;
  fixtures::PackageDescription package;
  fixtures::Table directory = fixtures::StandardTable("Directory");
  for (const auto& row : directories) {
    directory.rows.push_back({Str(row.key), TextOrNull(row.parent), Str(row.default_dir)});
  }
  fixtures::Table component = fixtures::StandardTable("Component");
  for (const auto& row : components) {
    component.rows.push_back({Str(row.key), Null(), Str(row.directory), Int(0), Null(), Null()});
  }
  fixtures::Table file = fixtures::StandardTable("File");
  int sequence = 1;
  for (const auto& row : files) {
    file.rows.push_back({Str(row.key), Str(row.component), TextOrNull(row.file_name), Int(10),
                         Null(), Null(), Int(0), Int(sequence++)});
  }
  package.tables = {file, component, directory};
  return package;
}

// The standard three-folder application: SourceDir / . / MyApp.
inline fixtures::PackageDescription SmallApplication(const std::vector<FileRow>& files) {
  return CataloguePackage({{"TARGETDIR", "", "SourceDir"},
                           {"ProgramFilesFolder", "TARGETDIR", "."},
                           {"APPDIR", "ProgramFilesFolder", "MYAPP~1|MyApp"}},
                          {{"Main", "APPDIR"}, {"Root", "TARGETDIR"}}, files);
}

}  // namespace tool_tests
