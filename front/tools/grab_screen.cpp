// Saves a picture of the whole screen, or of the rectangle given, as PNG:
//   tarvelin_grab_screen OUT.png [X Y WIDTH HEIGHT]
// Used under Xvfb to take the README's screenshot of the real window.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2 && args.size() != 6) {
    std::fputs("usage: tarvelin_grab_screen OUT.png [X Y WIDTH HEIGHT]\n", stderr);
    return 1;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 1;
  QPixmap shot = args.size() == 6 ? screen->grabWindow(0, args[2].toInt(), args[3].toInt(),
                                                       args[4].toInt(), args[5].toInt())
                                  : screen->grabWindow(0);
  return shot.save(args[1], "PNG") ? 0 : 1;
}
