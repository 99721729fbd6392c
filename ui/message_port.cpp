#include "ui/message_port.h"

namespace klm::ui {

bool MessagePort::Post(const PostedMessage& m) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    queue_.push_back(m);
    // Under the lock: Close() then cannot return while a wake is still
    // reaching into a view that is being destroyed.
    if (wake_) wake_();
  }
  cv_.notify_all();
  return true;
}

std::vector<PostedMessage> MessagePort::Drain() {
  std::lock_guard lock(mutex_);
  std::vector<PostedMessage> out(queue_.begin(), queue_.end());
  queue_.clear();
  return out;
}

bool MessagePort::WaitForMessage(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, timeout, [this] { return !queue_.empty() || closed_; }) && !queue_.empty();
}

void MessagePort::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    wake_ = nullptr;
  }
  cv_.notify_all();
}

void MessagePort::SetWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

}  // namespace klm::ui
