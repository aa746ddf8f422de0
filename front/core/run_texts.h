// Every text the window shows, as UTF-8 bytes.
#pragma once

#include <string>

namespace tarvelin {

// The caption of the window and of every message box.
inline constexpr char kCaption[] = "Tarvelin";
// Who made the program; ends the instruction line and the filed script.
inline constexpr char kCredit[] =
    "Windows Installer unpacker for Linux, by the Tarvelin and Pandrel developers";
// The one failure message.
inline constexpr char kErrorText[] = "错误！";
// The first comment line of a filed registry script.
inline constexpr char kScriptVersionLine[] = ";Tarvelin Ver0.5";

// The label's text at start: the instruction, 20 blanks, the credit.
std::string InstructionLine();
// The label's text while a package is being loaded.
std::string LoadingText();
// The confirmation asked for while the tool extracts the package's files.
std::string ExtractionConfirmation(const std::string& name, const std::string& base);
// The confirmation asked for while the tool writes the registry entries.
std::string RegistryConfirmation(const std::string& name, const std::string& base);

}  // namespace tarvelin
