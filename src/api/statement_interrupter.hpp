#pragma once

struct sqlite3;

namespace tabvora::internal {

// Interrupts, from any thread, the statements running on the SQLite connections one
// Document's open made (the file's own or the private staging database), whichever driver
// made them. While a Collecting guard lives on a thread, every connection that thread opens
// is recorded for its interrupter; a connection leaves the record as it is closed, so an
// interrupt never reaches a connection that is gone.
class StatementInterrupter {
 public:
  StatementInterrupter();
  ~StatementInterrupter();  // forgets the connections still open
  StatementInterrupter(const StatementInterrupter&) = delete;
  StatementInterrupter& operator=(const StatementInterrupter&) = delete;

  // Records the connections opened on this thread while it lives (not nested).
  class Collecting {
   public:
    explicit Collecting(StatementInterrupter& interrupter);
    ~Collecting();
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;
  };

  // sqlite3_interrupt on each recorded connection that is still open: a statement running
  // on one fails as interrupted; a connection running none is left as it was.
  void interrupt() noexcept;
};

}  // namespace tabvora::internal
