// Runs the real klm71 program against a fresh machine root.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/testing/temp_root.h"
#include "tools/klm71/testing/run_klm71.h"

namespace {

using klm::testing::Outcome;
using klm::testing::Klm71;

class Klm71Command : public ::testing::Test {
 protected:
  void SetUp() override { setenv("KLM71_ADMIN", "1", 1); }
  void TearDown() override { unsetenv("KLM71_ADMIN"); }
  klm::testing::TempRoot root_;
};

TEST_F(Klm71Command, InstallAddAndShowPrinter) {
  Outcome install = Klm71("install");
  ASSERT_EQ(install.status, 0) << install.out;
  Outcome add = Klm71("printer add LM-7100 --port COM1:");
  ASSERT_EQ(add.status, 0) << add.out;
  Outcome show = Klm71("printer show LM-7100 --json");
  ASSERT_EQ(show.status, 0) << show.out;
  auto j = nlohmann::json::parse(show.out);
  EXPECT_EQ(j["name"], "LM-7100");
  EXPECT_EQ(j["port"], "COM1:");
  EXPECT_EQ(j["driver"], "Koravel LM-7100");

  Outcome key = Klm71("reg get \"SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\Koravel LM-7100\" --json");
  ASSERT_EQ(key.status, 0) << key.out;
  auto values = nlohmann::json::parse(key.out);
  EXPECT_EQ(values["Status TimeOut"]["value"], 5);
  EXPECT_EQ(values["Print TimeOut"]["value"], 120);
  EXPECT_EQ(values["CustomLabel"]["value"], 1);
}

TEST_F(Klm71Command, BadInputFailsClearlyAndChangesNothing) {
  ASSERT_EQ(Klm71("install").status, 0);
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"printer show Nobody", "no printer named \"Nobody\""},
      {"printer-data set Nobody X --dword 1", "no printer named"},
      {"reg set SOFTWARE\\\\X v --dword twelve", "--dword needs a 32-bit number"},
      {"reg set SOFTWARE\\\\X v --binary abc", "even number of hex digits"},
      {"locale set measure 7", "measure must be 0"},
  };
  for (const auto& c : cases) {
    Outcome r = Klm71(c.args);
    EXPECT_NE(r.status, 0) << c.args;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << " said: " << r.out;
  }
  EXPECT_EQ(Klm71("reg get SOFTWARE\\\\X").status, 1);  // the failed set created nothing
  ASSERT_EQ(Klm71("printer add P --port COM2:").status, 0);
  Outcome again = Klm71("printer add p --port COM3:");
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.out.find("exists already"), std::string::npos);
  EXPECT_NE(Klm71("printer show P --json").out.find("COM2:"), std::string::npos);
}

// What an application sees through the installed driver library.
TEST_F(Klm71Command, ApplicationViewThroughTheDriverLibrary) {
  ASSERT_EQ(Klm71("install").status, 0);
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:").status, 0);

  Outcome papers = Klm71("caps LM-7100 DC_PAPERS --json");
  ASSERT_EQ(papers.status, 0) << papers.out;
  auto ids = nlohmann::json::parse(papers.out)["DC_PAPERS"];
  ASSERT_GT(ids["answer"].get<int>(), 1);
  ASSERT_EQ(ids["items"].size(), ids["answer"].get<std::size_t>());
  EXPECT_EQ(ids["items"].back(), 256);  // the custom size closes the list without user formats
  EXPECT_NE(Klm71("caps LM-7100 DC_NOSUCH").status, 0);

  std::string devmode = (root_.path() / "job.devmode").string();
  Outcome merged = Klm71("devmode merge LM-7100 --request-paper 366 --request-cut every,mirror --copies 3 --out " +
                         devmode + " --json");
  ASSERT_EQ(merged.status, 0) << merged.out;
  auto summary = nlohmann::json::parse(merged.out);
  EXPECT_EQ(summary["dmPaperSize"], 366);
  EXPECT_EQ(summary["dmCopies"], 3);
  EXPECT_EQ(summary["AppExtension"]["ExtCutFlags"], 0x5);
  EXPECT_EQ(std::filesystem::file_size(devmode), 496u);

  Outcome query = Klm71("query LM-7100 --devmode " + devmode);
  EXPECT_EQ(query.status, 0) << query.out;
  EXPECT_NE(Klm71("devmode merge LM-7100 --request-cut sideways").status, 0);
  EXPECT_NE(Klm71("query LM-7100 --devmode /nonexistent").status, 0);
}

TEST_F(Klm71Command, AddingWithoutInstallSaysWhatToDo) {
  Outcome r = Klm71("printer add LM-7100");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("klm71 install"), std::string::npos) << r.out;
}

TEST_F(Klm71Command, UnwritableRootIsReported) {
  setenv("KLM71_ROOT", "/proc/klm71-root", 1);
  Outcome r = Klm71("printer list");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("/proc/klm71-root"), std::string::npos) << r.out;
}

}  // namespace
