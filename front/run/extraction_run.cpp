#include "run/extraction_run.h"

#include "files/files.h"
#include "host/child_process.h"
#include "host/file_ops.h"
#include "host/install_script_run.h"
#include "host/staging_folder.h"
#include "host/tree_move.h"
#include "run/reg_filing.h"
#include "run/run_names.h"
#include "run/run_texts.h"
#include "run/staging_paths.h"
#include "run/tool_output.h"

#include <optional>

namespace tarvelin {

namespace {

// Moves what the tool wrote into the result folder: the contents of the
// package's SourceDir, then whatever else it wrote beside SourceDir (the
// tree of a package whose root folder has another name) as it is. False
// when something could not be moved; it stays in the run's folder.
bool FileTree(const StagingPaths& staging, const std::string& result) {
  if (IsFolder(staging.SourceTree())) {
    if (!MoveFolderContents(staging.SourceTree(), result)) return false;
    RemoveEmptyFolder(staging.SourceTree());
  }
  return !IsFolder(staging.Output()) || MoveFolderContents(staging.Output(), result);
}

std::string Details(const ErrorLines& extraction, const ErrorLines& registry) {
  std::string details;
  const auto add = [&details](const std::string& line) {
    details += (details.empty() ? "" : "\n") + line;
  };
  for (const ErrorLines* errors : {&extraction, &registry}) {
    for (const std::string& line : errors->Kept()) add(line);
    if (errors->Dropped() > 0) add(MoreErrorLinesText(errors->Dropped()));
  }
  return details;
}

struct Ending {
  bool succeeded = false;
  std::string details;       // the tool's ERROR lines
  bool keep_folder = false;  // the run's folder holds what could not be moved
};

Ending Failure() { return Ending{}; }

// Starts `command` and waits for its end behind the box `confirmation`: the
// exit code, or nothing when it did not end normally. False in `started`
// when it could not be started.
std::optional<int> RunBehindBox(RunWindow& window, const ChildCommand& command,
                                const std::string& confirmation, bool* started) {
  std::optional<ChildProcess> child = ChildProcess::Start(command);
  *started = child.has_value();
  if (!child) return std::nullopt;
  window.Confirm(confirmation);
  return window.AwaitEnd(*child);
}

// The run inside its own folder `staging`, for the dropped `package`.
Ending RunInFolder(RunWindow& window, const std::string& staging_folder,
                   const StagingPaths& staging, const std::string& package, std::string_view tool) {
  const std::optional<RunNames> names = SplitPackagePath(package);
  // An absolute path: it cannot be taken for an option of the tool.
  if (!names || !IsFullPath(package) || tool.empty() || !WriteNewFile(staging.Tool(), tool, 0700))
    return Failure();
  if (!ReadableFile(package) || IsInside(package, staging_folder)) return Failure();
  const std::string result = names->ResultFolder();
  // Before anything is extracted: a result folder that cannot be made or
  // written is a failure at once.
  const std::optional<bool> created = PrepareResultFolder(result);
  if (!created) return Failure();

  // The tool runs on the package where it lies, not on a copy: it looks for
  // the package's outside cabinets (and the next cabinets of a set) beside
  // the package by its own rules, which a copy would have to repeat. Its
  // target is the run's own folder "out", where nothing else lies.
  ChildCommand extraction;
  extraction.program = staging.Tool();
  extraction.arguments = {"x", package, "*.*", staging.Output() + files::Separator()};
  extraction.working_folder = staging.temp;
  extraction.output_file = staging.ExtractionOutput();
  bool started = false;
  const std::optional<int> extraction_exit =
      RunBehindBox(window, extraction, ExtractionConfirmation(names->name, names->base), &started);
  if (!started) {
    if (*created) RemoveEmptyFolder(result);
    return Failure();
  }
  ErrorLines extraction_errors;
  ReadErrorLines(staging.ExtractionOutput(), extraction_errors);
  bool failed = extraction_errors.Any() || extraction_exit != 0;

  // The registry export follows a tool that ran to its end, ERROR lines or
  // not; the script is filed only when the export succeeded.
  ErrorLines registry_errors;
  bool registry_exported = false;
  if (extraction_exit == 0) {
    const std::optional<InstallScript> script = MakeInstallScript(staging, package);
    if (script && WriteNewFile(staging.Script(), script->text, 0600)) {
      registry_exported =
          RunBehindBox(window, script->child, RegistryConfirmation(names->name, names->base),
                       &started) == 0;
      // The tool's ERROR lines went into its output with the rest.
      if (started && !registry_exported) ReadErrorLines(staging.RegOutput(), registry_errors);
    }
    failed = failed || !registry_exported;
  }
  if (registry_exported) {
    // The tree may be missing (a package without files whose names hold a
    // dot); the registry script is filed all the same.
    MakePrivateFolder(staging.Output());
    MakePrivateFolder(staging.SourceTree());
    failed = !FileRegistryScript(staging.RegOutput(), staging.SourceTree() + files::Separator() +
                                                          names->RegistryScriptName()) ||
             failed;
  }

  // What was extracted is filed, also after a failure.
  const bool moved = FileTree(staging, result);
  // A folder made by this run and left empty: nothing was filed.
  if (*created) RemoveEmptyFolder(result);
  return Ending{!failed && moved, Details(extraction_errors, registry_errors), !moved};
}

}  // namespace

RunOutcome RunExtraction(RunWindow& window, std::string_view tool) {
  window.SetStatus(LoadingText());
  const std::string package = window.Intake();

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
  const Ending ending = RunInFolder(window, *staging_folder, staging, package, tool);
  if (ending.keep_folder) {
    // What could not be moved stays until a later run clears finished runs
    // away; the staging files go now.
    for (const std::string& file : {staging.Package(), staging.Tool(), staging.Script(),
                                    staging.RegOutput(), staging.ExtractionOutput()})
      RemoveFile(file);
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
