#include "output.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int PATH_CHARS = 4096;
// A log of several megabytes in a few dozen writes. Static storage: a run
// allocates nothing for its files.
constexpr std::size_t BUFFER_BYTES = std::size_t{1} << 17;

struct Output {
    std::FILE* stream;
    char final_path[PATH_CHARS];
    char temp_path[PATH_CHARS];
    char display[PATH_CHARS];
    char dir[PATH_CHARS];
};

Output outputs[MAX_OUTPUTS];
char buffers[MAX_OUTPUTS][BUFFER_BYTES];
// Which slots hold a temporary: read by the signal handler, so set only once the
// slot's paths are complete.
volatile std::sig_atomic_t in_use[MAX_OUTPUTS];

void report(const char* what, const char* name, const char* reason)
{
    std::fprintf(stderr, "phase_boundary: %s %s: %s\n", what, name, reason);
}

bool join(char* out, const char* dir, const char* name)
{
    const int n = std::snprintf(out, PATH_CHARS, "%s/%s", dir, name);
    return n >= 0 && n < PATH_CHARS;
}

void remove_file(const char* path);

void remove_temporaries_now()
{
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0)
            remove_file(outputs[i].temp_path);
}

extern "C" void on_stop_signal(int signal_number)
{
    remove_temporaries_now();
    _exit(128 + signal_number);
}

extern "C" void commit_at_exit()
{
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0) {
            commit_outputs();
            return;
        }
}

// Flushes and closes f; a failed write, flush or close is reported.
bool close_stream(std::FILE* f, const char* name)
{
    // A write that failed earlier leaves only the error flag; the flush and the
    // close report their own reasons through errno.
    errno = 0;
    bool failed = std::fflush(f) != 0;
    int reason = errno;
    failed = std::ferror(f) != 0 || failed;
    if (std::fclose(f) != 0 && !failed) {
        failed = true;
        reason = errno;
    }
    if (failed)
        report("cannot write", name, reason != 0 ? std::strerror(reason) : "write error");
    return !failed;
}

#ifdef _WIN32

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
struct DirLock {
    HANDLE mutex;
};

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
    return {mutex};
}

void unlock_dir(DirLock lock)
{
    if (lock.mutex != nullptr) {
        ReleaseMutex(lock.mutex);
        CloseHandle(lock.mutex);
    }
}

// The console's Ctrl-C reaches the handler on a thread of its own; nothing to hold back.
void hold_stop_signals(bool) {}

#else

long process_number()
{
    return static_cast<long>(getpid());
}

const char* final_name_refused(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT ? nullptr : std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return nullptr;
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    close(fd);
    return nullptr;
}

int create_exclusive(const char* path)
{
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool replace(const char* from, const char* to)
{
    return std::rename(from, to) == 0;
}

const char* replace_failure()
{
    return std::strerror(errno);
}

std::FILE* stream_on(int fd)
{
    return fdopen(fd, "w");
}

void close_fd(int fd)
{
    close(fd);
}

// unlink, not remove: it is safe in a signal handler.
void remove_file(const char* path)
{
    unlink(path);
}

struct DirLock {
    int fd;
};

DirLock lock_dir(const char* dir)
{
    const int fd = open(dir, O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    return {fd};
}

void unlock_dir(DirLock lock)
{
    if (lock.fd >= 0)
        close(lock.fd);  // releases the lock
}

void hold_stop_signals(bool hold)
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &stops, nullptr);
}

#endif

// Closes every open stream; true when all were written in full.
bool close_all()
{
    bool ok = true;
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0 && outputs[i].stream != nullptr) {
            ok = close_stream(outputs[i].stream, outputs[i].display) && ok;
            outputs[i].stream = nullptr;
        }
    return ok;
}

void release_all()
{
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0) {
            remove_file(outputs[i].temp_path);
            in_use[i] = 0;
        }
}

}  // namespace

