// Opens a package whose File table has 100,000 rows and reads every row
// through the installer interface, as the listing does; prints the time.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/files_package.h"
#include "fixtures/package_writer.h"
#include "msi/msiquery.h"

namespace {

constexpr int kFiles = 100000;
constexpr int kFolders = 200;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Reads every File row's fields; returns the rows read, or -1 on failure.
long ReadFileTable(const std::string& path) {
  MSIHANDLE database = 0;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) return -1;
  MSIHANDLE view = 0;
  long rows = -1;
  if (MsiDatabaseOpenViewA(database, "select * from `File`", &view) == ERROR_SUCCESS &&
      MsiViewExecute(view, 0) == ERROR_SUCCESS) {
    rows = 0;
    std::vector<char> buffer(256);
    MSIHANDLE record = 0;
    while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
      for (UINT field : {1u, 2u, 3u, 5u, 6u}) {
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        MsiRecordGetStringA(record, field, buffer.data(), &size);
      }
      for (UINT field : {4u, 7u, 8u}) MsiRecordGetInteger(record, field);
      MsiCloseHandle(record);
      ++rows;
    }
  }
  MsiCloseHandle(view);
  MsiCloseHandle(database);
  return rows;
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "pandrel-bench-open-file-table";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "files.msi").string();

  auto started = Clock::now();
  fixtures::WritePackageFile(path, fixtures::FilesPackage(kFiles, kFolders));
  std::printf("writing the package (%d files): %.1f ms, %ju bytes\n", kFiles, Milliseconds(started),
              static_cast<std::uintmax_t>(std::filesystem::file_size(path)));

  for (int round = 1; round <= 3; ++round) {
    started = Clock::now();
    const std::clock_t cpu_started = std::clock();
    const long rows = ReadFileTable(path);
    const double cpu = 1000.0 * static_cast<double>(std::clock() - cpu_started) / CLOCKS_PER_SEC;
    std::printf("open + read all File rows, round %d: %.1f ms wall, %.1f ms CPU (%ld rows)\n",
                round, Milliseconds(started), cpu, rows);
    if (rows != kFiles) return 1;
  }
  std::filesystem::remove_all(folder);
  return 0;
}
