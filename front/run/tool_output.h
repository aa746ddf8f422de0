// Reads the console tool's output for the lines that report a failure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelin {

// Collects the lines that begin with "ERROR" from output fed in pieces of any
// size. Lines end at LF, a CR before it belongs to the line end. Hostile
// output is bounded: at most kMaxLines lines of at most kMaxLineBytes bytes
// are kept (a longer line is cut); further ERROR lines are only counted.
class ErrorLines {
 public:
  static constexpr std::size_t kMaxLines = 40;
  static constexpr std::size_t kMaxLineBytes = 512;

  void Feed(std::string_view bytes);
  // The output has ended: a last line without its LF counts too.
  void Finish();

  // True when the output held at least one ERROR line.
  bool Any() const { return !kept_.empty(); }
  const std::vector<std::string>& Kept() const { return kept_; }
  // ERROR lines beyond the first kMaxLines.
  std::size_t Dropped() const { return dropped_; }

 private:
  void EndLine();

  std::vector<std::string> kept_;
  std::size_t dropped_ = 0;
  std::string line_;  // the line being read, cut at kMaxLineBytes + 1
};

// Feeds the whole file `path` to `lines` and finishes it; a file that cannot
// be read gives nothing.
void ReadErrorLines(const std::string& path, ErrorLines& lines);

}  // namespace tarvelin
