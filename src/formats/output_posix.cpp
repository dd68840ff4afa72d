// The POSIX half of the outputs: lstat and open for the checks, rename, flock on
// the directory, sigprocmask around the renames.
#ifndef _WIN32

#include "formats/output_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

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
    if (lock.handle >= 0)
        close(static_cast<int>(lock.handle));  // releases the lock
}

void hold_stop_signals(bool hold)
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &stops, nullptr);
}

bool prepare_process(void (*on_stop)(int))
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor is this one.
            if (open("/dev/null", O_RDWR) != fd)
                return false;
        }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);
    struct sigaction stop = {};
    stop.sa_handler = on_stop;
    sigemptyset(&stop.sa_mask);
    sigaddset(&stop.sa_mask, SIGINT);
    sigaddset(&stop.sa_mask, SIGTERM);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    return true;
}

void exit_now(int status)
{
    _exit(status);
}

bool error_is_terminal()
{
    return isatty(2) == 1;
}

}  // namespace platform

#endif
