// The tool's output as both programs know it: the banner that opens every
// run of the tool, and the word that opens every line saying what went
// wrong. The window skips the banner of the registry script it files and
// collects the error lines of a run.
#pragma once

#include <array>
#include <string_view>

namespace tool_output {

inline constexpr std::array<std::string_view, 4> kBanner = {
    "Pandrel",
    "Windows Installer unpacker for Linux, by the Tarvelin and Pandrel developers",
    "24 Apr 2004                       Version 0.2",
    "",
};

// An error line is this word, ": " and what went wrong.
inline constexpr std::string_view kErrorWord = "ERROR";

}  // namespace tool_output
