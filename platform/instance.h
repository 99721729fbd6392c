// A named single-instance lock per machine root, standing in for a named
// mutex, plus a way for a second copy to ask the first to come forward.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "platform/result.h"

namespace klm::platform {

// Holds the lock until destroyed (or the process ends, even by a crash).
class InstanceLock {
 public:
  InstanceLock(InstanceLock&&) noexcept;
  InstanceLock& operator=(InstanceLock&&) noexcept;
  ~InstanceLock();

  // True when another holder had the name: this object then holds nothing.
  bool AlreadyRunning() const;

  // For the holder: `callback` runs on a background thread whenever another
  // copy calls RequestActivate (post to the UI thread from it). A request that
  // came before registration is delivered at once, on the caller's thread.
  void OnActivateRequest(std::function<void()> callback);

 private:
  struct State;
  explicit InstanceLock(std::unique_ptr<State> state);
  friend Result<InstanceLock> AcquireInstance(std::string_view name);
  std::unique_ptr<State> state_;
};

// Takes the lock MachineRoot()/run/<name>.lock. Finding it taken is no error
// (see AlreadyRunning); ERROR_INVALID_NAME for an empty name, a file-system
// code when the lock file cannot be made.
Result<InstanceLock> AcquireInstance(std::string_view name);

// Asks the holder of `name` to bring its window forward. ERROR_FILE_NOT_FOUND
// when no copy holds it.
Status RequestActivate(std::string_view name);

}  // namespace klm::platform
