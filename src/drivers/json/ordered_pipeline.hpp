#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tabvora::internal {

// Work units 0..count-1 are produced on worker threads, each worker with its own state
// (its own parser), and consumed strictly in unit order on the calling thread. At most
// `window` units are produced but not yet consumed at any time, which bounds memory. An
// error of a producer is rethrown by the consumer at that unit's turn; an error of the
// consumer stops the workers. With one unit or one worker everything runs on the caller.
template <typename Block>
class OrderedPipeline {
 public:
  using Producer = std::function<void(std::size_t unit, Block& block)>;
  using Consumer = std::function<void(std::size_t unit, Block& block)>;

  // Number of workers for this machine: one per processor the platform reports, at least 1.
  static unsigned defaultWorkerCount() { return std::max(1u, std::thread::hardware_concurrency()); }

  static void run(std::size_t count, unsigned workerCount, std::size_t window,
                  const std::function<Producer()>& makeProducer, const Consumer& consume) {
    if (count == 0) return;
    workerCount = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, workerCount), count));
    if (workerCount == 1) {
      Producer produce = makeProducer();
      for (std::size_t unit = 0; unit < count; ++unit) {
        Block block;
        produce(unit, block);
        consume(unit, block);
      }
      return;
    }
    OrderedPipeline pipeline(count, std::max<std::size_t>(window, workerCount));
    pipeline.start(workerCount, makeProducer);
    pipeline.consumeAll(consume);
  }

 private:
  struct Slot {
    bool ready = false;
    Block block;
    std::exception_ptr error;
  };

  OrderedPipeline(std::size_t count, std::size_t window) : count_(count), window_(window), slots_(window) {}

  ~OrderedPipeline() {
    {
      std::lock_guard guard(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  void start(unsigned workerCount, const std::function<Producer()>& makeProducer) {
    for (unsigned i = 0; i < workerCount; ++i) {
      Producer produce = makeProducer();
      workers_.emplace_back([this, produce = std::move(produce)]() mutable { work(produce); });
    }
  }

  void work(Producer& produce) {
    for (;;) {
      std::size_t unit;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || next_ >= count_ || next_ < consumed_ + window_; });
        if (stopping_ || next_ >= count_) return;
        unit = next_++;
      }
      Block block;
      std::exception_ptr error;
      try {
        produce(unit, block);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard guard(mutex_);
        Slot& slot = slots_[unit % window_];
        slot.block = std::move(block);
        slot.error = error;
        slot.ready = true;
      }
      changed_.notify_all();
    }
  }

  void consumeAll(const Consumer& consume) {
    for (std::size_t unit = 0; unit < count_; ++unit) {
      Block block;
      std::exception_ptr error;
      {
        std::unique_lock lock(mutex_);
        Slot& slot = slots_[unit % window_];
        changed_.wait(lock, [&] { return slot.ready; });
        block = std::move(slot.block);
        error = slot.error;
        slot = Slot{};
        ++consumed_;
      }
      changed_.notify_all();
      if (error) std::rethrow_exception(error);
      consume(unit, block);
    }
  }

  const std::size_t count_;
  const std::size_t window_;
  std::vector<Slot> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;
  std::size_t consumed_ = 0;
  bool stopping_ = false;
};

}  // namespace tabvora::internal
