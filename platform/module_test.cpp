#include "platform/module.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

namespace fs = std::filesystem;

fs::path BuildBin() {
  const char* bin = std::getenv("KLM71_BUILD_BIN");
  return bin ? fs::path(bin) : fs::read_symlink("/proc/self/exe").parent_path();
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(BuildBin() / "KlmSample.so", dir_ / "KlmSample.so");
    fs::copy_file(BuildBin() / "KlmRefuses.so", dir_ / "KlmRefuses.so");
    ::setenv("KLM71_MODULE_LOG", log_.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("KLM71_MODULE_LOG"); }
  std::string Log() {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  testing::TempRoot root_;
  fs::path dir_ = root_.path();
  fs::path log_ = root_.path() / "calls.log";
};

TEST_F(ModuleTest, WindowsNamesFindTheSharedObjectInAnyCase) {
  for (std::string name : {"KlmSample.dll", "KLMSAMPLE.DLL", "klmsample.exe", "KlmSample.so"}) {
    auto module = LoadModule(dir_.string() + "\\" + name);
    ASSERT_TRUE(module.ok()) << name << ": " << module.error().message;
    EXPECT_EQ(ModulePath(*module), dir_ / "KlmSample.so");
    auto answer = reinterpret_cast<int (*)()>(GetSymbol(*module, "SampleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(GetSymbol(*module, "NoSuchExport"), nullptr);
    EXPECT_TRUE(FreeModule(*module).ok());
  }
  EXPECT_EQ(Log(), std::string("attach\ndetach\n").append("attach\ndetach\n")
                       .append("attach\ndetach\n").append("attach\ndetach\n"));
}

TEST_F(ModuleTest, SecondLoadCountsAReferenceAndAttachesOnce) {
  auto first = LoadModule(dir_ / "KlmSample.dll");
  auto second = LoadModule(dir_ / "klmsample.DLL");
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(*first, *second);
  EXPECT_TRUE(FreeModule(*first).ok());
  EXPECT_EQ(Log(), "attach\n");
  EXPECT_NE(GetSymbol(*second, "SampleAnswer"), nullptr);  // still loaded
  EXPECT_TRUE(FreeModule(*second).ok());
  EXPECT_EQ(Log(), "attach\ndetach\n");
  EXPECT_EQ(FreeModule(*second).error().code, ERROR_INVALID_HANDLE);
  EXPECT_EQ(FreeModule(nullptr).error().code, ERROR_INVALID_HANDLE);
}

TEST_F(ModuleTest, RefusedAttachFailsTheLoad) {
  auto module = LoadModule(dir_ / "KlmRefuses.dll");
  ASSERT_FALSE(module.ok());
  EXPECT_EQ(module.error().code, ERROR_DLL_INIT_FAILED);
  EXPECT_EQ(Log(), "attach\n");  // no detach for a library that never attached
}

TEST_F(ModuleTest, LoadErrors) {
  EXPECT_EQ(LoadModule(dir_ / "Missing.dll").error().code, ERROR_MOD_NOT_FOUND);
  std::ofstream(dir_ / "Text.so") << "not a library";
  EXPECT_EQ(LoadModule(dir_ / "Text.dll").error().code, ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(Log(), "");
}

TEST_F(ModuleTest, BareNamesAreFoundBesideTheProgram) {
  auto module = LoadModule("KLMSAMPLE.DLL");
  ASSERT_TRUE(module.ok()) << module.error().message;
  EXPECT_EQ(ModulePath(*module).parent_path(), fs::read_symlink("/proc/self/exe").parent_path());
  EXPECT_TRUE(FreeModule(*module).ok());
}

TEST_F(ModuleTest, DataModulesRunNoCode) {
  std::ofstream(dir_ / "KLM71ut.dll") << "resources";
  auto exact = LoadModuleAsData(dir_.string() + "\\klm71UT.DLL");
  ASSERT_TRUE(exact.ok());
  EXPECT_EQ(ModulePath(*exact), dir_ / "KLM71ut.dll");
  auto so = LoadModuleAsData(dir_ / "klmsample.dll");
  ASSERT_TRUE(so.ok());
  EXPECT_EQ(ModulePath(*so), dir_ / "KlmSample.so");
  EXPECT_EQ(GetSymbol(*so, "SampleAnswer"), nullptr);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(FreeModule(*exact).ok());
  EXPECT_TRUE(FreeModule(*so).ok());
  EXPECT_EQ(LoadModuleAsData(dir_ / "none.dll").error().code, ERROR_MOD_NOT_FOUND);
}

}  // namespace
}  // namespace klm::platform
