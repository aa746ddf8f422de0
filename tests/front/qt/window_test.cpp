// The drop window as a user meets it: drops on the list, the modal boxes
// (answered from here as soon as they show), the files left on disk.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "fixtures/package_writer.h"
#include "fixtures/sample_package.h"
#include "host/child_process.h"
#include "qt/drop_list.h"
#include "qt/form1.h"
#include "qt/tool_resource.h"
#include "support/sha256.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using tarvelin::Form1;

namespace {

// The texts of the window, as UTF-8, written out here on their own.
const QByteArray kCredit =
    "Windows Installer unpacker for Linux, by the Tarvelin and Pandrel developers";
const QByteArray kLabelCredit = "Tarvelin 与 Pandrel 开发者 出品";
const QByteArray kError = "错误！";
const QByteArray kLoading = "    正在载入你拖入的微软安装工具 MSI 源文件，请稍候……";

QByteArray Instruction() {
  return "  请把待提取文件的 MSI 源文件拖到下面对话框内！" + QByteArray(20, ' ') + kLabelCredit;
}

QByteArray ExtractionText(const QByteArray& name, const QByteArray& base) {
  return "        正在提取微软安装程序 “" + name + "” 中的文件到其子文件夹“" + base +
         "_EXT”\n中，当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

QByteArray RegistryText(const QByteArray& name, const QByteArray& base) {
  return "        提取微软安装程序 “" + name + "” 注册信息到 “" + base + "_EXT/" + base +
         "_ext.reg”，\n当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

// Answers every modal box with OK as soon as it shows, and keeps what it said.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Poll);
    timer_.start(10);
  }
  // Called with each box before it is answered; true holds the answer back
  // for now (the box is asked again at the next poll).
  std::function<bool()> before_answer;
  QList<QByteArray> texts;
  QList<QByteArray> details;  // of the failure boxes
  QStringList captions;
  bool only_ok = true;
  bool plain_text = true;
  bool chinese_button = true;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    if (before_answer && before_answer()) return;
    texts << box->text().toUtf8();
    if (box->text().toUtf8() == kError) details << box->detailedText().toUtf8();
    captions << box->windowTitle();
    only_ok = only_ok && box->standardButtons() == QMessageBox::Ok;
    plain_text = plain_text && box->textFormat() == Qt::PlainText;
    chinese_button = chinese_button && box->button(QMessageBox::Ok)->text() == "确定";
    // The details button (only on a box with details) speaks Chinese too.
    for (const QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
      if (button->text().contains("Details")) chinese_button = false;
    }
    box->button(QMessageBox::Ok)->click();
  }
  QTimer timer_;
};

// Drops `urls` the way a person does: drag enter, drag move and drop on the
// window, at `at` in `target` (its middle by default), so that Qt finds the
// widget under it.
void DropOn(Form1& form, QWidget* target, const QList<QUrl>& urls,
            std::optional<QPoint> at = std::nullopt) {
  QMimeData mime;
  mime.setUrls(urls);
  QWindow* window = form.windowHandle();
  const QPoint pos = target->mapTo(&form, at.value_or(target->rect().center()));
  QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &enter);
  QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &move);
  QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &drop);
}

QList<QUrl> Files(const QStringList& paths) {
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  return urls;
}

QStringList Rows(const Form1& form) {
  QStringList rows;
  for (int i = 0; i < form.List1()->count(); ++i) rows << form.List1()->item(i)->text();
  return rows;
}

std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString Put(const QString& folder, const QString& name, const std::string& bytes) {
  const QString path = folder + "/" + name;
  fs::create_directories(fs::path(Bytes(path)).parent_path());
  test_support::WriteFile(Bytes(path), bytes);
  return path;
}

// The tree that the tool's `x` writes for "*.*" below SourceDir, as the
// result folder must hold it: names with a dot only, without SourceDir.
std::string ExpectedResultTree(const std::string& package) {
  std::istringstream lines(
      test_support::ReadFile(test_support::CorpusDir() / "expected" / (package + ".x.txt")));
  std::string tree, line;
  while (std::getline(lines, line)) {
    const std::string path = line.substr(0, line.find('\t'));
    if (path.substr(path.rfind('/') + 1).find('.') == std::string::npos) continue;
    if (path.rfind("SourceDir/", 0) != 0) continue;
    tree += line.substr(std::string("SourceDir/").size()) + "\n";
  }
  return tree;
}

