// Cuts a one-folder cabinet, as the fixture writer makes it, into a set of
// cabinets the way cabinet makers split a folder: each cut falls inside a
// data block, whose first part ends one cabinet (recorded with an
// uncompressed size of 0) and whose rest opens the next. Entries whose data
// cross a cut are listed in both cabinets as continued. libmspack joins
// only sets cut this way, and only when no entry starts after the first
// cut, so the tests keep the crossing entry last.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fdi_test {

// `cut_blocks[i]` is the data block cut between cabinet i and i + 1 (rising).
std::vector<std::string> CutCabinet(const std::string& cabinet,
                                    const std::vector<std::string>& names,
                                    const std::vector<std::size_t>& cut_blocks);

}  // namespace fdi_test
