// The list that takes dropped files: it shows every dropped path and hands
// each drop on, inserting nothing by itself.
#pragma once

#include <QListWidget>
#include <QStringList>

namespace tarvelin {

class DropList : public QListWidget {
  Q_OBJECT

 public:
  explicit DropList(QWidget* parent);
  // While false, drops are refused (a run is going on).
  void SetDropsEnabled(bool enabled) { drops_enabled_ = enabled; }

 signals:
  // A drop of URLs: the local files among them, in their order (possibly
  // none).
  void filesDropped(const QStringList& paths);

 protected:
  bool event(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool drops_enabled_ = true;
};

}  // namespace tarvelin
