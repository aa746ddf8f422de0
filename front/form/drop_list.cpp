#include "form/drop_list.h"

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
