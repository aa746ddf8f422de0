#include "qt/drop_list.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace tarvelin {

DropList::DropList(QWidget* parent) : QListWidget(parent) {
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  // The list is one row high: a scroll bar would cover all of it and take
  // the drops. The rows still scroll with the wheel and the keys.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool DropList::event(QEvent* event) {
  // A scroll area ignores drag events that reach it outside its viewport
  // (on its frame); the whole list is the drop target.
  switch (event->type()) {
    case QEvent::DragEnter:
      dragEnterEvent(static_cast<QDragEnterEvent*>(event));
      return true;
    case QEvent::DragMove:
      dragMoveEvent(static_cast<QDragMoveEvent*>(event));
      return true;
    case QEvent::Drop:
      dropEvent(static_cast<QDropEvent*>(event));
      return true;
    default:
      return QListWidget::event(event);
  }
}

void DropList::dragEnterEvent(QDragEnterEvent* event) {
  if (drops_enabled_ && event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void DropList::dragMoveEvent(QDragMoveEvent* event) {
  if (drops_enabled_ && event->mimeData()->hasUrls())
    event->acceptProposedAction();
  else
    event->ignore();
}

void DropList::dropEvent(QDropEvent* event) {
  if (!drops_enabled_ || !event->mimeData()->hasUrls()) {
    event->ignore();
    return;
  }
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  event->acceptProposedAction();
  emit filesDropped(paths);
}

}  // namespace tarvelin
