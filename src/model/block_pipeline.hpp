#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "model/row_block.hpp"

namespace tabvora::internal {

// Hands blocks of rows from the thread that reads them to a second thread that consumes
// them (formats and writes an export), so reading and writing run on two cores. Two blocks
// alternate: one filling while the other is consumed, so memory stays at two blocks. A
// failure of the consumer stops the reader at its next hand-over and is rethrown by finish;
// a pipeline dropped without finish (the reader failed) stops the consumer without
// consuming what was not yet handed over in full.
class BlockPipeline {
 public:
  BlockPipeline(std::size_t columns, std::function<void(const RowBlock&)> consume);
  ~BlockPipeline();
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  // The block the reader fills.
  RowBlock& filling() { return *filling_; }
  // Hands the filling block over once the consumer is done with the previous one, and
  // gives the reader that one to fill. False when the consumer failed.
  bool handOver();
  // Hands over what was filled, waits until everything is consumed, rethrows the
  // consumer's failure.
  void finish();

 private:
  void run();
  void stop() noexcept;

  std::function<void(const RowBlock&)> consume_;
  RowBlock first_;
  RowBlock second_;
  RowBlock* filling_ = &first_;
  RowBlock* handedOver_ = nullptr;  // being consumed, or waiting to be
  bool noMore_ = false;
  bool abandoned_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread consumer_;
};

}  // namespace tabvora::internal
