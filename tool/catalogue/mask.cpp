#include "catalogue/mask.h"

#include <vector>

#include "files/ascii.h"

namespace {

bool EqualLetters(char a, char b) { return files::ToLowerAscii(a) == files::ToLowerAscii(b); }

}  // namespace

// The matcher is the backtracking definition Match(m, k) ("does the mask
// from m match the name from k") worked out as a table, one mask position at
// a time from the end, so that no pair (m, k) is ever tried twice:
//   - past the end of the mask or of the name: true exactly when the rest of
//     the mask is only "*" and "?" and the name is used up;
//   - at a run of "*": true when the mask ends with the run, otherwise when
//     the mask after the run matches from some k' >= k that is still inside
//     the name;
//   - at "?": the rest matches from k + 1;
//   - at a literal: equal letters, and the rest matches from k + 1.
bool MatchesMask(std::string_view mask, std::string_view name) {
  const std::size_t mask_size = mask.size();
  const std::size_t name_size = name.size();
  if (mask_size == 0) return true;

  // Row m holds Match(m, k) for k = 0 .. name_size (0-based positions).
  std::vector<char> next_row(name_size + 1, 0);  // row m + 1
  std::vector<char> row(name_size + 1, 0);
  // For the nearest non-"*" position after a run of "*": whether the mask
  // from there matches from some k' in [k, name_size).
  std::vector<char> any_from(name_size + 1, 0);
  bool have_literal_after = false;  // a non-"*" position lies after m

  next_row[name_size] = 1;      // the mask and the name are both used up
  bool only_wild_after = true;  // mask[m ..] is only "*" and "?"

  for (std::size_t m = mask_size; m-- > 0;) {
    const char token = mask[m];
    only_wild_after = only_wild_after && (token == '*' || token == '?');
    row[name_size] = only_wild_after ? 1 : 0;
    for (std::size_t k = 0; k < name_size; ++k) {
      if (token == '*') {
        row[k] = have_literal_after ? any_from[k] : 1;
      } else if (token == '?') {
        row[k] = next_row[k + 1];
      } else {
        row[k] = EqualLetters(token, name[k]) ? next_row[k + 1] : 0;
      }
    }
    if (token != '*') {
      // This row is where a run of "*" before it would continue.
      char seen = 0;
      any_from[name_size] = 0;
      for (std::size_t k = name_size; k-- > 0;) {
        seen = static_cast<char>(seen | row[k]);
        any_from[k] = seen;
      }
      have_literal_after = true;
    }
    row.swap(next_row);
  }
  return next_row[0] != 0;
}
