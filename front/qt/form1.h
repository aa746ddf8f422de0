// The drop window: an instruction line and a one-row list that takes the
// dropped packages, above every other window.
#pragma once

#include "run/run_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTranslator>
#include <QWidget>

namespace tarvelin {

class DropList;

// Puts the few texts of Qt's own that the boxes show (the details button)
// into Chinese, whatever the locale.
class BoxTexts : public QTranslator {
 public:
  QString translate(const char* context, const char* source_text, const char* disambiguation,
                    int n) const override;
  bool isEmpty() const override { return false; }
};

class Form1 : public QWidget, public RunWindow {
  Q_OBJECT

 public:
  Form1();
  ~Form1() override;

  QLabel* Label1() const { return label1_; }
  DropList* List1() const { return list1_; }
  QLineEdit* Text1() const { return text1_; }
  bool Running() const { return running_; }

  // What a drop of `paths` on the list does: a run starts once the drop has
  // returned. Ignored while a run is going on.
  void DropFiles(const QStringList& paths);

  void SetStatus(const std::string& text) override;
  std::string Intake() override;
  void Confirm(const std::string& text) override;
  void ShowError(const std::string& details) override;
  std::optional<int> AwaitEnd(ChildProcess& child) override;

 signals:
  // A run has ended; after a successful one the window is closed.
  void runFinished(bool succeeded);
  // A successful run ends the program.
  void programEnded();

 private:
  void Run();
  void ShowBox(const QString& text, const QString& details = {});

  QLabel* label1_;
  DropList* list1_;
  QLineEdit* text1_;
  QStringList dropped_;
  BoxTexts box_texts_;
  bool running_ = false;
};

}  // namespace tarvelin
