// A second X client for the end-to-end drop test: a window that, when the
// mouse is pressed on it, drags the files named on its command line as
// text/uri-list, the way a file manager does.
//   tarvelin_drag_source FILE...
// It prints "accepted" on a line of its own once a drop target has accepted
// the drag (so that a script knows when to let the button go), then
// "dropped" or "not dropped" when the drag is over. It stays until it is
// told to end: the target fetches the dropped data from it after the drop.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <cstdio>

namespace {

class DragSource : public QLabel {
 public:
  explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
    setWindowTitle(QStringLiteral("tarvelin drag source"));
    setText(QStringLiteral("drag me"));
    setAlignment(Qt::AlignCenter);
    setFixedSize(160, 80);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || dragging_) return;
    dragging_ = true;
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setUrls(urls_);
    drag->setMimeData(mime);
    connect(drag, &QDrag::actionChanged, this, [](Qt::DropAction action) {
      if (action == Qt::CopyAction) {
        std::puts("accepted");
        std::fflush(stdout);
      }
    });
    const Qt::DropAction done = drag->exec(Qt::CopyAction);
    std::puts(done == Qt::CopyAction ? "dropped" : "not dropped");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
  bool dragging_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) urls << QUrl::fromLocalFile(arguments[i]);
  if (urls.isEmpty()) {
    std::fputs("usage: tarvelin_drag_source FILE...\n", stderr);
    return 1;
  }
  DragSource source(urls);
  source.move(400, 300);
  source.show();
  return app.exec();
}