// The filed script: the tool's `r` output from its fifth line on, then the
// two comment lines; every line ended by CR LF.
std::string ScriptFrom(const std::string& output) {
  std::istringstream lines(output);
  std::string script, line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number > 4) script += line + "\r\n";
  }
  return script + ";Tarvelin Ver0.5\r\n;" + kCredit.toStdString() + "\r\n";
}

std::string ExpectedScript(const std::string& package) {
  return ScriptFrom(
      test_support::ReadFile(test_support::CorpusDir() / "expected" / (package + ".r.txt")));
}

// What `pandrel x PACKAGE "*.*"` writes below SourceDir, listed, and the
// script filed from `pandrel r PACKAGE`: what a run must file.
std::string ToolTree(const QString& package) {
  QTemporaryDir out;
  test_support::RunPandrel({"x", Bytes(package), "*.*", Bytes(out.path()) + "/"});
  const fs::path tree = Bytes(out.path() + "/SourceDir");
  return fs::is_directory(tree) ? test_support::TreeListing(tree) : "";
}

std::string ToolScript(const QString& package) {
  return ScriptFrom(test_support::RunPandrel({"r", Bytes(package)}).out);
}

// How the sample package comes with its cabinet.
enum class Cabinet {
  kInside,               // a stream of the package
  kBeside,               // sample.cab beside the package
  kBesideDamaged,        // the same, cut in half
  kInsideAndMissingOne,  // inside, and a second Media row names missing.cab
};

// Writes the sample package to `package`, with "Sample App" in its folder
// and registry names replaced by `app`.
void WriteSample(const QString& package, Cabinet cabinet, const std::string& app = "Sample App") {
  fixtures::PackageDescription description = fixtures::SamplePackage();
  for (fixtures::Table& table : description.tables) {
    for (auto& row : table.rows) {
      for (fixtures::Cell& cell : row) {
        if (!cell || !std::holds_alternative<std::string>(*cell)) continue;
        std::string& text = std::get<std::string>(*cell);
        if (const auto at = text.find("Sample App"); at != std::string::npos)
          text.replace(at, std::string("Sample App").size(), app);
      }
    }
    if (table.name != "Media") continue;
    if (cabinet == Cabinet::kInsideAndMissingOne)
      table.rows.push_back({fixtures::Int(2), fixtures::Int(100), fixtures::Null(),
                            fixtures::Str("missing.cab"), fixtures::Null(), fixtures::Null()});
    if (cabinet == Cabinet::kBeside || cabinet == Cabinet::kBesideDamaged)
      table.rows[0][3] = fixtures::Str("sample.cab");
  }
  if (cabinet == Cabinet::kBeside || cabinet == Cabinet::kBesideDamaged) {
    description.streams.clear();
    std::string bytes = fixtures::SampleCabinet();
    if (cabinet == Cabinet::kBesideDamaged) bytes.resize(bytes.size() / 2);
    test_support::WriteFile(fs::path(Bytes(package)).parent_path() / "sample.cab", bytes);
  }
  fixtures::WritePackageFile(Bytes(package), description);
}

// The listing of `folder` without the line of the filed script.
std::string TreeWithoutScript(const QString& folder, const std::string& script_name) {
  std::istringstream lines(test_support::TreeListing(Bytes(folder)));
  std::string tree, line;
  while (std::getline(lines, line)) {
    if (line.rfind(script_name + "\t", 0) != 0) tree += line + "\n";
  }
  return tree;
}

std::string Sha256OfFile(const QString& path) {
  return test_support::Sha256Hex(test_support::ReadFile(Bytes(path)));
}

