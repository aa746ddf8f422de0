#include "qt/form1.h"

#include "host/child_process.h"
#include "qt/drop_list.h"
#include "qt/tool_resource.h"
#include "run/extraction_run.h"
#include "run/run_texts.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRect>

namespace tarvelin {

namespace {

// The layout is given in twips; the window shows 15 twips a pixel.
constexpr int Px(int twips) { return twips / 15; }

constexpr int kLabelPixelSize = 12;
// How often the window is drawn while it waits for a child.
constexpr int kWaitSliceMs = 20;
constexpr int kSmallestPixelSize = 6;

// The largest pixel size, up to 12, at which `label`'s word-wrapped text
// fits its rectangle, so that no line is cut.
int FittingPixelSize(const QLabel& label) {
  const QRect room = label.contentsRect();
  QFont font = label.font();
  int size = kLabelPixelSize;
  for (; size > kSmallestPixelSize; --size) {
    font.setPixelSize(size);
    const QRect needed = QFontMetrics(font).boundingRect(
        room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label.text());
    if (needed.height() <= room.height() && needed.width() <= room.width()) break;
  }
  return size;
}

// Shows the busy cursor for as long as it lives.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

QString BoxTexts::translate(const char* context, const char* source_text,
                            const char* /*disambiguation*/, int /*n*/) const {
  if (qstrcmp(context, "QMessageBox") != 0) return {};
  if (qstrcmp(source_text, "Show Details...") == 0) return QString::fromUtf8(kShowDetailsText);
  if (qstrcmp(source_text, "Hide Details...") == 0) return QString::fromUtf8(kHideDetailsText);
  return {};
}

Form1::Form1()
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint),
      label1_(new QLabel(this)),
      list1_(new DropList(this)),
      text1_(new QLineEdit(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setFixedSize(Px(5235), Px(840));

  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(Px(120), Px(0), Px(4815), Px(375));
  label1_->setWordWrap(true);
  label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label1_->setTextFormat(Qt::PlainText);
  label1_->setText(QString::fromStdString(InstructionLine()));
  // The instruction fills the first line and the credit the second; the
  // font is as large as lets both fit the label whole.
  QFont small = label1_->font();
  small.setPixelSize(FittingPixelSize(*label1_));
  label1_->setFont(small);
  label1_->setToolTip(label1_->text());

  list1_->setObjectName(QStringLiteral("List1"));
  list1_->setGeometry(Px(120), Px(480), Px(4935), Px(240));
  list1_->setFont(small);

  // The text box holds the run's input; the user does not need to see it.
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setAcceptDrops(false);
  text1_->hide();

  connect(list1_, &DropList::filesDropped, this, &Form1::DropFiles);
  QCoreApplication::installTranslator(&box_texts_);
}

Form1::~Form1() { QCoreApplication::removeTranslator(&box_texts_); }

void Form1::DropFiles(const QStringList& paths) {
  if (running_) return;
  running_ = true;
  list1_->SetDropsEnabled(false);
  dropped_ = paths;
  // The run shows modal boxes: it must not run inside the drop event.
  QMetaObject::invokeMethod(this, &Form1::Run, Qt::QueuedConnection);
}

void Form1::Run() {
  const QByteArray tool = LoadEmbeddedTool();
  const bool succeeded =
      RunExtraction(*this,
                    std::string_view(tool.constData(), static_cast<std::size_t>(tool.size()))) ==
      RunOutcome::kSucceeded;
  running_ = false;
  list1_->SetDropsEnabled(true);
  if (succeeded) close();
  emit runFinished(succeeded);
  if (succeeded) emit programEnded();
}

void Form1::SetStatus(const std::string& text) {
  label1_->setText(QString::fromStdString(text));
  label1_->setToolTip(label1_->text());
}

std::string Form1::Intake() {
  for (const QString& path : dropped_) {
    list1_->addItem(path);
    text1_->setText(path);
  }
  list1_->scrollToBottom();
  dropped_.clear();
  return QFile::encodeName(text1_->text()).toStdString();
}

void Form1::Confirm(const std::string& text) { ShowBox(QString::fromStdString(text)); }

void Form1::ShowError(const std::string& details) {
  ShowBox(QString::fromUtf8(kErrorText), QString::fromStdString(details));
}

std::optional<int> Form1::AwaitEnd(ChildProcess& child) {
  if (!child.WaitFor(0)) {
    BusyCursor busy;
    // The window is drawn between slices of the wait; what the user does
    // meanwhile waits too.
    while (!child.WaitFor(kWaitSliceMs))
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kWaitSliceMs);
  }
  return child.ExitCode();
}

void Form1::ShowBox(const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kCaption), text, QMessageBox::Ok, this);
  // A package's name is shown as it is, never read as markup (the details
  // are plain text always).
  box.setTextFormat(Qt::PlainText);
  // The boxes tell the user to press this button by its Chinese name.
  box.button(QMessageBox::Ok)->setText(QString::fromUtf8(kOkText));
  if (!details.isEmpty()) box.setDetailedText(details);
  box.exec();
}

}  // namespace tarvelin
