#include "run/tool_output.h"

#include "console/output_format.h"
#include "files/files.h"

namespace tarvelin {

void ErrorLines::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    // One byte past the limit is kept, to tell a CR at the very end from a
    // line that was cut.
    if (line_.size() <= kMaxLineBytes)
      line_.append(piece.substr(0, kMaxLineBytes + 1 - line_.size()));
    if (end == std::string_view::npos) return;
    EndLine();
    bytes.remove_prefix(end + 1);
  }
}

void ErrorLines::Finish() {
  if (!line_.empty()) EndLine();
}

void ErrorLines::EndLine() {
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (line_.size() > kMaxLineBytes) line_.resize(kMaxLineBytes);
  if (std::string_view(line_).starts_with(tool_output::kErrorWord)) {
    if (kept_.size() < kMaxLines)
      kept_.push_back(line_);
    else
      ++dropped_;
  }
  line_.clear();
}

void ReadErrorLines(const std::string& path, ErrorLines& lines) {
  const std::optional<files::ReadableFile> in = files::OpenRegularFile(path);
  if (!in) return;
  char buffer[1 << 14];
  for (;;) {
    const long long got = files::ReadSome(in->handle.get(), buffer, sizeof buffer);
    if (got <= 0) break;
    lines.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
  }
  lines.Finish();
}

}  // namespace tarvelin