const char kPutty[] = "putty-0.68-installer";

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void startsWithTheGivenLayoutAndInstruction();
  void dropsOfOneAndOfThreeFilesAndDropsAfterFailedRuns();
  void aDropWithoutFilesOnAFreshWindowIsAFailure();
  void childRunsToItsEndBeforeTheRunGoesOn();
  void embeddedToolIsTheWholeToolOfThisBuild();
  void wholeRunFilesTheTreeAndTheScriptBesideThePackage();
  void mergesIntoAnExistingResultFolder();
  void leftOverRunsGoAndRunningOnesStay();
  void movesAcrossFileSystems();
  void failedMoveKeepsWhatWasNotMoved();
  void outsideCabinetsMergeModulesAndErrorLines_data();
  void outsideCabinetsMergeModulesAndErrorLines();
  void twoWindowsRunAtOnce();
  void aResultFolderThatCannotBeMadeFailsAtOnce();
  void withoutADisplayOneLineAndExit1();

 private:
  // Drops `paths` on the list of `form` and waits for the run's end.
  bool RunDrop(Form1& form, const QStringList& paths, std::optional<QPoint> at = std::nullopt);
  QString StagingFolder() const {
    return staging_root_->path() + "/tarvelin-" + QString::number(getuid());
  }
  // What is left in the staging folder (the runs' folders).
  QStringList StagingLeft() const;
  void UseStagingRoot(const QString& root);
  bool SkipWithoutCorpus();

  QString original_tmpdir_;
  std::unique_ptr<QTemporaryDir> work_;  // packages and result folders
  std::unique_ptr<QTemporaryDir> staging_root_;
  std::unique_ptr<BoxAnswerer> boxes_;
};

void WindowTest::initTestCase() {
  original_tmpdir_ = qEnvironmentVariable("TMPDIR");
  // The end of a successful run closes the window; the test goes on.
  QApplication::setQuitOnLastWindowClosed(false);
}

void WindowTest::init() {
  const QString temp = original_tmpdir_.isEmpty() ? QStringLiteral("/tmp") : original_tmpdir_;
  work_ = std::make_unique<QTemporaryDir>(temp + "/tarvelin-test-XXXXXX");
  UseStagingRoot(temp);
  boxes_ = std::make_unique<BoxAnswerer>();
}

void WindowTest::cleanup() {
  boxes_.reset();
  staging_root_.reset();
  work_.reset();
  if (original_tmpdir_.isEmpty())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", original_tmpdir_.toLocal8Bit());
}

// Every test stages below a fresh TMPDIR of its own.
void WindowTest::UseStagingRoot(const QString& root) {
  staging_root_ = std::make_unique<QTemporaryDir>(root + "/tarvelin-staging-XXXXXX");
  QVERIFY(staging_root_->isValid());
  qputenv("TMPDIR", QFile::encodeName(staging_root_->path()));
}

namespace {

// Copies the real package of the corpus to `package`.
bool CopyPutty(const QString& package) {
  return QFile::copy(QString::fromStdString((test_support::CorpusDir() / kPutty).string()) + ".msi",
                     package);
}

}  // namespace

bool WindowTest::RunDrop(Form1& form, const QStringList& paths, std::optional<QPoint> at) {
  QSignalSpy finished(&form, &Form1::runFinished);
  DropOn(form, form.List1(), Files(paths), at);
  // Generous: under the sanitizers the tool is slow.
  if (!finished.wait(240000) && finished.isEmpty()) return false;
  return finished.first().first().toBool();
}

