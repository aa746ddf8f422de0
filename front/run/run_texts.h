// Every text the window shows, as UTF-8 bytes.
#pragma once

#include <cstddef>
#include <string>

namespace tarvelin {

// The caption of the window and of every message box.
inline constexpr char kCaption[] = "Tarvelin";
// Who made the program, for the host it runs on; ends the filed script.
std::string Credit();
// Who made the program, short enough to end the instruction line on a line of
// its own in the label.
inline constexpr char kLabelCredit[] = "Tarvelin 与 Pandrel 开发者 出品";
// The one failure message.
inline constexpr char kErrorText[] = "错误！";
// The text of every box's one button, the one the boxes tell the user to
// press.
inline constexpr char kOkText[] = "确定";
// The button that shows and hides a failure box's details.
inline constexpr char kShowDetailsText[] = "显示详细信息……";
inline constexpr char kHideDetailsText[] = "隐藏详细信息……";
// The first comment line of a filed registry script.
inline constexpr char kScriptVersionLine[] = ";Tarvelin Ver0.5";

// The label's text at start: the instruction, 20 blanks, the label's credit.
std::string InstructionLine();
// The label's text while a package is being loaded.
std::string LoadingText();
// The confirmation asked for while the tool extracts the package's files.
std::string ExtractionConfirmation(const std::string& name, const std::string& base);
// The confirmation asked for while the tool writes the registry entries; the
// path of the filed script in it is written with the host's separator.
std::string RegistryConfirmation(const std::string& name, const std::string& base);

// The last line of a failure box's details when `count` further ERROR lines
// of the tool were left out.
std::string MoreErrorLinesText(std::size_t count);

}  // namespace tarvelin
