// tarvelin: the drop window. Files named on the command line are taken like
// a drop on the list.
#include "form/form1.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
