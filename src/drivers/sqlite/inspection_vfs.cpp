#include "drivers/sqlite/inspection_vfs.hpp"

#include <sqlite3.h>

#include <cstdio>
#include <mutex>

#include "drivers/sqlite/private_copy_registry.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kName = "tabvora-inspect";
constexpr int kWritingFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;

sqlite3_vfs* base(sqlite3_vfs* vfs) { return static_cast<sqlite3_vfs*>(vfs->pAppData); }

int xOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  // An unnamed file is a temporary one SQLite deletes itself on close.
  if (name != nullptr && (flags & kWritingFlags) != 0 && !PrivateCopyRegistry::containsEntry(name)) {
    file->pMethods = nullptr;
    return SQLITE_CANTOPEN;
  }
  return base(vfs)->xOpen(base(vfs), name, file, flags, outFlags);
}

int xDelete(sqlite3_vfs* vfs, const char* name, int syncDirectory) {
  if (!PrivateCopyRegistry::containsEntry(name)) return SQLITE_IOERR_DELETE;
  return base(vfs)->xDelete(base(vfs), name, syncDirectory);
}

int xAccess(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  return base(vfs)->xAccess(base(vfs), name, flags, result);
}

int xFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return base(vfs)->xFullPathname(base(vfs), name, size, out);
}

void* xDlOpen(sqlite3_vfs*, const char*) { return nullptr; }
void xDlError(sqlite3_vfs*, int size, char* out) {
  if (size > 0) std::snprintf(out, static_cast<std::size_t>(size), "loading extensions is not allowed here");
}
void (*xDlSym(sqlite3_vfs*, void*, const char*))(void) { return nullptr; }
void xDlClose(sqlite3_vfs*, void*) {}

int xRandomness(sqlite3_vfs* vfs, int size, char* out) { return base(vfs)->xRandomness(base(vfs), size, out); }
int xSleep(sqlite3_vfs* vfs, int microseconds) { return base(vfs)->xSleep(base(vfs), microseconds); }
int xCurrentTime(sqlite3_vfs* vfs, double* now) { return base(vfs)->xCurrentTime(base(vfs), now); }
int xGetLastError(sqlite3_vfs* vfs, int size, char* out) { return base(vfs)->xGetLastError(base(vfs), size, out); }
int xCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) { return base(vfs)->xCurrentTimeInt64(base(vfs), now); }

sqlite3_vfs* makeVFS() {
  sqlite3_vfs* system = sqlite3_vfs_find(nullptr);
  if (system == nullptr || system->iVersion < 2) return nullptr;
  static sqlite3_vfs vfs{};
  vfs.iVersion = 2;  // no system-call overrides through this VFS
  vfs.szOsFile = system->szOsFile;
  vfs.mxPathname = system->mxPathname;
  vfs.zName = kName;
  vfs.pAppData = system;
  vfs.xOpen = xOpen;
  vfs.xDelete = xDelete;
  vfs.xAccess = xAccess;
  vfs.xFullPathname = xFullPathname;
  vfs.xDlOpen = xDlOpen;
  vfs.xDlError = xDlError;
  vfs.xDlSym = xDlSym;
  vfs.xDlClose = xDlClose;
  vfs.xRandomness = xRandomness;
  vfs.xSleep = xSleep;
  vfs.xCurrentTime = xCurrentTime;
  vfs.xGetLastError = xGetLastError;
  vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
  if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK) return nullptr;
  return &vfs;
}

}  // namespace

const char* InspectionVFS::name() {
  static sqlite3_vfs* registered = makeVFS();
  if (registered == nullptr)
    throw DriverError("SQLiteDriver", -1, "The SQLite library offers no file system layer to read files through");
  return kName;
}

}  // namespace tabvora::internal
