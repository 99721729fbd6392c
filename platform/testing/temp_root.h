// A fresh machine root for one test: KLM71_ROOT points at a new folder for
// the test's lifetime and is removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace klm::testing {

class TempRoot {
 public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "klm71-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    if (const char* old = std::getenv("KLM71_ROOT")) previous_ = old, had_previous_ = true;
    setenv("KLM71_ROOT", path_.c_str(), 1);
  }
  ~TempRoot() {
    if (had_previous_) setenv("KLM71_ROOT", previous_.c_str(), 1);
    else unsetenv("KLM71_ROOT");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool had_previous_ = false;
};

}  // namespace klm::testing
