#include "core/reg_filing.h"

#include "console/output_format.h"
#include "core/file_ops.h"
#include "core/run_texts.h"
#include "files/files.h"
#include "files/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tarvelin {

namespace {

constexpr int kBannerLines = static_cast<int>(tool_output::kBanner.size());

// Copies the lines of `in` after the banner to `out`, each ended by CR LF.
// Reads and writes in pieces: only one line is held at a time.
bool CopyScriptLines(int in, int out) {
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
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
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
  if (!DeleteFile(script_path)) return false;
  files::UniqueFd out(
      ::open(script_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.valid()) return false;
  files::UniqueFd in(::open(output_path.c_str(), O_RDONLY | O_CLOEXEC));
  bool ok = !in.valid() || CopyScriptLines(in.get(), out.get());
  ok = ok &&
       files::WriteAll(out.get(), std::string(kScriptVersionLine) + "\r\n;" + kCredit + "\r\n");
  ok = out.Close() && ok;
  if (!ok) ::unlink(script_path.c_str());
  return ok;
}

}  // namespace tarvelin
