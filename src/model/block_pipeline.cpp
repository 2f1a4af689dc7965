#include "model/block_pipeline.hpp"

#include <optional>
#include <utility>

namespace tabvora::internal {

BlockPipeline::BlockPipeline(std::size_t columns, std::function<void(const RowBlock&)> consume, std::size_t depth)
    : consume_(std::move(consume)), columns_(columns), filling_(columns), handOff_(depth) {
  consumer_ = std::thread([this] { run(); });
}

BlockPipeline::~BlockPipeline() { stop(); }

void BlockPipeline::run() {
  while (std::optional<RowBlock> block = handOff_.take()) {
    try {
      consume_(*block);
    } catch (...) {
      failure_ = std::current_exception();
      handOff_.abandon();
      return;
    }
    block->clear();
    handOff_.giveBack(std::move(*block));
  }
}

bool BlockPipeline::handOver() {
  if (!handOff_.put(std::move(filling_))) return false;
  filling_ = handOff_.reuse().value_or(RowBlock(columns_));
  filling_.clear();
  return true;
}

void BlockPipeline::finish() {
  if (filling_.rows() > 0) handOver();
  handOff_.close();
  consumer_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void BlockPipeline::stop() noexcept {
  if (!consumer_.joinable()) return;
  handOff_.abandon();
  handOff_.close();
  consumer_.join();
}

}  // namespace tabvora::internal
