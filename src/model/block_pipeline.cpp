#include "model/block_pipeline.hpp"

namespace tabvora::internal {

BlockPipeline::BlockPipeline(std::size_t columns, std::function<void(const RowBlock&)> consume)
    : consume_(std::move(consume)), first_(columns), second_(columns) {
  consumer_ = std::thread([this] { run(); });
}

BlockPipeline::~BlockPipeline() { stop(); }

void BlockPipeline::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return handedOver_ != nullptr || noMore_ || abandoned_; });
    if (abandoned_ || !handedOver_) return;
    RowBlock* block = handedOver_;
    lock.unlock();
    try {
      consume_(*block);
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      handedOver_ = nullptr;
      changed_.notify_all();
      return;
    }
    block->clear();
    lock.lock();
    handedOver_ = nullptr;
    changed_.notify_all();
  }
}

bool BlockPipeline::handOver() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return handedOver_ == nullptr; });
  if (failure_) return false;
  handedOver_ = filling_;
  filling_ = filling_ == &first_ ? &second_ : &first_;
  changed_.notify_all();
  return true;
}

void BlockPipeline::finish() {
  if (filling_->rows() > 0) handOver();
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return handedOver_ == nullptr; });
    noMore_ = true;
    changed_.notify_all();
  }
  consumer_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void BlockPipeline::stop() noexcept {
  if (!consumer_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }
  consumer_.join();
}

}  // namespace tabvora::internal
