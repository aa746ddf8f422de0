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
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "form/drop_list.h"
#include "form/form1.h"
#include "form/hidden_child.h"
#include "form/tool_resource.h"
#include "support/sha256.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using tarvelin::Form1;

namespace {

// The texts of the window, as UTF-8, written out here on their own.
const QByteArray kCredit =
    "Windows Installer unpacker for Linux, by the Tarvelin and Pandrel developers";
const QByteArray kError = "错误！";
const QByteArray kLoading = "    正在载入你拖入的微软安装工具 MSI 源文件，请稍候……";

QByteArray Instruction() {
  return "  请把待提取文件的 MSI 源文件拖到下面对话框内！" + QByteArray(20, ' ') + kCredit;
}

QByteArray ExtractionText(const QByteArray& name, const QByteArray& base) {
  return "        正在提取微软安装程序 “" + name + "” 中的文件到其子文件夹“" + base +
         "_EXT”\n中，当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

QByteArray RegistryText(const QByteArray& name, const QByteArray& base) {
  return "        提取微软安装程序 “" + name + "” 注册信息到 “" + base + "_EXT\\" + base +
         "_ext.reg”，\n当硬盘灯熄灭后再按下“确定”键！请稍候……";
}

const char* const kStagingNames[] = {"Pandrel.exe", "tmp.msi", "INSTALL.BAT", "reg.reg",
                                     "SourceDir"};

// Answers every modal box with OK as soon as it shows, and keeps what it said.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::Poll);
    timer_.start(10);
  }
  QList<QByteArray> texts;
  QStringList captions;
  bool only_ok = true;
  bool plain_text = true;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    texts << box->text().toUtf8();
    captions << box->windowTitle();
    only_ok = only_ok && box->standardButtons() == QMessageBox::Ok;
    plain_text = plain_text && box->textFormat() == Qt::PlainText;
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
std::string ExpectedScript(const std::string& package) {
  std::istringstream lines(
      test_support::ReadFile(test_support::CorpusDir() / "expected" / (package + ".r.txt")));
  std::string script, line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number > 4) script += line + "\r\n";
  }
  return script + ";Tarvelin Ver0.5\r\n;" + kCredit.toStdString() + "\r\n";
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
  void staleStagingFilesAreReplaced();
  void movesAcrossFileSystems();
  void failedMoveKeepsWhatWasNotMoved();

 private:
  // Drops `paths` on the list of `form` and waits for the run's end.
  bool RunDrop(Form1& form, const QStringList& paths, std::optional<QPoint> at = std::nullopt);
  QString StagingFolder() const {
    return staging_root_->path() + "/tarvelin-" + QString::number(getuid());
  }
  // The staging names still present in the staging folder.
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
  QStringList left;
  for (const char* name : kStagingNames) {
    if (fs::exists(fs::symlink_status(Bytes(StagingFolder() + "/" + name)))) left << name;
  }
  return left;
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
  const QString marker = work_->path() + "/marker";
  {
    tarvelin::HiddenChild child(QStringLiteral("/bin/sh"),
                                {"-c", "sleep 0.5; echo done > \"$0\"", marker}, work_->path());
    QVERIFY(child.Start());
    // OK pressed at once: the wait still lasts until the child's end, with a
    // busy cursor meanwhile.
    std::optional<Qt::CursorShape> cursor;
    QTimer::singleShot(100, [&] {
      if (const QCursor* shown = QGuiApplication::overrideCursor()) cursor = shown->shape();
    });
    QCOMPARE(child.WaitForEnd(), std::optional<int>(0));
    QVERIFY(QFileInfo::exists(marker));
    QCOMPARE(cursor, std::optional<Qt::CursorShape>(Qt::WaitCursor));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }
  {
    tarvelin::HiddenChild child(QStringLiteral("/bin/sh"), {"-c", "exit 2"}, work_->path());
    QVERIFY(child.Start());
    QCOMPARE(child.WaitForEnd(), std::optional<int>(2));
  }
  {
    tarvelin::HiddenChild child(QStringLiteral("/bin/sh"), {"-c", "kill -KILL $$"}, work_->path());
    QVERIFY(child.Start());
    QCOMPARE(child.WaitForEnd(), std::nullopt);
  }
  {
    tarvelin::HiddenChild child(work_->path() + "/no such tool", {}, work_->path());
    QVERIFY(!child.Start());
  }
}

void WindowTest::embeddedToolIsTheWholeToolOfThisBuild() {
  const QByteArray tool = tarvelin::LoadEmbeddedTool();
  QVERIFY(tool.toStdString() == test_support::ReadFile(test_support::PandrelBinary()));
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

void WindowTest::staleStagingFilesAreReplaced() {
  SKIP_UNLESS_CORPUS();
  // An earlier run left everything behind, the tool a stand-in that does
  // nothing and succeeds.
  const QString staging = StagingFolder();
  QVERIFY(QDir().mkpath(staging));
  QVERIFY(QFile::setPermissions(
      staging, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  Put(staging, "Pandrel.exe", "#!/bin/sh\nexit 0\n");
  QVERIFY(::chmod(Bytes(staging + "/Pandrel.exe").c_str(), 0700) == 0);
  Put(staging, "tmp.msi", "a stale package");
  Put(staging, "INSTALL.BAT", "exit 0\n");
  Put(staging, "reg.reg", "1\r\n2\r\n3\r\n4\r\nstale registry line\r\n");
  Put(staging, "SourceDir/PFiles/PuTTY/stale.txt", "from an earlier package");

  Form1 form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  const QString package = work_->path() + "/" + kPutty + ".msi";
  QVERIFY(CopyPutty(package));
  QVERIFY(RunDrop(form, {package}));
  const QString result = work_->path() + "/putty-0_EXT";
  QCOMPARE(TreeWithoutScript(result, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  QCOMPARE(test_support::ReadFile(Bytes(result + "/putty-0_ext.reg")), ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList());
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
  // What was not moved stays in the staging folder, whole.
  const QString source = StagingFolder() + "/SourceDir";
  QCOMPARE(TreeWithoutScript(source, "putty-0_ext.reg"), ExpectedResultTree(kPutty));
  const std::string script = QFileInfo::exists(result + "/putty-0_ext.reg")
                                 ? test_support::ReadFile(Bytes(result + "/putty-0_ext.reg"))
                                 : test_support::ReadFile(Bytes(source + "/putty-0_ext.reg"));
  QCOMPARE(script, ExpectedScript(kPutty));
  QCOMPARE(StagingLeft(), QStringList({"SourceDir"}));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
