#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

constexpr const char* kKey = "SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\Koravel LM-7100";

TEST(Registry, NamesCompareWithoutCaseAndParentsExist) {
  testing::TempRoot root;
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, kKey));
  EXPECT_TRUE(RegKeyExists(Hive::LocalMachine, "software\\KORAVEL INDUSTRIES, LTD.\\quillmark"));
  ASSERT_TRUE(RegSetValue(Hive::LocalMachine, kKey, "Status TimeOut", RegValue::Dword(5)));
  auto v = RegQueryValue(Hive::LocalMachine, "SOFTWARE\\koravel industries, ltd.\\Quillmark\\Driver\\3.0\\KORAVEL LM-7100\\",
                         "status timeout");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Dword);
  EXPECT_EQ(v->AsDword(), 5u);
  // Setting under another case replaces, not adds.
  ASSERT_TRUE(RegSetValue(Hive::LocalMachine, kKey, "STATUS TIMEOUT", RegValue::Dword(9)));
  EXPECT_EQ(RegListValues(Hive::LocalMachine, kKey)->size(), 1u);
  EXPECT_EQ(RegQueryValue(Hive::LocalMachine, kKey, "Status TimeOut")->AsDword(), 9u);
  EXPECT_FALSE(RegKeyExists(Hive::CurrentUser, kKey));
}

TEST(Registry, MissingKeyOrValueIsFileNotFound) {
  testing::TempRoot root;
  auto missing_key = RegQueryValue(Hive::LocalMachine, "SOFTWARE\\Nothing", "x");
  ASSERT_FALSE(missing_key);
  EXPECT_EQ(missing_key.error().code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValue(Hive::LocalMachine, "SOFTWARE\\Nothing", "x", RegValue::Dword(1)).error().code,
            ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, "SOFTWARE\\Something"));
  EXPECT_EQ(RegQueryValue(Hive::LocalMachine, "SOFTWARE\\Something", "x").error().code, ERROR_FILE_NOT_FOUND);
}

TEST(Registry, StringsAreUtf16WithTerminator) {
  testing::TempRoot root;
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, kKey));
  ASSERT_TRUE(RegSetValue(Hive::LocalMachine, kKey, "Info Dll", RegValue::String(u"KLM71F.DLL")));
  auto v = RegQueryValue(Hive::LocalMachine, kKey, "Info Dll");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->data.size(), 22u);
  EXPECT_EQ(v->AsString(), u"KLM71F.DLL");
  EXPECT_FALSE(v->AsDword());
}

TEST(Registry, DeleteKeyTakesItsSubtreeOnly) {
  testing::TempRoot root;
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, "A\\B\\C"));
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, "A\\BB"));
  ASSERT_TRUE(RegSetValue(Hive::LocalMachine, "A\\B\\C", "v", RegValue::Dword(1)));
  ASSERT_TRUE(RegDeleteKey(Hive::LocalMachine, "a\\b"));
  EXPECT_FALSE(RegKeyExists(Hive::LocalMachine, "A\\B\\C"));
  EXPECT_TRUE(RegKeyExists(Hive::LocalMachine, "A\\BB"));
  EXPECT_EQ(*RegListSubkeys(Hive::LocalMachine, "A"), std::vector<std::string>{"BB"});
}

// Two processes writing at once: every write of both must be there.
TEST(Registry, ConcurrentWritersFromTwoProcessesLoseNothing) {
  testing::TempRoot root;
  ASSERT_TRUE(RegCreateKey(Hive::LocalMachine, "Shared"));
  constexpr int kWrites = 150;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      bool ok = true;
      for (int i = 0; i < kWrites; ++i)
        ok &= RegSetValue(Hive::LocalMachine, "Shared", "p" + std::to_string(c) + "-" + std::to_string(i),
                          RegValue::Dword(static_cast<std::uint32_t>(i)))
                  .ok();
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto names = RegListValues(Hive::LocalMachine, "Shared");
  ASSERT_TRUE(names);
  EXPECT_EQ(names->size(), 2u * kWrites);
  EXPECT_EQ(RegQueryValue(Hive::LocalMachine, "Shared", "p1-149")->AsDword(), 149u);
}

TEST(Registry, DamagedDatabaseIsReportedNotOverwritten) {
  testing::TempRoot root;
  std::string garbage(8192, 'x');
  {
    FILE* f = fopen((root.path() / "machine.db").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(garbage.data(), 1, garbage.size(), f);
    fclose(f);
  }
  Status s = RegCreateKey(Hive::LocalMachine, "A");
  ASSERT_FALSE(s);
  EXPECT_NE(s.error().message.find("machine.db"), std::string::npos) << s.error().message;
  EXPECT_EQ(std::filesystem::file_size(root.path() / "machine.db"), garbage.size());
}

}  // namespace
}  // namespace klm::platform
