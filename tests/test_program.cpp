// The built program, run as a user runs it: in a scratch directory, no input.
#include "testio.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

fs::path scratch(const std::string& name)
{
    const fs::path dir = fs::path(testing::TempDir()) / ("phase_boundary_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Outcome run_in(const fs::path& dir)
{
    const std::string command =
        "cd '" + dir.string() + "' && '" PHASE_BOUNDARY_EXE "' </dev/null >stdout.txt 2>stderr.txt";
    const int raw = std::system(command.c_str());
    Outcome o{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file((dir / "stdout.txt").string()),
              read_file((dir / "stderr.txt").string())};
    fs::remove(dir / "stdout.txt");
    fs::remove(dir / "stderr.txt");
    return o;
}

TEST(Program, CompleteRunWritesBothFilesSilently)
{
    const fs::path dir = scratch("complete");
    const Outcome o = run_in(dir);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
    const std::string table = read_file((dir / "result02.txt").string());
    const std::vector<std::string> lines = split_lines(table);
    ASSERT_EQ(lines.size(), 473u);
    EXPECT_EQ(lines.front().substr(0, 5), "1215\t");
    EXPECT_EQ(lines.back().substr(0, 5), "1687\t");
    const std::string log = read_file((dir / "result.txt").string());
    EXPECT_EQ(count_of(log, "Temperature\tComposion of Si(L)\tComposion of Si(S)\n"), 473);
    EXPECT_EQ(table.find('\r'), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
}

TEST(Program, UnopenableTableStopsWithStatusTwoBeforeComputing)
{
    const fs::path dir = scratch("unopenable");
    fs::create_directory(dir / "result02.txt");
    const Outcome o = run_in(dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              std::string("phase_boundary: cannot open result02.txt: ") + std::strerror(EISDIR) + "\n");
    EXPECT_EQ(read_file((dir / "result.txt").string()), "") << "no record before the check";
}

TEST(Program, FullDiskIsAFailureNotASuccess)
{
    for (const char* name : {"result.txt", "result02.txt"}) {
        const fs::path dir = scratch("full");
        fs::create_symlink("/dev/full", dir / name);
        const Outcome o = run_in(dir);
        EXPECT_EQ(o.status, 2) << name << " on a full device";
        EXPECT_EQ(o.out, "") << name;
        // The reason comes with the message when the system reports it at the close;
        // a failure earlier in the run may leave only "write error".
        const std::string head = "phase_boundary: cannot write " + std::string(name) + ": ";
        EXPECT_EQ(o.err.rfind(head, 0), 0u) << o.err;
        EXPECT_TRUE(o.err == head + std::strerror(ENOSPC) + "\n" || o.err == head + "write error\n") << o.err;
    }
}

}  // namespace
