// Temporary folders, whole-file reads and writes, and the corpus folder, on
// every host.
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace test_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
  // A new folder of a random name, made by this process alone.
  std::random_device seed;
  std::mt19937_64 random(seed());
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "pandrel-test-%016llx",
                  static_cast<unsigned long long>(random()));
    std::error_code error;
    if (fs::create_directory(base / name, error)) {
      path_ = base / name;
      // For its owner alone, as mkdtemp makes it.
      fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, error);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them writable first.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

fs::path CorpusDir() {
  std::error_code ignored;
  fs::path dir = CORPUS_DIR;
  if (fs::is_directory(dir, ignored)) return fs::canonical(dir, ignored);
  return {};
}

}  // namespace test_support
