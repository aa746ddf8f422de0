#include "support/test_support.h"

#include "support/sha256.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace test_support {

namespace fs = std::filesystem;

std::string PandrelBinary() { return PANDREL_BINARY; }

RunResult RunPandrel(const std::vector<std::string>& args, const std::string& cwd,
                     const std::string& stdout_path) {
  TempDir capture;
  const std::string out_path = stdout_path.empty() ? capture / "out" : stdout_path;
  const std::string err_path = capture / "err";
  std::vector<std::string> argv_text{PandrelBinary()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (stdout_path.empty()) result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

std::vector<std::string> OutputLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "output does not end in CR LF: " << out.substr(start);
      lines.push_back(out.substr(start));
      break;
    }
    lines.push_back(out.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Banner() {
  return "Pandrel\r\n"
         "Windows Installer unpacker for Linux, by the Tarvelin and Pandrel developers\r\n"
         "24 Apr 2004                       Version 0.2\r\n"
         "\r\n";
}

}  // namespace test_support

namespace test_support {

std::string TreeListing(const fs::path& root) {
  std::vector<std::string> lines;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file()) continue;
    struct stat info {};
    stat(item.path().c_str(), &info);
    char when[32];
    std::tm parts{};
    gmtime_r(&info.st_mtime, &parts);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &parts);
    lines.push_back(fs::relative(item.path(), root).string() + "\t" + std::to_string(info.st_size) +
                    "\t" + Sha256Hex(ReadFile(item.path())) + "\t" + when + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string listing;
  for (const auto& line : lines) listing += line;
  return listing;
}

}  // namespace test_support
