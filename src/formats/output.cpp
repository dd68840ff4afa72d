#include "formats/output.h"

#include "formats/output_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

using namespace platform;

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

void remove_temporaries_now()
{
    for (int i = 0; i < MAX_OUTPUTS; ++i)
        if (in_use[i] != 0)
            remove_file(outputs[i].temp_path);
}

extern "C" void on_stop_signal(int signal_number)
{
    remove_temporaries_now();
    platform::exit_now(128 + signal_number);
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

bool prepare_outputs()
{
    return platform::prepare_process(on_stop_signal);
}

bool error_is_terminal()
{
    return platform::error_is_terminal();
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
