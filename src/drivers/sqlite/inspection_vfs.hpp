#pragma once

namespace tabvora::internal {

// An SQLite VFS for connections that inspect a file: it forwards to the system's default
// VFS but refuses to create, write or delete any file outside a registered private copy
// folder (PrivateCopyRegistry), and refuses to load extensions. So whatever a database,
// its journal or a statement asks for — rolling back a journal that names a super-journal
// elsewhere, VACUUM INTO, a read-write open of the original — nothing outside the private
// copy is ever changed. Anonymous temporary files (sorting, temporary tables) are allowed:
// SQLite deletes them on close.
class InspectionVFS {
 public:
  // The registered VFS name to pass to sqlite3_open_v2; registers it on first use.
  // Throws DriverError ("SQLiteDriver") when there is no default VFS to wrap.
  static const char* name();
};

}  // namespace tabvora::internal
