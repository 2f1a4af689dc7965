#pragma once

#include <cstdint>
#include <functional>

namespace tabvora {

// How far a long piece of work has come: the bytes of a file read and staged while it is
// opened, or the rows of a table gone through while it is exported or summarised.
struct Progress {
  enum class Unit { bytes, rows };
  Unit unit = Unit::bytes;
  std::uint64_t done = 0;
  std::uint64_t total = 0;  // 0 when not known ahead
};

// Called now and then (every few thousand rows or a few megabytes) on the thread that made
// the call that works; what it throws ends that call and propagates.
using ProgressCallback = std::function<void(const Progress& progress)>;

}  // namespace tabvora
