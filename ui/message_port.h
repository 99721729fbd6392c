// Messages posted to a dialog from any thread (a worker reporting progress),
// delivered later on the dialog's own thread in the order they were posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace klm::ui {

struct PostedMessage {
  std::uint32_t message = 0;
  std::uint64_t wparam = 0;
  std::int64_t lparam = 0;
};

// The queue between posting threads and the dialog. Shared: a worker keeps
// its Poster after the dialog has gone and its posts are then dropped.
class MessagePort {
 public:
  // False once the dialog has closed the port (the message is dropped).
  bool Post(const PostedMessage& m);
  // Everything queued so far, oldest first.
  std::vector<PostedMessage> Drain();
  // Blocks until a message is queued or `timeout` passes; true when one is.
  bool WaitForMessage(std::chrono::milliseconds timeout);
  // Drops what is queued and refuses later posts.
  void Close();
  // Called on the posting thread, under the port's lock, after each accepted
  // post; the Qt view uses it to schedule a delivery on the dialog's thread.
  // It must not call back into the port.
  void SetWake(std::function<void()> wake);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<PostedMessage> queue_;
  std::function<void()> wake_;
  bool closed_ = false;
};

// What a controller hands to a worker thread.
class Poster {
 public:
  Poster() = default;
  explicit Poster(std::shared_ptr<MessagePort> port) : port_(std::move(port)) {}
  bool Post(std::uint32_t message, std::uint64_t wparam = 0, std::int64_t lparam = 0) const {
    return port_ && port_->Post({message, wparam, lparam});
  }

 private:
  std::shared_ptr<MessagePort> port_;
};

}  // namespace klm::ui
