#pragma once

namespace tabvora::internal {

// Gives SQLite memory functions of ours before its first use: a database's pages come from
// a LargePagePool (staging a million rows fills some 100 MB of pages, and a page fault per
// 4 KiB of them was about two fifths of the time taken to insert the rows), every other
// allocation from malloc. True when installed; false when SQLite was already in use, which
// leaves its own functions in place.
bool installSQLiteMemory();

}  // namespace tabvora::internal
