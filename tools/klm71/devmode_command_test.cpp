// "klm71 devmode" against a fresh machine root with the installed package.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "platform/testing/temp_root.h"
#include "tools/klm71/testing/run_klm71.h"

namespace {

using klm::testing::Outcome;
Outcome Klm71(const std::string& args) { return klm::testing::Klm71(args, /*with_errors=*/false); }

TEST(DevmodeCommand, WritesTheDriverDefaultAndShowsItByName) {
  setenv("KLM71_ADMIN", "1", 1);
  klm::testing::TempRoot root;
  ASSERT_EQ(Klm71("install").status, 0);
  ASSERT_EQ(Klm71("printer add LM-7100 --port COM1:").status, 0);
  const std::string file = (root.path() / "default.dm").string();
  Outcome written = Klm71("devmode default LM-7100 --out '" + file + "'");
  ASSERT_EQ(written.status, 0) << written.out;
  EXPECT_EQ(std::filesystem::file_size(file), 496u);

  Outcome shown = Klm71("devmode show '" + file + "' --json");
  ASSERT_EQ(shown.status, 0) << shown.out;
  const auto j = nlohmann::json::parse(shown.out);
  EXPECT_EQ(j["public"]["dmSize"], 220);
  EXPECT_EQ(j["public"]["dmFormName"], "102mm x 152mm");
  EXPECT_EQ(j["private"]["Signature"], 0x56495250);
  EXPECT_EQ(j["private"]["ExtSignature"], "KVQM");
  EXPECT_TRUE(j["missing"].empty());

  // A cut file shows what it holds and names the rest.
  std::filesystem::resize_file(file, 230);
  shown = Klm71("devmode show '" + file + "' --json");
  ASSERT_EQ(shown.status, 0);
  const auto cut = nlohmann::json::parse(shown.out);
  EXPECT_EQ(cut["private"]["ExtSize"], 30);
  EXPECT_FALSE(cut["private"].contains("Signature"));
  EXPECT_NE(cut["missing"].dump().find("Signature"), std::string::npos);

  std::filesystem::resize_file(file, 40);
  EXPECT_EQ(Klm71("devmode show '" + file + "'").status, 1);
  EXPECT_EQ(Klm71("devmode default 'No such printer' --out '" + file + "'").status, 1);
  unsetenv("KLM71_ADMIN");
}

}  // namespace
