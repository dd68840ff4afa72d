// What outputs need of the operating system, one half for POSIX systems
// (output_posix.cpp) and one for Windows (output_windows.cpp); only output.cpp
// calls these.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

long process_number();

// Null when the final name may be replaced, else the reason it may not.
const char* final_name_refused(const char* path);

// A new file at path, opened for writing in text mode; -1 with errno on failure.
int create_exclusive(const char* path);
bool replace(const char* from, const char* to);
const char* replace_failure();  // why the last replace failed
std::FILE* stream_on(int fd);
void close_fd(int fd);
void remove_file(const char* path);  // safe in a signal handler

// A lock shared by every run that renames its files in one directory.
struct DirLock {
    std::intptr_t handle;
};
DirLock lock_dir(const char* dir);
void unlock_dir(DirLock lock);

// Holds SIGINT and SIGTERM back while a temporary is made or the renames run.
void hold_stop_signals(bool hold);

// Attaches the null device to any of descriptors 0-2 that is closed, ignores
// SIGXFSZ and routes SIGINT and SIGTERM to on_stop; false when a standard
// descriptor cannot be given the null device.
bool prepare_process(void (*on_stop)(int));

// Whether standard error is a terminal: where a progress line may be shown.
bool error_is_terminal();

// Ends the process at once, as a signal handler may.
[[noreturn]] void exit_now(int status);

}  // namespace platform
