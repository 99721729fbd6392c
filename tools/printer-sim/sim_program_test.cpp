// Runs the simulator program as a person would and talks to it through the
// port map with the utility's own requests.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "platform/ports.h"
#include "platform/testing/temp_root.h"
#include "tools/printer-sim/printer_model.h"
#include "utility/printer_requests.h"

namespace {

namespace util = klm::utility;

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    const char* bin = std::getenv("KLM71_BUILD_BIN");
    std::string program = std::string(bin ? bin : ".") + "/klm71-printer-sim";
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::vector<char*> argv{program.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = fdopen(out[0], "r");
  }
  ~SimProcess() { Stop(); }

  // The next line the program prints, or "" at its end.
  std::string Line() {
    char buf[512];
    if (!fgets(buf, sizeof buf, out_)) return {};
    std::string s(buf);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  std::string WaitFor(const std::string& prefix) {
    for (std::string l = Line(); !l.empty(); l = Line())
      if (l.starts_with(prefix)) return l;
    return {};
  }
  int Stop() {
    if (pid_ <= 0) return status_;
    kill(pid_, SIGINT);
    waitpid(pid_, &status_, 0);
    pid_ = -1;
    fclose(out_);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int status_ = 0;
};

TEST(PrinterSimProgram, MapsItsPortsAnswersAndUnmapsOnInterrupt) {
  klm::testing::TempRoot root;
  ASSERT_TRUE(klm::platform::MapPort("COM1:", "/dev/ttyS0"));  // restored afterwards
  SimProcess sim({"--port", "COM1:", "--usb", "USB001", "--command-system", "3"});
  std::string mapped = sim.WaitFor("COM1: -> ");
  ASSERT_FALSE(mapped.empty());
  ASSERT_FALSE(sim.WaitFor("ready").empty());
  EXPECT_EQ(klm::platform::PortDevice("COM1:").value_or(""), mapped.substr(std::string("COM1: -> ").size()));

  util::PrinterLink link{"COM1:", util::PortKind::Com, '5' | ('1' << 8), 9600};
  auto value = util::SynchronousQuery(link, util::Setting::CommandSystem, util::DefaultLinkServices());
  ASSERT_TRUE(value) << value.error().message;
  EXPECT_EQ(*value, 3);
  util::PrinterLink usb{"USB001", util::PortKind::Usb, '5' | ('1' << 8), 9600};
  EXPECT_TRUE(util::SynchronousQuery(usb, util::Setting::PowerOn, util::DefaultLinkServices()));
  EXPECT_FALSE(sim.WaitFor("serial: query setting").empty());

  int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(klm::platform::PortDevice("COM1:").value_or(""), "/dev/ttyS0");
  EXPECT_FALSE(klm::platform::PortDevice("USB001"));
}

TEST(PrinterSimProgram, KeepsRegisteredFormatsAndListsThem) {
  klm::testing::TempRoot root;
  std::string formats = (root.path() / "formats.bin").string();
  {
    SimProcess sim({"--port", "COM1:", "--usb", "USB001", "--formats", formats});
    ASSERT_FALSE(sim.WaitFor("ready").empty());
    std::vector<klm::printer_sim::FormatEntry> entries(3);
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i].fill(static_cast<std::uint8_t>(0xA0 + i));
    auto file = klm::printer_sim::BuildRegistration(entries);
    auto written = util::DeviceNodePortIo().Write("USB001", file, 1500);
    ASSERT_TRUE(written);
    EXPECT_FALSE(sim.WaitFor("registered 3 paper formats").empty());
  }
  SimProcess list({"--list-formats", "--formats", formats});
  EXPECT_TRUE(list.Line().starts_with("3 paper format(s) registered"));
  EXPECT_TRUE(list.Line().starts_with("  0: A0 A0"));
}

}  // namespace
