#include "run/reg_filing.h"

#include "console/output_format.h"
#include "files/files.h"
#include "host/file_ops.h"
#include "run/run_texts.h"

#include <vector>

namespace tarvelin {

namespace {

constexpr int kBannerLines = static_cast<int>(tool_output::kBanner.size());

// Copies the lines of `in` after the banner to `out`, each ended by CR LF.
// Reads and writes in pieces: only one line is held at a time.
bool CopyScriptLines(files::Handle in, files::Handle out) {
  std::vector<char> buffer(1 << 16);
  std::string line;
  int line_number = 0;
  auto finish_line = [&] {
    if (line_number <= kBannerLines) ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool ok = line_number <= kBannerLines || files::WriteAll(out, line + "\r\n");
    line.clear();
    return ok;
  };
  for (;;) {
    const long long got = files::ReadSome(in, buffer.data(), buffer.size());
    if (got < 0) return false;
    if (got == 0) break;
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
      if (buffer[i] != '\n')
        line += buffer[i];
      else if (!finish_line())
        return false;
    }
  }
  return line.empty() || finish_line();
}

}  // namespace

bool FileRegistryScript(const std::string& output_path, const std::string& script_path) {
  if (!RemoveFile(script_path)) return false;
  files::UniqueHandle out = CreateNewFile(script_path);
  if (!out) return false;
  const std::optional<files::ReadableFile> in = files::OpenRegularFile(output_path);
  bool ok = !in || CopyScriptLines(in->handle.get(), out.get());
  ok = ok &&
       files::WriteAll(out.get(), std::string(kScriptVersionLine) + "\r\n;" + Credit() + "\r\n");
  ok = out.Close() && ok;
  if (!ok) RemoveFile(script_path);
  return ok;
}

}  // namespace tarvelin
