// tarvelin.exe: the drop window. Files named on the command line (a package
// dropped on the program's icon among them) are taken like a drop on the
// list.
#include <windows.h>

#include <commctrl.h>

#include <string_view>

#include "host/staging_folder.h"
#include "run/extraction_run.h"
#include "win32/command_line.h"
#include "win32/form1.h"
#include "win32/message_box.h"
#include "win32/tool_resource.h"

namespace {

const wchar_t kHelp[] =
    L"Usage: tarvelin.exe [FILE.msi...]\n"
    L"\n"
    L"A small window that stays above the others: drop a Windows Installer "
    L"package (.msi, .msm) on its list and it extracts the package's files into "
    L"FOLDER\\NAME_EXT beside the package (NAME: the file name up to its first "
    L"dot), with the package's registry entries as NAME_ext.reg in that folder. "
    L"Files named on the command line are taken like a drop. Texts are in "
    L"Simplified Chinese.\n"
    L"\n"
    L"-h, --help, /?: this text\n"
    L"--version: the version";
const wchar_t kVersion[] = L"tarvelin 0.5";

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  const tarvelin::CommandLine command = tarvelin::ReadCommandLine(tarvelin::ProgramArguments());
  // Themed buttons (the manifest asks for Common Controls 6).
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (command.help || command.version) {
    tarvelin::ShowMessageBox(nullptr, command.help ? kHelp : kVersion);
    return 0;
  }
  // Runs that ended without cleaning up (the program was killed) leave
  // their folders; the folders of running windows are locked and stay.
  if (const auto staging = tarvelin::PrepareStagingFolder(tarvelin::SystemTempFolder()))
    tarvelin::RemoveFinishedRuns(*staging);

  const std::string_view tool = tarvelin::LoadEmbeddedTool();
  tarvelin::Form1 form(
      [tool](tarvelin::RunWindow& window) { return tarvelin::RunExtraction(window, tool); });
  if (!form.Create(show)) return 1;
  std::vector<std::wstring> files;
  for (const std::wstring& file : command.files) files.push_back(tarvelin::FullPath(file));
  if (!files.empty()) form.DropFiles(std::move(files));

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