void prepare_outputs()
{
#ifdef _WIN32
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#else
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor is this one.
            if (open("/dev/null", O_RDWR) != fd)
                _exit(OUTPUT_FAILED);
        }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);
    struct sigaction stop = {};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    sigaddset(&stop.sa_mask, SIGINT);
    sigaddset(&stop.sa_mask, SIGTERM);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
#endif
}

void output_display_name(char* out, int size, const char* dir, const char* name)
{
    if (std::strcmp(dir, ".") == 0)
        std::snprintf(out, static_cast<std::size_t>(size), "%s", name);
    else
        std::snprintf(out, static_cast<std::size_t>(size), "%s/%s", dir, name);
}

std::FILE* open_output(const char* dir, const char* name)
{
    static bool exit_hook = false;
    if (!exit_hook)
        exit_hook = std::atexit(commit_at_exit) == 0;

    int slot = 0;
    while (slot < MAX_OUTPUTS && in_use[slot] != 0)
        ++slot;
    char display[PATH_CHARS];
    output_display_name(display, PATH_CHARS, dir, name);
    if (slot == MAX_OUTPUTS) {
        report("cannot open", display, "too many output files");
        return nullptr;
    }
    Output& out = outputs[slot];
    if (!join(out.final_path, dir, name)) {
        report("cannot open", display, std::strerror(ENAMETOOLONG));
        return nullptr;
    }
    if (const char* reason = final_name_refused(out.final_path)) {
        report("cannot open", display, reason);
        return nullptr;
    }

    static unsigned long made = 0;
    hold_stop_signals(true);  // a temporary made is a temporary the handler can see
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        char temp_name[PATH_CHARS];
        std::snprintf(temp_name, sizeof temp_name, "%s.%ld-%lu.tmp", name, process_number(), ++made);
        if (!join(out.temp_path, dir, temp_name)) {
            errno = ENAMETOOLONG;
            break;
        }
        fd = create_exclusive(out.temp_path);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    const int reason = errno;
    if (fd >= 0)
        in_use[slot] = 1;
    hold_stop_signals(false);
    if (fd < 0) {
        report("cannot open", display, std::strerror(reason));
        return nullptr;
    }
    std::snprintf(out.display, PATH_CHARS, "%s", display);
    std::snprintf(out.dir, PATH_CHARS, "%s", dir);
    out.stream = stream_on(fd);
    if (out.stream == nullptr) {
        report("cannot open", display, std::strerror(errno));
        close_fd(fd);
        remove_file(out.temp_path);
        in_use[slot] = 0;
        return nullptr;
    }
    std::setvbuf(out.stream, buffers[slot], _IOFBF, BUFFER_BYTES);
    return out.stream;
}

bool open_outputs(const char* dir, const char* const* names, int count, std::FILE** files)
{
    for (int i = 0; i < count; ++i) {
        files[i] = open_output(dir, names[i]);
        if (files[i] == nullptr) {
            discard_outputs();
            return false;
        }
    }
    return true;
}

bool commit_outputs()
{
    int first = 0;
    while (first < MAX_OUTPUTS && in_use[first] == 0)
        ++first;
    if (first == MAX_OUTPUTS)
        return true;
    if (!close_all()) {
        release_all();
        return false;
    }

    bool ok = true;
    const DirLock lock = lock_dir(outputs[first].dir);
    hold_stop_signals(true);
    for (int i = 0; i < MAX_OUTPUTS; ++i) {
        if (in_use[i] == 0)
            continue;
        if (ok && !replace(outputs[i].temp_path, outputs[i].final_path)) {
            report("cannot write", outputs[i].display, replace_failure());
            ok = false;
        }
        if (!ok)
            remove_file(outputs[i].temp_path);
        in_use[i] = 0;
    }
    hold_stop_signals(false);
    unlock_dir(lock);
    return ok;
}

void discard_outputs()
{
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0 && outputs[i].stream != nullptr) {
            std::fclose(outputs[i].stream);
            outputs[i].stream = nullptr;
        }
    release_all();
}
