// Both spellings of the calls are defined here, "open" and "open64": the file offset
// size must not rename the first into the second.
#undef _FILE_OFFSET_BITS

#include "FileCallFaults.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace filefaults {
namespace {

std::atomic<bool> g_armed{false};
Mode g_mode = Mode::Count;
long g_target = 0;
long g_count = 0;
bool g_fired = false;
std::vector<std::string>* g_calls = new std::vector<std::string>;
std::recursive_mutex g_mutex;

}  // namespace

void Arm(Mode mode, long target) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    g_mode = mode;
    g_target = target;
    g_count = 0;
    g_fired = false;
    g_calls->clear();
    g_armed = true;
}

long Disarm() {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    g_armed = false;
    return g_count;
}

const std::vector<std::string>& Calls() { return *g_calls; }
bool Fired() { return g_fired; }

// True when this call is to fail (errno is set then).
bool Fails(const char* name) {
    if (!g_armed.load()) return false;
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    if (!g_armed.load()) return false;
    g_armed = false;  // the bookkeeping below must not count itself
    const long n = ++g_count;
    g_calls->push_back(name);
    g_armed = true;
    const bool fail = (g_mode == Mode::FailOnce && n == g_target) || (g_mode == Mode::FailFrom && n >= g_target);
    if (fail) {
        g_fired = true;
        errno = EIO;
    }
    return fail;
}

}  // namespace filefaults

using filefaults::Fails;

namespace {

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool IsStandardStream(FILE* f) { return f == stdin || f == stdout || f == stderr; }
bool IsStandardFd(int fd) { return fd >= 0 && fd <= 2; }

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    if (Fails("open")) return -1;
    static auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    if (Fails("open")) return -1;
    static auto real = Real<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    if (Fails("openat")) return -1;
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    return real(dirfd, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
    if (Fails("fopen")) return nullptr;
    static auto real = Real<FILE* (*)(const char*, const char*)>("fopen");
    return real(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    if (Fails("fopen")) return nullptr;
    static auto real = Real<FILE* (*)(const char*, const char*)>("fopen64");
    return real(path, mode);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* f) {
    if (!IsStandardStream(f) && Fails("fwrite")) return 0;
    static auto real = Real<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite");
    return real(data, size, count, f);
}

size_t fread(void* data, size_t size, size_t count, FILE* f) {
    if (!IsStandardStream(f) && Fails("fread")) return 0;
    static auto real = Real<size_t (*)(void*, size_t, size_t, FILE*)>("fread");
    return real(data, size, count, f);
}

int fflush(FILE* f) {
    if (f && !IsStandardStream(f) && Fails("fflush")) return EOF;
    static auto real = Real<int (*)(FILE*)>("fflush");
    return real(f);
}

int fclose(FILE* f) {
    static auto real = Real<int (*)(FILE*)>("fclose");
    if (!IsStandardStream(f) && Fails("fclose")) {
        real(f);  // the stream is gone either way, as after a failed close
        errno = EIO;
        return EOF;
    }
    return real(f);
}

ssize_t write(int fd, const void* data, size_t size) {
    if (!IsStandardFd(fd) && Fails("write")) return -1;
    static auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, data, size);
}

ssize_t read(int fd, void* data, size_t size) {
    if (!IsStandardFd(fd) && Fails("read")) return -1;
    static auto real = Real<ssize_t (*)(int, void*, size_t)>("read");
    return real(fd, data, size);
}

int close(int fd) {
    static auto real = Real<int (*)(int)>("close");
    if (!IsStandardFd(fd) && Fails("close")) {
        real(fd);
        errno = EIO;
        return -1;
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    if (Fails("rename")) return -1;
    static auto real = Real<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (Fails("renameat2")) return -1;
    static auto real = Real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return real(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    if (Fails("unlink")) return -1;
    static auto real = Real<int (*)(const char*)>("unlink");
    return real(path);
}

int rmdir(const char* path) {
    if (Fails("rmdir")) return -1;
    static auto real = Real<int (*)(const char*)>("rmdir");
    return real(path);
}

int mkdir(const char* path, mode_t mode) {
    if (Fails("mkdir")) return -1;
    static auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    return real(path, mode);
}

DIR* opendir(const char* path) {
    if (Fails("opendir")) return nullptr;
    static auto real = Real<DIR* (*)(const char*)>("opendir");
    return real(path);
}

struct dirent* readdir(DIR* dir) {
    if (Fails("readdir")) return nullptr;
    static auto real = Real<struct dirent* (*)(DIR*)>("readdir");
    return real(dir);
}

int fsync(int fd) {
    if (Fails("fsync")) return -1;
    static auto real = Real<int (*)(int)>("fsync");
    return real(fd);
}

int fdatasync(int fd) {
    if (Fails("fdatasync")) return -1;
    static auto real = Real<int (*)(int)>("fdatasync");
    return real(fd);
}

int syncfs(int fd) {
    if (Fails("syncfs")) return -1;
    static auto real = Real<int (*)(int)>("syncfs");
    return real(fd);
}

int fchmod(int fd, mode_t mode) {
    if (Fails("fchmod")) return -1;
    static auto real = Real<int (*)(int, mode_t)>("fchmod");
    return real(fd, mode);
}

int chmod(const char* path, mode_t mode) {
    if (Fails("chmod")) return -1;
    static auto real = Real<int (*)(const char*, mode_t)>("chmod");
    return real(path, mode);
}

}  // extern "C"
