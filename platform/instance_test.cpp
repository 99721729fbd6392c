#include "platform/instance.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

// Counts activation requests and lets the test wait for them.
class Activations {
 public:
  std::function<void()> Callback() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++count_;
      changed_.notify_all();
    };
  }
  bool WaitFor(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(Instance, SecondHolderFindsTheNameTakenUntilReleased) {
  testing::TempRoot root;
  {
    auto first = AcquireInstance("mutex_KLM71");
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_FALSE(first->AlreadyRunning());
    auto second = AcquireInstance("mutex_KLM71");
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(second->AlreadyRunning());
    auto other_model = AcquireInstance("mutex_KLM72");
    ASSERT_TRUE(other_model.ok());
    EXPECT_FALSE(other_model->AlreadyRunning());
    auto odd_name = AcquireInstance("mutex_/../KLM 71");
    ASSERT_TRUE(odd_name.ok());
    EXPECT_FALSE(odd_name->AlreadyRunning());
    EXPECT_TRUE(std::filesystem::exists(root.path() / "run" / "mutex_%2F..%2FKLM%2071.lock"));
  }
  auto again = AcquireInstance("mutex_KLM71");
  ASSERT_TRUE(again.ok());
  EXPECT_FALSE(again->AlreadyRunning());
  EXPECT_EQ(AcquireInstance("").error().code, ERROR_INVALID_NAME);
}

TEST(Instance, MachineRootsAreSeparate) {
  testing::TempRoot first_root;
  auto first = AcquireInstance("mutex_KLM71");
  ASSERT_TRUE(first.ok());
  testing::TempRoot second_root;
  auto second = AcquireInstance("mutex_KLM71");
  ASSERT_TRUE(second.ok());
  EXPECT_FALSE(second->AlreadyRunning());
}

TEST(Instance, SecondCopyAsksTheHolderToComeForward) {
  testing::TempRoot root;
  Activations activations;
  auto holder = AcquireInstance("mutex_KLM71");
  ASSERT_TRUE(holder.ok());
  holder->OnActivateRequest(activations.Callback());
  ASSERT_TRUE(RequestActivate("mutex_KLM71").ok());
  EXPECT_TRUE(activations.WaitFor(1));
  ASSERT_TRUE(RequestActivate("mutex_KLM71").ok());
  EXPECT_TRUE(activations.WaitFor(2));
  EXPECT_EQ(RequestActivate("mutex_KLM72").error().code, ERROR_FILE_NOT_FOUND);
}

TEST(Instance, RequestBeforeRegistrationIsNotLost) {
  testing::TempRoot root;
  auto holder = AcquireInstance("mutex_KLM71");
  ASSERT_TRUE(holder.ok());
  ASSERT_TRUE(RequestActivate("mutex_KLM71").ok());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the listener take it
  Activations activations;
  holder->OnActivateRequest(activations.Callback());
  EXPECT_TRUE(activations.WaitFor(1));
}

TEST(Instance, ReleasedNameTakesNoRequests) {
  testing::TempRoot root;
  { auto holder = AcquireInstance("mutex_KLM71"); }
  EXPECT_FALSE(RequestActivate("mutex_KLM71").ok());
}

}  // namespace
}  // namespace klm::platform
