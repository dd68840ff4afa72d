// The Windows half of the outputs: _stat64 for the checks, MoveFileEx to
// replace, a named mutex per directory.
#ifdef _WIN32

#include "formats/output_platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr int PATH_CHARS = 4096;

}  // namespace

long process_number()
{
    return _getpid();
}

// Null when the final name may be replaced, else the reason it may not.
const char* final_name_refused(const char* path)
{
    struct _stat64 st;
    if (_stat64(path, &st) != 0)
        return errno == ENOENT ? nullptr : std::strerror(errno);
    if ((st.st_mode & _S_IFMT) == _S_IFDIR)
        return std::strerror(EISDIR);
    const int fd = _open(path, _O_WRONLY | _O_BINARY);
    if (fd < 0)
        return std::strerror(errno);
    _close(fd);
    return nullptr;
}

int create_exclusive(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
}

bool replace(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

const char* replace_failure()
{
    return GetLastError() == ERROR_ACCESS_DENIED ? std::strerror(EACCES) : "cannot replace the file";
}

std::FILE* stream_on(int fd)
{
    return _fdopen(fd, "w");
}

void close_fd(int fd)
{
    _close(fd);
}

void remove_file(const char* path)
{
    _unlink(path);
}

// Runs in one directory share a named mutex, named after the directory's full path.
DirLock lock_dir(const char* dir)
{
    char full[PATH_CHARS];
    if (GetFullPathNameA(dir, PATH_CHARS, full, nullptr) == 0)
        std::snprintf(full, sizeof full, "%s", dir);
    unsigned long long hash = 14695981039346656037ULL;  // FNV-1a over the lower-cased path
    for (const char* c = full; *c != '\0'; ++c) {
        const char ch =
            (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : (*c == '/' ? '\\' : *c);
        hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\phase_boundary_%016llx", hash);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex != nullptr)
        WaitForSingleObject(mutex, INFINITE);
    return {reinterpret_cast<std::intptr_t>(mutex)};
}

void unlock_dir(DirLock lock)
{
    HANDLE mutex = reinterpret_cast<HANDLE>(lock.handle);
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

// The console's Ctrl-C reaches the handler on a thread of its own; nothing to hold back.
void hold_stop_signals(bool) {}

bool prepare_process(void (*on_stop)(int))
{
    std::signal(SIGINT, on_stop);
    std::signal(SIGTERM, on_stop);
    return true;
}

void exit_now(int status)
{
    _exit(status);
}

bool error_is_terminal()
{
    return _isatty(2) != 0;
}

}  // namespace platform

#endif
