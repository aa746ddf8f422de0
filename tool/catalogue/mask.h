#pragma once

#include <string_view>

// Whether `name` matches the file-name mask: "*" stands for any run of
// bytes, "?" for exactly one byte while bytes of the name remain (a "?"
// left over once the name is used up matches nothing), every other byte for
// itself, with the letters A to Z equal to a to z. Anchored at both ends.
// Works in time proportional to |mask| x |name|, whatever the mask.
bool MatchesMask(std::string_view mask, std::string_view name);
