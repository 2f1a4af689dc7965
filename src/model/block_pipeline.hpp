#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <thread>

#include "model/row_block.hpp"
#include "platform/hand_off.hpp"

namespace tabvora::internal {

// Hands blocks of rows from the thread that reads them to a second thread that consumes
// them (formats and writes an export, adds up statistics), so reading and consuming run on
// two cores. The reader fills one block while up to `depth` blocks handed over wait for the
// consumer or are being consumed, so memory stays at a few blocks; a deeper queue lets the
// reader run ahead where some rows cost the consumer more. A failure of the consumer stops
// the reader at its next hand-over and is rethrown by finish; a pipeline dropped without
// finish (the reader failed) stops the consumer without consuming what was not yet handed
// over.
class BlockPipeline {
 public:
  BlockPipeline(std::size_t columns, std::function<void(const RowBlock&)> consume, std::size_t depth = 1);
  ~BlockPipeline();
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  // The block the reader fills.
  RowBlock& filling() { return filling_; }
  // Hands the filling block over once there is room in the queue, and gives the reader an
  // empty one to fill. False when the consumer failed.
  bool handOver();
  // Hands over what was filled, waits until everything is consumed, rethrows the
  // consumer's failure.
  void finish();

 private:
  void run();
  void stop() noexcept;

  std::function<void(const RowBlock&)> consume_;
  std::size_t columns_;
  RowBlock filling_;
  HandOff<RowBlock> handOff_;
  std::exception_ptr failure_;  // the consumer's, read once it has ended
  std::thread consumer_;        // last: started once the rest is made
};

}  // namespace tabvora::internal
