// The built-in run: the sweep from T_FIRST to T_LAST into the table "result02.txt"
// and the run log "result.txt".
#pragma once

#include <cstdint>

constexpr const char* LOG_NAME = "result.txt";
constexpr const char* TABLE_NAME = "result02.txt";

struct BuiltinRun {
    const char* output_dir = ".";  // must exist
    std::uint32_t seed = 0;        // of the generator behind the random starts
    bool log = true;               // false: no run log, an existing one left alone
};

// Opens the outputs (the log first), sweeps, and renames both onto their final
// names. Returns COMPLETE after a complete sweep and OUTPUT_FAILED when a file
// could not be opened or written, with nothing replaced. A singular Jacobian ends
// the process inside, with both files holding every record written before it.
int run_builtin(const BuiltinRun& run);