QStringList WindowTest::StagingLeft() const {
  return QDir(StagingFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool WindowTest::SkipWithoutCorpus() { return test_support::CorpusDir().empty(); }

#define SKIP_UNLESS_CORPUS() \
  if (SkipWithoutCorpus()) QSKIP("the corpus of real packages (../shared/corpus) is not here")

void WindowTest::startsWithTheGivenLayoutAndInstruction() {
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QCOMPARE(form.windowTitle(), QStringLiteral("Tarvelin"));
  QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // 15 twips a pixel: 5235 x 840, Label1 120,0 4815x375, List1 120,480 4935x240.
  QCOMPARE(form.size(), QSize(349, 56));
  QCOMPARE(form.Label1()->geometry(), QRect(8, 0, 321, 25));
  QCOMPARE(form.List1()->geometry(), QRect(8, 32, 329, 16));
  QCOMPARE(form.Label1()->text().toUtf8(), Instruction());
  // The whole text fits the label, the credit on a line of its own: no line
  // is cut.
  const QFontMetrics metrics(form.Label1()->font());
  const QRect room = form.Label1()->contentsRect();
  const QRect needed = metrics.boundingRect(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                            form.Label1()->text());
  QVERIFY2(needed.height() <= room.height() && needed.width() <= room.width(),
           qPrintable(QStringLiteral("%1x%2 needed").arg(needed.width()).arg(needed.height())));
  QVERIFY(metrics.horizontalAdvance(QString::fromUtf8(kLabelCredit)) <= room.width());
  QVERIFY(form.Label1()->font().pixelSize() >= 8);
  QCOMPARE(form.objectName(), QStringLiteral("Form1"));
  QCOMPARE(form.Label1()->objectName(), QStringLiteral("Label1"));
  QCOMPARE(form.List1()->objectName(), QStringLiteral("List1"));
  QCOMPARE(form.Text1()->objectName(), QStringLiteral("Text1"));
  QCOMPARE(form.List1()->count(), 0);
  QVERIFY(form.Text1()->text().isEmpty());

  // Only the list takes drops.
  const QString package = Put(work_->path(), "a.msi", "not a package");
  QSignalSpy finished(&form, &Form1::runFinished);
  // Qt finds no target under the label and says so.
  QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No drag target set"));
  DropOn(form, form.Label1(), Files({package}));
  QTest::qWait(200);
  QCOMPARE(finished.count(), 0);
  QCOMPARE(form.List1()->count(), 0);
  QVERIFY(boxes_->texts.isEmpty());
}

void WindowTest::dropsOfOneAndOfThreeFilesAndDropsAfterFailedRuns() {
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString folder = work_->path() + "/damaged packages";
  const QString a = Put(folder, "a.msi", "not a package");
  const QString b = Put(folder, "b b.msi", "not a package");
  const QString c = Put(folder, "c.x.msi", std::string(5000, 'z'));

  // Three files: three rows, the last one in Text1, only it processed. The
  // tool ends with 2 on a damaged package: a failure, never a success.
  QVERIFY(!RunDrop(form, {a, b, c}));
  QCOMPARE(Rows(form), QStringList({a, b, c}));
  QCOMPARE(form.Text1()->text(), c);
  QCOMPARE(boxes_->texts, QList<QByteArray>({ExtractionText("c.x.msi", "c"), kError}));
  QCOMPARE(form.Label1()->text().toUtf8(), kLoading);
  QVERIFY(form.isVisible());
  QCOMPARE(StagingLeft(), QStringList());
  QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
           QStringList({"a.msi", "b b.msi", "c.x.msi"}));

  // One file after the failed run, on the list's frame: a fourth row; ".msi"
  // has an empty base.
  boxes_->texts.clear();
  const QString dot_msi = Put(folder, ".msi", "not a package");
  QVERIFY(!RunDrop(form, {dot_msi}, QPoint(0, 0)));
  QCOMPARE(Rows(form), QStringList({a, b, c, dot_msi}));
  QCOMPARE(form.Text1()->text(), dot_msi);
  QCOMPARE(boxes_->texts, QList<QByteArray>({ExtractionText(".msi", ""), kError}));
  QVERIFY(!QFileInfo::exists(folder + "/_EXT"));
  QCOMPARE(StagingLeft(), QStringList());

  // A name without a dot has no base: refused before anything is staged.
  boxes_->texts.clear();
  const QString no_dot = Put(folder, "setup", "not a package");
  QVERIFY(!RunDrop(form, {no_dot}));
  QCOMPARE(Rows(form), QStringList({a, b, c, dot_msi, no_dot}));
  QCOMPARE(boxes_->texts, QList<QByteArray>({kError}));
  QCOMPARE(StagingLeft(), QStringList());
  QVERIFY(!QFileInfo::exists(folder + "/setup_EXT"));

  // A package that cannot be copied (gone by the time of the run).
  boxes_->texts.clear();
  QVERIFY(!RunDrop(form, {folder + "/gone.msi"}));
  QCOMPARE(boxes_->texts, QList<QByteArray>({kError}));
  QCOMPARE(StagingLeft(), QStringList());
  QVERIFY(!QFileInfo::exists(folder + "/gone_EXT"));

  QCOMPARE(boxes_->captions, QStringList(6, QStringLiteral("Tarvelin")));
  QVERIFY(boxes_->only_ok);
  QVERIFY(boxes_->plain_text);
}

void WindowTest::aDropWithoutFilesOnAFreshWindowIsAFailure() {
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QVERIFY(!RunDrop(form, {}));
  // A drop of a web address carries no file either.
  QSignalSpy finished(&form, &Form1::runFinished);
  DropOn(form, form.List1(), {QUrl(QStringLiteral("https://example.org/setup.msi"))});
  QVERIFY(finished.wait(60000) || !finished.isEmpty());
  QCOMPARE(form.List1()->count(), 0);
  QVERIFY(form.Text1()->text().isEmpty());
  QCOMPARE(boxes_->texts, QList<QByteArray>({kError, kError}));
  QCOMPARE(StagingLeft(), QStringList());
}

void WindowTest::childRunsToItsEndBeforeTheRunGoesOn() {
  Form1 form;
  const std::string folder = Bytes(work_->path());
  const auto start = [&](std::vector<std::string> arguments) {
    return tarvelin::ChildProcess::Start({"/bin/sh", std::move(arguments), folder, ""});
  };
  const QString marker = work_->path() + "/marker";
  {
    auto child = start({"-c", "sleep 0.5; echo done > \"$0\"", Bytes(marker)});
    QVERIFY(child.has_value());
    // OK pressed at once: the wait still lasts until the child's end, with a
    // busy cursor meanwhile.
    std::optional<Qt::CursorShape> cursor;
    QTimer::singleShot(100, [&] {
      if (const QCursor* shown = QGuiApplication::overrideCursor()) cursor = shown->shape();
    });
    QCOMPARE(form.AwaitEnd(*child), std::optional<int>(0));
    QVERIFY(QFileInfo::exists(marker));
    QCOMPARE(cursor, std::optional<Qt::CursorShape>(Qt::WaitCursor));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }
  {
    auto child = start({"-c", "exit 2"});
    QVERIFY(child.has_value());
    QCOMPARE(form.AwaitEnd(*child), std::optional<int>(2));
  }
  {
    auto child = start({"-c", "kill -KILL $$"});
    QVERIFY(child.has_value());
    QCOMPARE(form.AwaitEnd(*child), std::nullopt);
  }
  QVERIFY(!tarvelin::ChildProcess::Start({folder + "/no such tool", {}, folder, ""}));
}

void WindowTest::embeddedToolIsTheWholeToolOfThisBuild() {
  const QByteArray tool = tarvelin::LoadEmbeddedTool();
  // The tool of this build, without its debug information where the build
  // strips the copy.
  QVERIFY(tool.toStdString() == test_support::ReadFile(EMBEDDED_TOOL));
}

void WindowTest::wholeRunFilesTheTreeAndTheScriptBesideThePackage() {
  SKIP_UNLESS_CORPUS();
  Form1 form;
  QSignalSpy ended(&form, &Form1::programEnded);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString folder = work_->path() + "/my packages";
  QVERIFY(QDir().mkpath(folder));
  const QString package = folder + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  const std::string package_sha = Sha256OfFile(package);

  QVERIFY(RunDrop(form, {package}));
  QCOMPARE(boxes_->texts, QList<QByteArray>({ExtractionText("putty-0.68-installer.msi", "putty-0"),
                                             RegistryText("putty-0.68-installer.msi", "putty-0")}));
  QCOMPARE(boxes_->captions, QStringList(2, QStringLiteral("Tarvelin")));
  QVERIFY(boxes_->only_ok);

  const QString result = folder + "/putty-0_EXT";
  QCOMPARE(TreeWithoutScript(result, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  QCOMPARE(test_support::ReadFile(Bytes(result + "/putty-0_ext.reg")), ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList());
  struct stat staging {};
  QCOMPARE(::lstat(Bytes(StagingFolder()).c_str(), &staging), 0);
  QCOMPARE(staging.st_mode & 07777, 0700u);
  QCOMPARE(Sha256OfFile(package), package_sha);
  QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
           QStringList({"putty-0.68-installer.msi", "putty-0_EXT"}));
  // A successful run ends the program.
  QCOMPARE(ended.count(), 1);
  QVERIFY(!form.isVisible());
  QCOMPARE(form.Label1()->text().toUtf8(), kLoading);
}

void WindowTest::mergesIntoAnExistingResultFolder() {
  SKIP_UNLESS_CORPUS();
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString folder = work_->path();
  const QString package = folder + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  const QString result = folder + "/putty-0_EXT";
  Put(result, "PFiles/PuTTY/README.txt", "an old readme, to be replaced");
  Put(result, "PFiles/PuTTY/mine.txt", "the user's own");
  Put(result, "putty-0_ext.reg", "an old script");

  QVERIFY(RunDrop(form, {package}));
  // The package's tree with the user's own file kept beside it.
  std::string mine = test_support::TreeListing(Bytes(result));
  mine = mine.substr(mine.find("PFiles/PuTTY/mine.txt\t"));
  mine = mine.substr(0, mine.find('\n') + 1);
  std::istringstream lines(ExpectedResultTree(kPutty) + mine);
  std::vector<std::string> sorted;
  for (std::string line; std::getline(lines, line);) sorted.push_back(line + "\n");
  std::sort(sorted.begin(), sorted.end());
  std::string merged;
  for (const std::string& line : sorted) merged += line;
  QCOMPARE(TreeWithoutScript(result, "putty-0_ext.reg"), merged);
  QCOMPARE(test_support::ReadFile(Bytes(result + "/PFiles/PuTTY/mine.txt")),
           std::string("the user's own"));
  QCOMPARE(test_support::ReadFile(Bytes(result + "/putty-0_ext.reg")), ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList());
}

void WindowTest::leftOverRunsGoAndRunningOnesStay() {
  SKIP_UNLESS_CORPUS();
  // A run whose program was killed left its folder; another window's run is
  // going on, its folder locked.
  const QString staging = StagingFolder();
  Put(staging, "run-killed/out/SourceDir/PFiles/PuTTY/stale.txt", "from an earlier package");
  Put(staging, "run-killed/Pandrel.exe", "#!/bin/sh\nexit 0\n");
  Put(staging, "run-running/out/SourceDir/PFiles/PuTTY/other.txt", "another package's");
  QVERIFY(QFile::setPermissions(
      staging, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  const int running = ::open(Bytes(staging + "/run-running").c_str(), O_RDONLY | O_DIRECTORY);
  QVERIFY(running >= 0);
  QCOMPARE(::flock(running, LOCK_EX), 0);

  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString package = work_->path() + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  QVERIFY(RunDrop(form, {package}));
  const QString result = work_->path() + "/putty-0_EXT";
  QCOMPARE(TreeWithoutScript(result, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  QCOMPARE(test_support::ReadFile(Bytes(result + "/putty-0_ext.reg")), ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList({"run-running"}));
  QCOMPARE(
      test_support::ReadFile(Bytes(staging + "/run-running/out/SourceDir/PFiles/PuTTY/other.txt")),
      std::string("another package's"));
  ::close(running);
}

void WindowTest::movesAcrossFileSystems() {
  SKIP_UNLESS_CORPUS();
  // Staging on a tmpfs, the package on the disk that holds the build.
  struct stat shm {
  }, disk{};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(FRONT_TEST_DISK_DIR, &disk) != 0 ||
      shm.st_dev == disk.st_dev)
    QSKIP("no second file system at /dev/shm");
  UseStagingRoot(QStringLiteral("/dev/shm"));
  QTemporaryDir on_disk(QStringLiteral(FRONT_TEST_DISK_DIR "/window-XXXXXX"));
  QVERIFY(on_disk.isValid());

  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString package = on_disk.path() + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  QVERIFY(RunDrop(form, {package}));
  const QString result = on_disk.path() + "/putty-0_EXT";
  // The listing holds the modification times: kept across the copy.
  QCOMPARE(TreeWithoutScript(result, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  QCOMPARE(test_support::ReadFile(Bytes(result + "/putty-0_ext.reg")), ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList());
}

void WindowTest::failedMoveKeepsWhatWasNotMoved() {
  SKIP_UNLESS_CORPUS();
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString package = work_->path() + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  // A file stands where a folder of the result must go. (Tests run as root,
  // where read-only modes stop nothing.)
  const QString result = work_->path() + "/putty-0_EXT";
  Put(result, "PFiles", "a file of the user's");

  QVERIFY(!RunDrop(form, {package}));
  QCOMPARE(boxes_->texts,
           QList<QByteArray>({ExtractionText("putty-0.68-installer.msi", "putty-0"),
                              RegistryText("putty-0.68-installer.msi", "putty-0"), kError}));
  QVERIFY(form.isVisible());
  QCOMPARE(test_support::ReadFile(Bytes(result + "/PFiles")), std::string("a file of the user's"));
  // What was not moved stays in the run's folder, whole, without the
  // staging files.
  const QStringList left = StagingLeft();
  QCOMPARE(left.size(), 1);
  QVERIFY(left[0].startsWith("run-"));
  const QString run = StagingFolder() + "/" + left[0];
  QCOMPARE(QDir(run).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"out"}));
  const QString source = run + "/out/SourceDir";
  QCOMPARE(TreeWithoutScript(source, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  const std::string script = QFileInfo::exists(result + "/putty-0_ext.reg")
                                 ? test_support::ReadFile(Bytes(result + "/putty-0_ext.reg"))
                                 : test_support::ReadFile(Bytes(source + "/putty-0_ext.reg"));
  QCOMPARE(script, ExpectedScript(kPutty));
}

void WindowTest::outsideCabinetsMergeModulesAndErrorLines_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("cabinet");  // Cabinet, or -1 for the corpus's package
  QTest::addColumn<QString>("result");
  QTest::addColumn<QString>("details");  // %1: the package's folder

  QTest::newRow("a cabinet beside the package")
      << "setup.msi" << int(Cabinet::kBeside) << "setup_EXT"
      << "";
  QTest::newRow("the corpus's package with its cabinet beside it")
      << "msi_with_external_cab.msi" << -1 << "msi_with_external_cab_EXT"
      << "";
  QTest::newRow("a merge module") << "merge.v2.msm" << int(Cabinet::kInside) << "merge_EXT"
                                  << "";
  QTest::newRow("a damaged cabinet beside the package")
      << "setup.msi" << int(Cabinet::kBesideDamaged) << "setup_EXT"
      << "ERROR: cabinet \"%1/sample.cab\" could not be extracted";
  QTest::newRow("a cabinet that is not there")
      << "setup.1.msi" << int(Cabinet::kInsideAndMissingOne) << "setup_EXT"
      << "ERROR: outside CAB \"%1/missing.cab\" not exists";
}

void WindowTest::outsideCabinetsMergeModulesAndErrorLines() {
  QFETCH(QString, name);
  QFETCH(int, cabinet);
  QFETCH(QString, result);
  QFETCH(QString, details);
  const QString folder = work_->path() + "/pkgs";
  QVERIFY(QDir().mkpath(folder));
  const QString package = folder + "/" + name;
  if (cabinet < 0) {
    SKIP_UNLESS_CORPUS();
    const QString corpus = QString::fromStdString(test_support::CorpusDir().string());
    QVERIFY(QFile::copy(corpus + "/msi_with_external_cab.msi", package));
    QVERIFY(
        QFile::copy(corpus + "/msi_with_external_cab.cab", folder + "/msi_with_external_cab.cab"));
  } else {
    WriteSample(package, static_cast<Cabinet>(cabinet));
  }
  const std::string tree = ToolTree(package);
  const std::string script = ToolScript(package);
  // Every case but the damaged cabinet has files to file.
  QCOMPARE(tree.empty(), cabinet == int(Cabinet::kBesideDamaged));

  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const bool failing = !details.isEmpty();
  QCOMPARE(RunDrop(form, {package}), !failing);
  const QByteArray base = result.chopped(4).toUtf8();
  QList<QByteArray> texts{ExtractionText(name.toUtf8(), base), RegistryText(name.toUtf8(), base)};
  if (failing) texts << kError;
  QCOMPARE(boxes_->texts, texts);
  QVERIFY(boxes_->chinese_button);
  if (failing) QCOMPARE(boxes_->details, QList<QByteArray>({details.arg(folder).toUtf8()}));
  // What the tool extracted is filed, after a failure too, with the script.
  const QString script_name = result.chopped(4) + "_ext.reg";
  QCOMPARE(TreeWithoutScript(folder + "/" + result, script_name.toStdString()), tree);
  QCOMPARE(test_support::ReadFile(Bytes(folder + "/" + result + "/" + script_name)), script);
  QCOMPARE(form.isVisible(), failing);
  QCOMPARE(StagingLeft(), QStringList());
}

void WindowTest::twoWindowsRunAtOnce() {
  // Two packages whose trees and scripts differ only by their names.
  const QString first = work_->path() + "/first/first.msi";
  const QString second = work_->path() + "/second/second.msi";
  QVERIFY(QDir().mkpath(work_->path() + "/first") && QDir().mkpath(work_->path() + "/second"));
  WriteSample(first, Cabinet::kInside, "First App");
  WriteSample(second, Cabinet::kBeside, "Second App");

  Form1 one, two;
  one.show();
  two.show();
  QVERIFY(QTest::qWaitForWindowExposed(&one) && QTest::qWaitForWindowExposed(&two));
  // The second package is dropped on the other window while the first
  // window's tool extracts and its first box waits for an answer.
  QSignalSpy two_finished(&two, &Form1::runFinished);
  bool dropped = false;
  boxes_->before_answer = [&] {
    if (dropped) return false;
    dropped = true;
    DropOn(two, two.List1(), Files({second}));
    return true;
  };
  QVERIFY(RunDrop(one, {first}));
  QVERIFY(two_finished.count() == 1 || two_finished.wait(240000));
  QVERIFY(two_finished.first().first().toBool());
  // The boxes of both runs, in an order that depends on how long each tool
  // takes.
  QList<QByteArray> texts = boxes_->texts;
  QList<QByteArray> expected{
      ExtractionText("first.msi", "first"), RegistryText("first.msi", "first"),
      ExtractionText("second.msi", "second"), RegistryText("second.msi", "second")};
  std::sort(texts.begin(), texts.end());
  std::sort(expected.begin(), expected.end());
  QCOMPARE(texts, expected);
  for (const QString& package : {first, second}) {
    const QString base = QFileInfo(package).completeBaseName();
    const QString result = QFileInfo(package).path() + "/" + base + "_EXT";
    QCOMPARE(TreeWithoutScript(result, (base + "_ext.reg").toStdString()), ToolTree(package));
    QCOMPARE(test_support::ReadFile(Bytes(result + "/" + base + "_ext.reg")), ToolScript(package));
  }
  QVERIFY(ToolTree(first) != ToolTree(second));
  QCOMPARE(StagingLeft(), QStringList());
}

void WindowTest::aResultFolderThatCannotBeMadeFailsAtOnce() {
  const QString package = work_->path() + "/setup.msi";
  WriteSample(package, Cabinet::kInside);
  // A file of the user's where the result folder must go (root can write
  // into any folder), and, for other users, a folder they cannot write.
  Put(work_->path(), "setup_EXT", "a file of the user's");
  QStringList packages{package};
  if (::getuid() != 0) {
    const QString locked = work_->path() + "/locked";
    WriteSample(Put(locked, "a.msi", ""), Cabinet::kInside);
    QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    packages << locked + "/a.msi";
  }
  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  for (const QString& dropped : packages) {
    boxes_->texts.clear();
    QVERIFY(!RunDrop(form, {dropped}));
    // No box asks to wait: nothing was extracted.
    QCOMPARE(boxes_->texts, QList<QByteArray>({kError}));
    QCOMPARE(StagingLeft(), QStringList());
  }
  QCOMPARE(test_support::ReadFile(Bytes(work_->path() + "/setup_EXT")),
           std::string("a file of the user's"));
  if (packages.size() > 1) {
    QVERIFY(!QFileInfo::exists(work_->path() + "/locked/a_EXT"));
    QVERIFY(QFile::setPermissions(work_->path() + "/locked", QFileDevice::ReadOwner |
                                                                 QFileDevice::WriteOwner |
                                                                 QFileDevice::ExeOwner));
  }
}

void WindowTest::withoutADisplayOneLineAndExit1() {
  QProcess tarvelin;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  tarvelin.setProcessEnvironment(environment);
  tarvelin.start(QStringLiteral(TARVELIN_BINARY), {work_->path() + "/setup.msi"});
  QVERIFY(tarvelin.waitForFinished(60000));
  QCOMPARE(tarvelin.exitStatus(), QProcess::NormalExit);
  QCOMPARE(tarvelin.exitCode(), 1);
  QCOMPARE(tarvelin.readAllStandardOutput(), QByteArray());
  const QByteArray error = tarvelin.readAllStandardError();
  QCOMPARE(error.count('\n'), 1);
  QVERIFY(error.endsWith('\n'));
  QVERIFY(error.startsWith("tarvelin: "));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
