#include "counting_vfs.h"

#include <sqlite3.h>

namespace testing_support {
namespace {

sqlite3_vfs g_vfs;
sqlite3_vfs* g_real = nullptr;
sqlite3_io_methods g_methods;
bool g_methodsReady = false;
std::function<void()> g_onStep;

struct File {
    sqlite3_file base;
};

sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<File*>(f) + 1);
}
const sqlite3_io_methods* M(sqlite3_file* f) {
    return Real(f)->pMethods;
}
void Step() {
    if (g_onStep) g_onStep();
}

int Close(sqlite3_file* f) {
    return M(f)->xClose(Real(f));
}
int Read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
    return M(f)->xRead(Real(f), b, n, o);
}
int Write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
    Step();
    return M(f)->xWrite(Real(f), b, n, o);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    Step();
    return M(f)->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
    Step();
    return M(f)->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return M(f)->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
    Step();
    return M(f)->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) {
    Step();
    return M(f)->xUnlock(Real(f), level);
}
int CheckReserved(sqlite3_file* f, int* out) {
    return M(f)->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
    return M(f)->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) {
    return M(f)->xSectorSize(Real(f));
}
int Characteristics(sqlite3_file* f) {
    return M(f)->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return M(f)->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    Step();
    return M(f)->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
    M(f)->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int del) {
    return M(f)->xShmUnmap(Real(f), del);
}
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** out) {
    return M(f)->xFetch(Real(f), o, n, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) {
    return M(f)->xUnfetch(Real(f), o, p);
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    f->pMethods = nullptr;
    const int rc = g_real->xOpen(g_real, name, Real(f), flags, outFlags);
    const sqlite3_io_methods* real = M(f);
    if (!real) return rc;
    if (!g_methodsReady) {
        g_methods = sqlite3_io_methods{real->iVersion,  Close,         Read,        Write,
                                       Truncate,        Sync,          FileSize,    Lock,
                                       Unlock,          CheckReserved, FileControl, SectorSize,
                                       Characteristics, nullptr,       nullptr,     nullptr,
                                       nullptr,         nullptr,       nullptr};
        if (real->iVersion >= 2) {
            g_methods.xShmMap = ShmMap;
            g_methods.xShmLock = ShmLock;
            g_methods.xShmBarrier = ShmBarrier;
            g_methods.xShmUnmap = ShmUnmap;
        }
        if (real->iVersion >= 3) {
            g_methods.xFetch = Fetch;
            g_methods.xUnfetch = Unfetch;
        }
        g_methodsReady = true;
    }
    f->pMethods = &g_methods;
    return rc;
}

}  // namespace

void InstallCountingVfs(std::function<void()> onStep) {
    g_onStep = std::move(onStep);
    g_real = sqlite3_vfs_find(nullptr);
    g_vfs = *g_real;
    g_vfs.zName = "counting";
    g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
    g_vfs.xOpen = Open;
    sqlite3_vfs_register(&g_vfs, 1);
}

}  // namespace testing_support
