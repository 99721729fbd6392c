#include "platform/process.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

namespace fs = std::filesystem;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (previous_) ::setenv(name_, previous_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

void Script(const fs::path& p, const std::string& body) {
  std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
  ::chmod(p.c_str(), 0755);
}

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits for a file written by a program nobody waits for.
std::string AwaitFile(const fs::path& p) {
  for (int i = 0; i < 500 && !fs::exists(p); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return Read(p);
}

TEST(CommandLine, SplitsLikeTheCRuntime) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  } cases[] = {
      {R"(C:\P\KLM71pc.exe /S /L=C:\T\log.txt C:\T\KLM71ed.txt C:\T\KLM71ed.qmd)",
       {R"(C:\P\KLM71pc.exe)", "/S", R"(/L=C:\T\log.txt)", R"(C:\T\KLM71ed.txt)",
        R"(C:\T\KLM71ed.qmd)"}},
      {R"("C:\Program Files\ut.exe" "Label Printer 1"  plain)",
       {R"(C:\Program Files\ut.exe)", "Label Printer 1", "plain"}},
      {R"(x.exe a\"b "c d"e "" "say ""hi""")", {"x.exe", "a\"b", "c de", "", "say \"hi\""}},
      {R"(x.exe a\\\\"b c" d\\e)", {"x.exe", R"(a\\b c)", R"(d\\e)"}},
      {R"("C:\dir\" x)", {R"(C:\dir\)", "x"}},
      {"  \t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

class ProcessTest : public ::testing::Test {
 protected:
  testing::TempRoot root_;
  fs::path dir_ = root_.path();
};

TEST_F(ProcessTest, ExeNameStartsTheNativeProgramWithArguments) {
  fs::create_directory(dir_ / "Work");
  Script(dir_ / "Child", "printf '%s\\n' \"$@\" > args.txt; pwd > pwd.txt; exit 3");
  StartOptions options;
  options.working_directory = dir_.string() + "\\WORK";
  auto p = StartProcess("\"" + dir_.string() + "\\child.EXE\" one \"two words\"", options);
  ASSERT_TRUE(p.ok()) << p.error().message;
  EXPECT_TRUE(WaitForProcess(*p, kInfinite));
  EXPECT_EQ(p->exit_code(), 3u);
  EXPECT_EQ(Read(dir_ / "Work" / "args.txt"), "one\ntwo words\n");
  EXPECT_EQ(Read(dir_ / "Work" / "pwd.txt"), (dir_ / "Work").string() + "\n");
}

TEST_F(ProcessTest, ExactExecutableNameAlsoWorks) {
  Script(dir_ / "run.sh", "exit 0");
  auto p = StartProcess((dir_ / "run.sh").string());
  ASSERT_TRUE(p.ok()) << p.error().message;
  EXPECT_TRUE(WaitForProcess(*p, kInfinite));
  EXPECT_EQ(p->exit_code(), 0u);
}

TEST_F(ProcessTest, WhatCannotStartFailsAtStart) {
  std::ofstream(dir_ / "data.exe") << "not a program";
  fs::create_directory(dir_ / "folder.exe");
  struct Case {
    std::string command_line, working_directory;
    std::uint32_t code;
  } cases[] = {
      {dir_.string() + "\\KLM71pc.exe /S in out", "", ERROR_FILE_NOT_FOUND},
      {dir_.string() + "/data.exe", "", ERROR_BAD_EXE_FORMAT},
      {dir_.string() + "/folder.exe", "", ERROR_FILE_NOT_FOUND},
      {"/bin/true", dir_.string() + "/nowhere", ERROR_DIRECTORY},
      {"", "", ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    auto p = StartProcess(c.command_line, StartOptions{c.working_directory});
    ASSERT_FALSE(p.ok()) << c.command_line;
    EXPECT_EQ(p.error().code, c.code) << c.command_line << ": " << p.error().message;
  }
}

TEST_F(ProcessTest, PollAndTimeoutReportARunningProgram) {
  auto p = StartProcess("/bin/sleep 30");
  ASSERT_TRUE(p.ok());
  EXPECT_FALSE(WaitForProcess(*p, 0));
  EXPECT_FALSE(WaitForProcess(*p, 20));
  EXPECT_EQ(p->exit_code(), kStillActive);
  ::kill(p->pid(), SIGTERM);
  EXPECT_TRUE(WaitForProcess(*p, kInfinite));
  EXPECT_EQ(p->exit_code(), 128u + SIGTERM);
}

TEST_F(ProcessTest, DroppedProcessesAreReaped) {
  int pid;
  {
    auto p = StartProcess("/bin/true");
    ASSERT_TRUE(p.ok());
    pid = p->pid();
  }
  fs::path proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 500 && fs::exists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(fs::exists(proc)) << "child " << pid << " left as a zombie";
}

TEST_F(ProcessTest, ShellLogRecordsInsteadOfStarting) {
  ScopedEnv log("KLM71_SHELL_LOG", (dir_ / "shell.log").string());
  Script(dir_ / "Marker", "touch started");
  ASSERT_TRUE(ShellOpen(dir_.string() + "\\Marker.exe", "Label Printer 1", dir_.string()).ok());
  ASSERT_TRUE(ShellOpen("https://example.invalid/support", "", "").ok());
  EXPECT_EQ(Read(dir_ / "shell.log"), dir_.string() + "\\Marker.exe|Label Printer 1|" +
                                          dir_.string() + "\nhttps://example.invalid/support||\n");
  EXPECT_FALSE(fs::exists(dir_ / "started"));
}

TEST_F(ProcessTest, ShellOpenStartsProgramsWithoutWaiting) {
  Script(dir_ / "KLM71ct", "printf '%s\\n' \"$@\" > ran.txt");
  ASSERT_TRUE(ShellOpen("klm71CT.exe", "/i \"Printer One\"", dir_.string()).ok());
  EXPECT_EQ(AwaitFile(dir_ / "ran.txt"), "/i\nPrinter One\n");
}

TEST_F(ProcessTest, ShellOpenHandsDocumentsAndAddressesToXdgOpen) {
  fs::create_directory(dir_ / "bin");
  Script(dir_ / "bin" / "xdg-open", "echo \"$1\" >> " + (dir_ / "opened.txt").string());
  std::ofstream(dir_ / "Manual.pdf") << "%PDF";
  {
    ScopedEnv path("PATH", (dir_ / "bin").string() + ":/usr/bin:/bin");
    ASSERT_TRUE(ShellOpen("manual.PDF", "", dir_.string()).ok());
    EXPECT_EQ(AwaitFile(dir_ / "opened.txt"), (dir_ / "Manual.pdf").string() + "\n");
    EXPECT_EQ(ShellOpen("missing.pdf", "", dir_.string()).error().code, ERROR_FILE_NOT_FOUND);
  }
  ScopedEnv path("PATH", (dir_ / "nothing").string());
  auto st = ShellOpen("https://example.invalid/", "", "");
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().code, ERROR_NO_ASSOCIATION);
  EXPECT_NE(st.error().message.find("xdg-open"), std::string::npos);
}

}  // namespace
}  // namespace klm::platform
