#include "platform/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (previous_) ::setenv(name_, previous_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(System, AdministratorOverride) {
  {
    ScopedEnv env("KLM71_ADMIN", "1");
    EXPECT_TRUE(IsAdministrator());
  }
  {
    ScopedEnv env("KLM71_ADMIN", "0");
    EXPECT_FALSE(IsAdministrator());
  }
  ScopedEnv env("KLM71_ADMIN", nullptr);
  if (::geteuid() == 0) {
    EXPECT_TRUE(IsAdministrator());
  }
}

TEST(System, TempFolderIsPrivateAndEndsInASeparator) {
  testing::TempRoot scratch;
  ScopedEnv env("KLM71_TEMP", scratch.path().c_str());
  fs::path expected = scratch.path() / ("klm71-" + std::to_string(::geteuid())) / "";
  EXPECT_EQ(TempFolder(), expected);
  EXPECT_EQ(TempFolder().string().back(), '/');
  struct stat st {};
  ASSERT_EQ(::stat(expected.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(System, TempFolderAvoidsANameTakenByAFile) {
  testing::TempRoot scratch;
  ScopedEnv env("KLM71_TEMP", scratch.path().c_str());
  fs::path taken = scratch.path() / ("klm71-" + std::to_string(::geteuid()));
  std::ofstream(taken) << "not a folder";
  fs::path temp = TempFolder();
  EXPECT_NE(temp, taken / "");
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_EQ(TempFolder(), temp);  // the same one for the whole process
}

TEST(System, TickCountAdvancesInMilliseconds) {
  std::uint32_t start = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_GE(static_cast<std::uint32_t>(TickCount() - start), 30u);
}

}  // namespace
}  // namespace klm::platform
