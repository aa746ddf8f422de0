#include "form/extraction_run.h"

#include "core/file_ops.h"
#include "core/install_script.h"
#include "core/reg_filing.h"
#include "core/run_names.h"
#include "core/run_texts.h"
#include "core/staging_folder.h"
#include "core/tool_output.h"
#include "core/tree_move.h"
#include "files/unique_fd.h"
#include "form/hidden_child.h"
#include "form/tool_resource.h"

#include <QFile>

#include <fcntl.h>
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

// Writes the embedded tool out as the staged tool, runnable.
bool DeployTool(const StagingPaths& staging) {
  const QByteArray tool = LoadEmbeddedTool();
  if (tool.isEmpty()) return false;
  // Written at its real size, runnable by its owner.
  return WriteNewFile(staging.Tool(),
                      std::string_view(tool.constData(), static_cast<std::size_t>(tool.size())),
                      0700);
}

// True when `path` names a regular file that can be read.
bool ReadableFile(const std::string& path) {
  files::UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  return in.valid() && ::fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode);
}

// True when `path` lies inside the staging folder `folder` (ending in "/"):
// a package there may be another run's, removed under this run's feet.
bool InsideStaging(const std::string& path, std::string folder) {
  std::error_code error;
  const std::string package = std::filesystem::weakly_canonical(path, error).string();
  if (error) return true;
  folder.pop_back();  // the trailing "/"
  folder = std::filesystem::weakly_canonical(folder, error).string();
  if (error) return true;
  return package == folder || package.rfind(folder + "/", 0) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Moves what the tool wrote into the result folder: the contents of the
// package's SourceDir, then whatever else it wrote beside SourceDir (the
// tree of a package whose root folder has another name) as it is. False
// when something could not be moved; it stays in the run's folder.
bool FileTree(const StagingPaths& staging, const std::string& result) {
  if (IsFolder(staging.SourceTree())) {
    if (!MoveFolderContents(staging.SourceTree(), result)) return false;
    ::rmdir(staging.SourceTree().c_str());
  }
  return !IsFolder(staging.Output()) || MoveFolderContents(staging.Output(), result);
}

QString Details(const ErrorLines& extraction, const ErrorLines& registry) {
  QStringList lines;
  for (const ErrorLines* errors : {&extraction, &registry}) {
    for (const std::string& line : errors->Kept()) lines << QString::fromStdString(line);
    if (errors->Dropped() > 0)
      lines << QString::fromStdString(MoreErrorLinesText(errors->Dropped()));
  }
  return lines.join(QLatin1Char('\n'));
}

struct Ending {
  bool succeeded = false;
  QString details;           // the tool's ERROR lines
  bool keep_folder = false;  // the run's folder holds what could not be moved
};

Ending Failure() { return Ending{}; }

// The run inside its own folder `staging`, for the dropped `package`.
Ending RunInFolder(RunWindow& window, const std::string& staging_folder,
                   const StagingPaths& staging, const std::string& package) {
  const std::optional<RunNames> names = SplitPackagePath(package);
  // An absolute path: it cannot be taken for an option of the tool.
  if (!names || package.front() != '/' || !DeployTool(staging)) return Failure();
  if (!ReadableFile(package) || InsideStaging(package, staging_folder)) return Failure();
  const std::string result = names->ResultFolder();
  // Before anything is extracted: a result folder that cannot be made or
  // written is a failure at once.
  const std::optional<bool> created = PrepareResultFolder(result);
  if (!created) return Failure();

  // The tool runs on the package where it lies, not on a copy: it looks for
  // the package's outside cabinets (and the next cabinets of a set) beside
  // the package by its own rules, which a copy would have to repeat. Its
  // target is the run's own folder "out", where nothing else lies.
  ErrorLines extraction_errors;
  HiddenChild extraction(FromBytes(staging.Tool()),
                         {QStringLiteral("x"), FromBytes(package), QStringLiteral("*.*"),
                          FromBytes(staging.Output() + "/")},
                         FromBytes(staging.temp), &extraction_errors);
  if (!extraction.Start()) {
    if (*created) ::rmdir(result.c_str());
    return Failure();
  }
  window.Confirm(QString::fromStdString(ExtractionConfirmation(names->name, names->base)));
  const std::optional<int> extraction_exit = extraction.WaitForEnd();
  bool failed = extraction_errors.Any() || extraction_exit != 0;

  // The registry export follows a tool that ran to its end, ERROR lines or
  // not; the script is filed only when the export succeeded.
  ErrorLines registry_errors;
  bool registry_exported = false;
  if (extraction_exit == 0) {
    const std::string line = InstallScriptLine(staging.Tool(), package, staging.RegOutput());
    HiddenChild registry(QStringLiteral("/bin/sh"), {FromBytes(staging.Script())},
                         FromBytes(staging.temp));
    if (WriteNewFile(staging.Script(), line, 0600) && registry.Start()) {
      window.Confirm(QString::fromStdString(RegistryConfirmation(names->name, names->base)));
      registry_exported = registry.WaitForEnd() == 0;
      // The tool's ERROR lines went into its output with the rest.
      if (!registry_exported) ReadErrorLines(staging.RegOutput(), registry_errors);
    }
    failed = failed || !registry_exported;
  }
  if (registry_exported) {
    // The tree may be missing (a package without files whose names hold a
    // dot); the registry script is filed all the same.
    ::mkdir(staging.Output().c_str(), 0700);
    ::mkdir(staging.SourceTree().c_str(), 0700);
    failed = !FileRegistryScript(staging.RegOutput(),
                                 staging.SourceTree() + "/" + names->RegistryScriptName()) ||
             failed;
  }

  // What was extracted is filed, also after a failure.
  const bool moved = FileTree(staging, result);
  // A folder made by this run and left empty: nothing was filed.
  if (*created) ::rmdir(result.c_str());
  return Ending{!failed && moved, Details(extraction_errors, registry_errors), !moved};
}

}  // namespace

RunOutcome RunExtraction(RunWindow& window) {
  window.SetStatus(QString::fromStdString(LoadingText()));
  const std::string package = ToBytes(window.Intake());

  const std::optional<std::string> staging_folder = PrepareStagingFolder(SystemTempFolder());
  std::optional<RunFolder> run;
  if (staging_folder) {
    // Runs that ended without cleaning up (the program was killed) go;
    // running ones hold their folders locked.
    RemoveFinishedRuns(*staging_folder);
    run = RunFolder::Create(*staging_folder);
  }
  if (!run) {
    window.ShowError({});
    return RunOutcome::kFailed;
  }
  const StagingPaths staging(run->path());
  const Ending ending = RunInFolder(window, *staging_folder, staging, package);
  if (ending.keep_folder) {
    // What could not be moved stays until a later run clears finished runs
    // away; the staging files go now.
    for (const std::string& file : {staging.Tool(), staging.Script(), staging.RegOutput()})
      DeleteFile(file);
  } else {
    run->Remove();
  }
  if (!ending.succeeded) {
    window.ShowError(ending.details);
    return RunOutcome::kFailed;
  }
  return RunOutcome::kSucceeded;
}

}  // namespace tarvelin
