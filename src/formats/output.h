// The program's output files. Each is written under a temporary name beside its
// final name and renamed onto it only when the run is over, so that a failed or
// interrupted run leaves the previous files as they were, and the files of one run
// replace those of another together or not at all.
//
// The open outputs are kept in a small fixed table: the signal handler and the exit
// of a singular-Jacobian stop must find them without any help from the caller.
#pragma once

#include <cstdio>

constexpr int MAX_OUTPUTS = 7;  // files open at once in one run: the diagram's tables and its figure's

// Call once at start-up, before any output is opened. Attaches the null device to
// any of descriptors 0-2 that is closed, so that no output takes one of them;
// ignores SIGXFSZ, so that a write beyond a file-size limit fails and is reported;
// and on SIGINT or SIGTERM removes the temporaries and ends the process with status
// 128 + the signal number. False when a closed standard descriptor could not be
// given the null device: no output can be opened safely then.
bool prepare_outputs();

// The name a message gives dir/name: name alone when dir is ".".
void output_display_name(char* out, int size, const char* dir, const char* name);

// Checks the final name dir/name: it must be absent, a symbolic link (replaced by
// the new file, never followed) or a regular file that may be opened for writing.
// Then opens a new temporary in dir for writing in text mode, with a large buffer.
// On failure prints "phase_boundary: cannot open NAME: REASON" on standard error
// and returns null; the final name is not touched.
std::FILE* open_output(const char* dir, const char* name);

// Opens dir/names[0 ... count - 1] in that order into files; on the first that
// fails, discards those already open and returns false.
bool open_outputs(const char* dir, const char* const* names, int count, std::FILE** files);

// Closes every open output. If all were written in full, renames each onto its
// final name, in the order opened, under a lock that runs in the same directory
// share and with SIGINT and SIGTERM held back; otherwise removes every temporary.
// Each failure prints "phase_boundary: cannot write NAME: REASON" on standard
// error (REASON "write error" when the system no longer tells why); returns false
// after any. Also run at process exit for outputs still open, so that a stop
// through std::exit keeps every record written before it. All outputs open at
// once share one directory.
bool commit_outputs();

// Closes every open output and removes its temporary; the final names keep what
// they held.
void discard_outputs();

// Whether standard error is a terminal: where a progress line may be shown.
bool error_is_terminal();
