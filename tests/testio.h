// Test helpers: streams and files read back as bytes and lines.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
constexpr const char* NULL_DEVICE = "NUL";
#else
#include <unistd.h>
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

inline long process_id()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(getpid());
#endif
}

// This test process's own scratch directory, so that test processes running side by
// side, or under another user, never meet. Removed when the process that made it
// ends. A death test's child (forked, or on Windows started anew) finds its
// parent's directory through the environment: call scratch_dir() before EXPECT_EXIT.
struct ScratchDir {
    std::string path;
    long owner = -1;

    ScratchDir()
    {
        constexpr const char* VARIABLE = "PHASE_BOUNDARY_TEST_SCRATCH";
        if (const char* inherited = std::getenv(VARIABLE)) {
            path = inherited;
            return;
        }
        path = testing::TempDir() + "phase_boundary_" + std::to_string(process_id()) + "_" +
               std::to_string(std::random_device{}() % 1000000) + "/";
        std::filesystem::create_directories(path);
        owner = process_id();
#ifdef _WIN32
        _putenv_s(VARIABLE, path.c_str());
#else
        setenv(VARIABLE, path.c_str(), 1);
#endif
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (owner == process_id())
            std::filesystem::remove_all(path, ignored);
    }
};

inline const std::string& scratch_dir()
{
    static const ScratchDir dir;
    return dir.path;
}

// An empty directory of this name in the process's scratch directory.
inline std::filesystem::path fresh_dir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::path(scratch_dir()) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A scratch file name no other capture uses. std::tmpfile() is not used: on
// Windows its files go to the root of the drive, and processes running at once
// there pick the same names.
inline std::string capture_path()
{
    static int made = 0;
    return scratch_dir() + "capture_" + std::to_string(++made) + ".bin";
}

// Runs write(f) on a fresh scratch file and returns every byte written to it.
template <class Write>
std::string capture(Write write)
{
    const std::string path = capture_path();
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (f == nullptr) {
        ADD_FAILURE() << "cannot open scratch file " << path << ": " << std::strerror(errno);
        return {};
    }
    write(f);
    std::string bytes;
    std::rewind(f);
    char buf[4096];
    for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.append(buf, got);
    std::fclose(f);
    std::remove(path.c_str());
    return bytes;
}

// The bytes a text-mode stream writes for s: each "\n" becomes the platform's line end.
inline std::string as_text_mode(const std::string& s)
{
#ifdef _WIN32
    std::string crlf;
    for (char c : s)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
#else
    return s;
#endif
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Counts the non-overlapping occurrences of needle in text.
inline int count_of(const std::string& text, const std::string& needle)
{
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

// The run log's rules: 96 "=", and 48 EUC-KR byte pairs for the heavy and light rules.
inline std::string repeat_pair(const char* pair)
{
    std::string rule;
    for (int i = 0; i < 48; ++i)
        rule += pair;
    return rule;
}

const std::string EQUALS_RULE(96, '=');
const std::string HEAVY_RULE = repeat_pair("\xA6\xAC");
const std::string LIGHT_RULE = repeat_pair("\xA6\xA1");
