#include "form/extraction_run.h"

#include "core/file_ops.h"
#include "core/install_script.h"
#include "core/reg_filing.h"
#include "core/run_names.h"
#include "core/run_texts.h"
#include "core/staging_folder.h"
#include "core/tree_move.h"
#include "form/hidden_child.h"
#include "form/tool_resource.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace tarvelin {

namespace {

QString FromBytes(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string ToBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Deletes the staging files in their order, each only when it is there.
void DeleteStagingFiles(const StagingPaths& staging) {
  for (const std::string& file :
       {staging.Package(), staging.Tool(), staging.Script(), staging.RegOutput()}) {
    if (FileExists(file)) DeleteFile(file);
  }
}

// After a failure before anything was moved: the staging folder is emptied,
// the half-written tree included.
void CleanStaging(const StagingPaths& staging) {
  DeleteStagingFiles(staging);
  std::error_code ignored;
  std::filesystem::remove_all(staging.SourceTree(), ignored);
}

// Writes the embedded tool out as the staged tool, runnable.
bool DeployTool(const StagingPaths& staging) {
  const QByteArray tool = LoadEmbeddedTool();
  if (tool.isEmpty()) return false;
  // Written at its real size, runnable by its owner.
  return WriteNewFile(staging.Tool(),
                      std::string_view(tool.constData(), static_cast<std::size_t>(tool.size())),
                      0700);
}

// True when `path` lies inside the staging folder: a package there would be
// overwritten or cleared by the run itself.
bool InsideStaging(const std::string& path, const StagingPaths& staging) {
  std::error_code error;
  const std::string package = std::filesystem::weakly_canonical(path, error).string();
  if (error) return true;
  std::string temp = staging.temp;
  temp.pop_back();  // the trailing "/"
  temp = std::filesystem::weakly_canonical(temp, error).string();
  if (error) return true;
  return package == temp || package.rfind(temp + "/", 0) == 0;
}

// Starts a child, asks for the confirmation and waits for the child's end.
// True when it started and ended with exit code 0.
bool RunConfirmed(RunWindow& window, const StagingPaths& staging, const QString& program,
                  const QStringList& arguments, const std::string& confirmation) {
  HiddenChild child(program, arguments, FromBytes(staging.temp));
  if (!child.Start()) return false;
  window.Confirm(QString::fromStdString(confirmation));
  return child.WaitForEnd() == 0;
}

RunOutcome Fail(RunWindow& window, const StagingPaths* staging) {
  if (staging != nullptr) CleanStaging(*staging);
  window.ShowError();
  return RunOutcome::kFailed;
}

}  // namespace

RunOutcome RunExtraction(RunWindow& window) {
  window.SetStatus(QString::fromStdString(LoadingText()));

  const std::optional<std::string> temp = PrepareStagingFolder(SystemTempFolder());
  const bool deployed = temp && DeployTool(StagingPaths(*temp));
  const std::string package = ToBytes(window.Intake());
  if (!temp) return Fail(window, nullptr);
  const StagingPaths staging(*temp);
  const std::optional<RunNames> names = SplitPackagePath(package);
  if (!deployed || !names || InsideStaging(package, staging)) return Fail(window, &staging);

  // A tree left by an earlier failed run must not mix with this package's.
  std::error_code ignored;
  std::filesystem::remove_all(staging.SourceTree(), ignored);
  if (!CopyFile(package, staging.Package())) return Fail(window, &staging);

  if (!RunConfirmed(window, staging, FromBytes(staging.Tool()),
                    {QStringLiteral("x"), FromBytes(staging.Package()), QStringLiteral("*.*")},
                    ExtractionConfirmation(names->name, names->base)))
    return Fail(window, &staging);

  if (!DeleteFile(staging.Script())) return Fail(window, &staging);
  {
    const std::string line =
        InstallScriptLine(staging.Tool(), staging.Package(), staging.RegOutput());
    if (!WriteNewFile(staging.Script(), line, 0600)) return Fail(window, &staging);
  }
  if (!RunConfirmed(window, staging, QStringLiteral("/bin/sh"), {FromBytes(staging.Script())},
                    RegistryConfirmation(names->name, names->base)))
    return Fail(window, &staging);

  // The tree may be missing (a package without files whose names hold a
  // dot); the registry script is filed all the same.
  ::mkdir(staging.SourceTree().c_str(), 0700);
  if (!FileRegistryScript(staging.RegOutput(),
                          staging.SourceTree() + "/" + names->RegistryScriptName()))
    return Fail(window, &staging);

  if (!MoveFolderContents(staging.SourceTree(), names->ResultFolder())) {
    // What was not moved stays in the staging folder.
    DeleteStagingFiles(staging);
    window.ShowError();
    return RunOutcome::kFailed;
  }
  DeleteStagingFiles(staging);
  // Only an empty folder goes; anything left in it stays.
  ::rmdir(staging.SourceTree().c_str());
  return RunOutcome::kSucceeded;
}

}  // namespace tarvelin
