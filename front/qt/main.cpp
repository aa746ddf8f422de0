// tarvelin: the drop window. Files named on the command line are taken like
// a drop on the list.
#include "host/staging_folder.h"
#include "qt/display_check.h"
#include "qt/form1.h"
#include "qt/platform_choice.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kHelp[] =
    "Usage: tarvelin [FILE.msi...]\n"
    "\n"
    "A small window that stays above the others: drop a Windows Installer\n"
    "package (.msi, .msm) on its list and it extracts the package's files into\n"
    "FOLDER/NAME_EXT beside the package (NAME: the file name up to its first\n"
    "dot), with the package's registry entries as NAME_ext.reg in that folder.\n"
    "Files named on the command line are taken like a drop. Texts are in\n"
    "Simplified Chinese. Without a display it says so and exits 1.\n"
    "\n"
    "  -h, --help     this text\n"
    "      --version  the version\n"
    "\n"
    "See also: pandrel(1), tarvelin(1).\n";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the window system is needed, so that they work on a
  // console without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("tarvelin 0.5");
      return 0;
    }
  }
  // Qt would abort without the display it needs: one line and exit 1. A
  // display that is named but does not answer (a session that has ended)
  // counts as none.
  const std::vector<std::string> options(argv + 1, argv + argc);
  tarvelin::DisplaySetting setting{Environment("DISPLAY"), Environment("WAYLAND_DISPLAY"),
                                   Environment("QT_QPA_PLATFORM")};
  std::string silent;
  if (!setting.display.empty() && !tarvelin::XDisplayAnswers(setting.display, "/tmp/.X11-unix"))
    silent = "DISPLAY \"" + std::exchange(setting.display, "") + "\"";
  if (!setting.wayland_display.empty() &&
      !tarvelin::WaylandDisplayAnswers(setting.wayland_display, Environment("XDG_RUNTIME_DIR"))) {
    silent += (silent.empty() ? "" : " and ") + std::string("WAYLAND_DISPLAY \"") +
              std::exchange(setting.wayland_display, "") + "\"";
  }
  if (tarvelin::DisplayMissing(setting, options)) {
    const std::string why =
        silent.empty() ? "DISPLAY and WAYLAND_DISPLAY are unset" : silent + " does not answer";
    std::fputs(("tarvelin: no display to show the window on (" + why + ")\n").c_str(), stderr);
    return 1;
  }
  // The window stays on top only on X: in a Wayland session with XWayland
  // it goes there, unless the user chose a platform.
  const tarvelin::PlatformChoice choice = tarvelin::ChoosePlatform(setting, options);
  if (!choice.qpa_platform.empty()) setenv("QT_QPA_PLATFORM", choice.qpa_platform.c_str(), 1);
  if (choice.cannot_stay_on_top) {
    std::fputs(
        "tarvelin: running as a Wayland client, where the window cannot stay above the others "
        "(XWayland, with DISPLAY set, lets it)\n",
        stderr);
  }
  // Runs that ended without cleaning up (the program was killed) leave
  // their folders; the folders of running windows are locked and stay.
  if (const auto staging = tarvelin::PrepareStagingFolder(tarvelin::SystemTempFolder()))
    tarvelin::RemoveFinishedRuns(*staging);

  QApplication app(argc, argv);
  // The desktop file names the icon for the desktop (and, on Wayland, ties
  // the window to it); the window carries its own copy.
  QGuiApplication::setDesktopFileName(QStringLiteral("tarvelin"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarvelin/icons/tarvelin.png")));
  tarvelin::Form1 form;
  QObject::connect(&form, &tarvelin::Form1::programEnded, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  form.show();

  QStringList files;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i)
    files.append(QFileInfo(arguments[i]).absoluteFilePath());
  if (!files.isEmpty()) form.DropFiles(files);
  return app.exec();
}
