// Writes the benchmark packages, each with copies of its cabinets beside it
// for the baseline decoder:
//   bench_make_packages KIND OUT_FOLDER
// writes OUT_FOLDER/KIND.msi and OUT_FOLDER/KIND-cabs/*.cab. Kinds:
//   large   ~256 MB in 300 files over 30 folders, MSZIP, one embedded cabinet
//   small   ~120 MB in 9,000 files over 1,300 folders, MSZIP, one cabinet
//   stored  the files of `large`, stored (no compression)
//   split   the files of `large`, MSZIP, over 4 embedded cabinets
//   huge    ~512 MB in 600 files, MSZIP, one embedded cabinet (not in the
//           suite: it shows that peak memory does not grow with the package)
//   deep    60,000 one-byte files over a chain of 20,000 folders, each
//           inside the one before, stored (a hostile shape)
//   many    200,000 one-byte files over 100 folders, stored, 4 cabinets
//   list10k, list100k
//           10,000 / 100,000 files over 500 / 5,000 folders (a tree eight
//           wide), tables only, for listing
// The same kind always gives the same bytes.
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench_content.h"
#include "fixtures/cabinet_writer.h"
#include "fixtures/package_writer.h"

namespace {

using fixtures::Int;
using fixtures::Null;
using fixtures::Str;

struct Shape {
  int files;
  int folders;
  std::uint64_t total_bytes;
  double smallest;  // file sizes are spread log-uniformly between these
  double largest;
  fixtures::CabCompression compression;
  int cabinets;
  bool chain = false;  // each folder inside the one before
};

// File sizes, log-uniform, scaled so that they add up to about the total.
std::vector<std::size_t> FileSizes(const Shape& shape) {
  bench::Random random(42);
  std::vector<double> raw(shape.files);
  double sum = 0;
  for (double& size : raw) {
    double unit = static_cast<double>(random.Below(1u << 30)) / (1u << 30);
    size = shape.smallest * std::pow(shape.largest / shape.smallest, unit);
    sum += size;
  }
  std::vector<std::size_t> sizes;
  for (double size : raw)
    sizes.push_back(static_cast<std::size_t>(size * static_cast<double>(shape.total_bytes) / sum));
  return sizes;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Folder k (from 1) lies below folder (k - 1) / 8, the first eight below
// the root: a tree eight wide and a few levels deep, as installers have.
// With `chain`, folder k lies below folder k - 1 instead.
void AddFolders(int folders, fixtures::Table& directory, fixtures::Table& component,
                bool chain = false) {
  directory.rows.push_back({Str("TARGETDIR"), Null(), Str("SourceDir")});
  for (int k = 1; k <= folders; ++k) {
    const std::string number = std::to_string(k);
    const int above = chain ? k - 1 : (k - 1) / 8;
    const std::string parent =
        (chain ? k == 1 : k <= 8) ? "TARGETDIR" : "DIR" + std::to_string(above);
    directory.rows.push_back(
        {Str("DIR" + number), Str(parent), Str("FOLD~" + number + "|Folder " + number)});
    component.rows.push_back(
        {Str("COMP" + number), Null(), Str("DIR" + number), Int(0), Null(), Null()});
  }
}

void WriteListing(int files, int folders, const std::filesystem::path& path) {
  fixtures::PackageDescription package;
  fixtures::Table directory = fixtures::StandardTable("Directory");
  fixtures::Table component = fixtures::StandardTable("Component");
  fixtures::Table file = fixtures::StandardTable("File");
  AddFolders(folders, directory, component);
  for (int i = 0; i < files; ++i) {
    const std::string number = std::to_string(i + 1);
    const char* extension = bench::ExtensionOf(bench::KindOf(i), i);
    file.rows.push_back({Str("F" + number), Str("COMP" + std::to_string(i % folders + 1)),
                         Str("F" + number + "." + extension + "|Item " + number + "." + extension),
                         Int(100 + i % 1000), Null(), Null(), Int(0), Int(i + 1)});
  }
  package.long_string_refs = 2 * files + 4 * folders + 64 > 0xFF00;
  package.tables = {std::move(directory), std::move(component), std::move(file)};
  fixtures::WritePackageFile(path.string(), package);
}

void WriteKind(const std::string& kind, const std::filesystem::path& out_folder) {
  if (kind == "list10k" || kind == "list100k") {
    const int files = kind == "list10k" ? 10000 : 100000;
    WriteListing(files, files / 20, out_folder / (kind + ".msi"));
    return;
  }
  constexpr std::uint64_t kMiB = 1 << 20;
  Shape shape{300, 30, 256 * kMiB, 4096, 4.0 * kMiB, fixtures::CabCompression::kMszip, 1};
  if (kind == "small") {
    shape = {9000, 1300, 120 * kMiB, 200, 64.0 * 1024, fixtures::CabCompression::kMszip, 1};
  } else if (kind == "stored") {
    shape.compression = fixtures::CabCompression::kStored;
  } else if (kind == "split") {
    shape.cabinets = 4;
  } else if (kind == "lzx") {
    shape.compression = fixtures::CabCompression::kLzx;
  } else if (kind == "huge") {
    shape = {600, 60, 512 * kMiB, 4096, 8.0 * kMiB, fixtures::CabCompression::kMszip, 1};
  } else if (kind == "deep") {
    shape = {60000, 20000, 60000, 1, 1, fixtures::CabCompression::kStored, 1, true};
  } else if (kind == "many") {
    shape = {200000, 100, 200000, 1, 1, fixtures::CabCompression::kStored, 4};
  } else if (kind != "large") {
    throw std::invalid_argument("unknown kind " + kind);
  }

  fixtures::PackageDescription package;
  package.cfb_version = 4;
  fixtures::Table directory = fixtures::StandardTable("Directory");
  fixtures::Table component = fixtures::StandardTable("Component");
  fixtures::Table file = fixtures::StandardTable("File");
  fixtures::Table media = fixtures::StandardTable("Media");
  AddFolders(shape.folders, directory, component, shape.chain);

  const std::vector<std::size_t> sizes = FileSizes(shape);
  std::vector<fixtures::CabinetDescription> cabinets(shape.cabinets);
  for (fixtures::CabinetDescription& cabinet : cabinets) {
    cabinet.compression = shape.compression;
    cabinet.lzx_window_bits = 21;
  }
  for (int i = 0; i < shape.files; ++i) {
    const std::string number = std::to_string(i + 1);
    const bench::ContentKind content = bench::KindOf(i);
    const std::string extension = bench::ExtensionOf(content, i);
    const std::string key = "F" + number;
    file.rows.push_back({Str(key), Str("COMP" + std::to_string(i % shape.folders + 1)),
                         Str(key + "." + extension + "|Item " + number + "." + extension),
                         Int(static_cast<std::int64_t>(sizes[i])), Null(), Null(), Int(0),
                         Int(i + 1)});
    fixtures::CabFile entry;
    entry.name = key;
    entry.data = bench::MakeContent(content, sizes[i], 1000 + i);
    cabinets[static_cast<std::size_t>(i) * shape.cabinets / shape.files].files.push_back(
        std::move(entry));
  }

  const std::filesystem::path cab_folder = out_folder / (kind + "-cabs");
  std::filesystem::create_directories(cab_folder);
  int last_sequence = 0;
  for (int c = 0; c < shape.cabinets; ++c) {
    const std::string name = kind + std::to_string(c + 1) + ".cab";
    std::string bytes = fixtures::WriteCabinet(cabinets[c]);
    cabinets[c].files.clear();
    WriteBytes(cab_folder / name, bytes);
    last_sequence +=
        static_cast<int>(static_cast<std::size_t>(shape.files) * (c + 1) / shape.cabinets -
                         static_cast<std::size_t>(shape.files) * c / shape.cabinets);
    media.rows.push_back({Int(c + 1), Int(last_sequence), Null(), Str("#" + name), Null(), Null()});
    package.streams.push_back({name, std::move(bytes)});
  }
  package.long_string_refs = 2 * shape.files + 4 * shape.folders + 64 > 0xFF00;
  package.tables = {std::move(directory), std::move(component), std::move(file), std::move(media)};
  fixtures::WritePackageFile((out_folder / (kind + ".msi")).string(), package);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bench_make_packages large|small|stored|split|lzx|huge|list10k|list100k "
                 "OUT_FOLDER\n";
    return 2;
  }
  try {
    std::filesystem::create_directories(argv[2]);
    WriteKind(argv[1], argv[2]);
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "bench_make_packages: " << error.what() << "\n";
    return 1;
  }
}
