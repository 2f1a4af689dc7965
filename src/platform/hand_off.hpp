#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace tabvora::internal {

// Carries items in order from one producing thread to one consuming thread, at most
// `capacity` at a time, so the two work side by side in bounded memory. Items the
// consumer is done with can be given back for the producer to fill again. Either side can
// stop the other: the producer by close (after its last item, or when it failed), the
// consumer by abandon (when it failed), which makes the producer's next put return false.
template <typename Item>
class HandOff {
 public:
  explicit HandOff(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

  // Producer: waits for room, then queues the item. False (the item dropped) once abandoned.
  bool put(Item item) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || queue_.size() < capacity_; });
    if (abandoned_) return false;
    queue_.push_back(std::move(item));
    changed_.notify_all();
    return true;
  }
  // Producer: an item given back, to be refilled, if there is one.
  std::optional<Item> reuse() {
    std::lock_guard lock(mutex_);
    if (returned_.empty()) return std::nullopt;
    Item item = std::move(returned_.back());
    returned_.pop_back();
    return item;
  }
  // Producer: nothing more will come.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  // Consumer: waits for the next item; nothing once the producer closed and all was taken.
  std::optional<Item> take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || !queue_.empty(); });
    if (queue_.empty()) return std::nullopt;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return item;
  }
  // Consumer: hands a used item back for reuse.
  void giveBack(Item item) {
    std::lock_guard lock(mutex_);
    returned_.push_back(std::move(item));
  }
  // Consumer: stops the producer; what is queued is dropped.
  void abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    queue_.clear();
    changed_.notify_all();
  }

 private:
  std::size_t capacity_;
  std::deque<Item> queue_;
  std::vector<Item> returned_;
  bool closed_ = false;
  bool abandoned_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
};

// Runs `produce(handOff)` on a second thread, which puts items (filling those given back
// where it can) and returns, while this thread passes each item to `consume(item)` in order
// and gives it back. A failure on either side stops the other and is rethrown here, the
// consumer's first. False, with nothing produced, when no second thread can be started.
template <typename Item, typename Produce, typename Consume>
bool consumeFromSecondThread(std::size_t capacity, Produce&& produce, Consume&& consume) {
  HandOff<Item> handOff(capacity);
  std::exception_ptr failure;
  std::thread producer;
  try {
    producer = std::thread([&] {
      try {
        produce(handOff);
      } catch (...) {
        failure = std::current_exception();
      }
      handOff.close();
    });
  } catch (const std::system_error&) {
    return false;
  }
  try {
    while (std::optional<Item> item = handOff.take()) {
      consume(*item);
      handOff.giveBack(std::move(*item));
    }
  } catch (...) {
    handOff.abandon();
    producer.join();
    throw;
  }
  producer.join();
  if (failure) std::rethrow_exception(failure);
  return true;
}

}  // namespace tabvora::internal
