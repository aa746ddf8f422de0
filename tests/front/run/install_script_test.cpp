// The one-line script that runs the registry export: run by /bin/sh, it must
// hand every path over unchanged, whatever characters it holds.
#include "run/install_script.h"
#include "host/file_ops.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace tarvelin {
namespace {

using test_support::ReadFile;
using test_support::TempDir;

TEST(InstallScript, OneLineEndedByALineFeed) {
  EXPECT_EQ(InstallScriptLine("/t/Pandrel.exe", "/t/tmp.msi", "/t/reg.reg"),
            "'/t/Pandrel.exe' r '/t/tmp.msi' > '/t/reg.reg'\n");
}

TEST(InstallScript, ShellHandsAwkwardPathsOverUnchanged) {
  for (const std::string folder_name :
       {"plain", "with blank", "it's", "$HOME `id` $(id)", "semi;colon&amp|pipe", "quote\"d",
        "back\\slash", "new\nline", "*.glob?", "-dash"}) {
    SCOPED_TRACE(folder_name);
    TempDir dir;
    const std::string folder = dir / folder_name;
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    // A stand-in tool that prints its arguments, one a line.
    const std::string tool = folder + "/Pandrel.exe";
    ASSERT_TRUE(WriteNewFile(tool, "#!/bin/sh\nprintf '%s\\n' \"$@\"\n", 0700));
    const std::string script = folder + "/INSTALL.BAT";
    const std::string package = folder + "/tmp.msi";
    const std::string output = folder + "/reg.reg";
    ASSERT_TRUE(WriteNewFile(script, InstallScriptLine(tool, package, output), 0600));

    // Run the way the window runs it: /bin/sh with the script's path.
    char* const argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>(script.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(output), "r\n" + package + "\n");
  }
}

}  // namespace
}  // namespace tarvelin
