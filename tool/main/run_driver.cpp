#include "main/run_driver.h"

#include <cstdio>
#include <memory>
#include <new>

#include "console/console.h"
#include "console/output_format.h"
#include "console/verbose.h"
#include "files/ascii.h"
#include "files/files.h"
#include "msi/msiquery.h"
#include "msidb/msi_handler.h"

namespace {

bool IsOption(const std::string& argument) { return argument.size() >= 2 && argument[0] == '-'; }

}  // namespace

void PrintBanner() {
  for (std::string_view line : tool_output::kBanner) ConsoleLine(line);
}

void PrintUsage() {
  ConsoleLine("Usage: pandrel <cmd> [-opt] <msi> [mask [path]]");
  ConsoleLine("");
  ConsoleLine("Commands: l   list files");
  ConsoleLine("          x   extract files");
  ConsoleLine("          r   export registry (beta)");
  ConsoleLine("Options:  v   verbose");
  ConsoleLine("");
  ConsoleLine("Examples: pandrel l \"d:\\Compuware DriverStudio.msi\"");
  ConsoleLine("          pandrel l \"d:\\Compuware DriverStudio.msi\" *.sys");
  ConsoleLine("          pandrel x MsnMsgs.msi *.bmp d:\\bmp");
  ConsoleLine("          pandrel x -v temp\\MsnMsgs.msi *.bmp \\bmp");
}

std::vector<std::string> CountedArguments(int argc, char** argv) {
  // An empty argument is what "" on a command line gives here; the run
  // driver's rule skips two adjacent double quotes that stand where an
  // argument would begin, so it is skipped wherever it stands.
  std::vector<std::string> arguments;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    if (argv[i][0] != '\0') arguments.emplace_back(argv[i]);
  }
  return arguments;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  const auto separates = [](char c) {
    return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
  };
  std::vector<std::string> arguments;
  std::size_t at = 0;
  bool program = true;  // argument 0, the program's own path, is not used
  while (at < line.size()) {
    // Separators, and "" standing where an argument would begin.
    while (true) {
      while (at < line.size() && separates(line[at])) ++at;
      if (line.substr(at, 2) != "\"\"" || (at + 2 < line.size() && !separates(line[at + 2]))) break;
      at += 2;
    }
    if (at >= line.size()) break;
    std::string argument;
    bool quoted = false;
    while (at < line.size() && (quoted || !separates(line[at]))) {
      if (line[at] == '"') {
        quoted = !quoted;
      } else {
        argument.push_back(line[at]);
      }
      ++at;
    }
    if (argument.empty()) break;
    if (!program) arguments.push_back(std::move(argument));
    program = false;
  }
  return arguments;
}

std::optional<RunOptions> ParseCommandLine(const std::vector<std::string>& arguments) {
  const std::size_t count = arguments.size();
  if (count < 2 || count > 5) return std::nullopt;

  RunOptions options;
  options.command = files::ToUpperAscii(arguments[0][0]);
  if (options.command != 'L' && options.command != 'R' && options.command != 'X') {
    return std::nullopt;
  }
  std::size_t next = 1;
  if (count >= 3 && IsOption(arguments[1])) {
    const char letter = files::ToUpperAscii(arguments[1][1]);
    // V is accepted with 3 to 5 arguments; R, which changes nothing, with 4 or 5.
    if (letter != 'V' && !(letter == 'R' && count >= 4)) return std::nullopt;
    options.verbose = letter == 'V';
    next = 2;
  } else if (count == 5) {
    return std::nullopt;
  }
  options.package = arguments[next++];
  if (next < count) options.mask = arguments[next++];
  if (next < count) options.path = arguments[next++];
  return options;
}

namespace {

// A path that cannot be made full (the current folder cannot be read, for
// instance because it has been removed) refuses the run: it must never fall
// back to the file-system root.
int RefuseUnresolvedPath(const std::string& path) {
  ConsoleError("cannot make a full path of \"" + path + "\": the current folder cannot be read");
  return 1;
}

// Under -v, why the package did not open, on standard error after the
// standard output line; standard output stays as it is.
void ExplainOpenFailure() {
  const std::string reason = MsiLastReason(0);
  if (reason.empty()) return;
  FlushConsole();
  std::fprintf(stderr, "pandrel: %s\n", reason.c_str());
  std::fflush(stderr);
}

int RunCommand(const RunOptions& options) {
  const std::string package = files::FullPathName(options.package);
  if (package.empty()) return RefuseUnresolvedPath(options.package);
  std::string target =
      options.path ? files::FullPathName(*options.path) : files::FolderPart(package);
  if (target.empty()) return RefuseUnresolvedPath(*options.path);
  const std::string mask = options.mask.value_or("*");

  auto handler = std::make_unique<TMsiHandler>();
  if (!handler->OpenPackage(package)) {
    ConsoleError("invalid MSI file \"" + package + "\"");
    if (Verbose) ExplainOpenFailure();
    return 2;
  }
  // The outcome is not examined: a command that writes there reports its
  // own failures.
  files::MakeFolderChain(target);
  if (target.empty() || !files::IsSeparator(target.back())) target += files::Separator();

  switch (options.command) {
    case 'L':
      handler->SelectFiles(mask, true);
      break;
    case 'R':
      handler->ExportRegistry();
      break;
    case 'X':
      handler->ExtractCabinets(target, mask);
      handler->PlaceFiles();
      break;
  }
  return 0;
}

}  // namespace

int RunPandrel(const std::vector<std::string>& arguments) {
  try {
    int exit_code = 1;
    PrintBanner();
    std::optional<RunOptions> options = ParseCommandLine(arguments);
    if (!options) {
      PrintUsage();
    } else {
      Verbose = options->verbose;
      exit_code = RunCommand(*options);
    }
    FlushConsole();
    return exit_code;
  } catch (const std::bad_alloc&) {
    ConsoleLineAfterFailure(std::string(tool_output::kErrorWord) +
                            ": unexpected failure: out of memory");
  } catch (const std::exception& failure) {
    ConsoleLineAfterFailure(std::string(tool_output::kErrorWord) +
                            ": unexpected failure: " + failure.what());
  }
  return 1;
}
