// The built program, run as a user runs it: in a scratch directory, from a shell.
#include "testio.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

using Snapshot = std::map<std::string, std::string>;  // name -> bytes ("<dir>" for a directory)

Snapshot snapshot(const fs::path& dir)
{
    Snapshot files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = e.is_directory() ? "<dir>" : read_file(e.path().string());
    return files;
}

// A directory holding the previous run's files, which a failed run must leave alone.
fs::path dir_with_previous_files(const std::string& name)
{
    const fs::path dir = fresh_dir(name);
    for (const char* file : {"result.txt", "result02.txt"}) {
        std::FILE* f = std::fopen((dir / file).string().c_str(), "w");
        std::fprintf(f, "previous %s\n", file);
        std::fclose(f);
    }
    return dir;
}

// Runs "setup; phase_boundary ARGS REDIRECTS" in dir through the shell.
Outcome run_in(const fs::path& dir, const std::string& args, const std::string& setup = "",
               const std::string& redirects = "")
{
    const std::string out = scratch_dir() + "stdout.txt";
    const std::string err = scratch_dir() + "stderr.txt";
    const std::string command = "cd '" + dir.string() + "' && " + setup + " '" PHASE_BOUNDARY_EXE "' " +
                                args + " </dev/null >'" + out + "' 2>'" + err + "' " + redirects;
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
}

// Starts the program in dir with its standard streams on the null device.
pid_t start_in(const fs::path& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), PHASE_BOUNDARY_EXE);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (chdir(dir.c_str()) != 0 || null < 0)
            _exit(127);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool has_temporary(const fs::path& dir)
{
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".tmp")
            return true;
    return false;
}

TEST(Program, CompleteRunWritesBothFilesSilently)
{
    const fs::path dir = fresh_dir("complete");
    const Outcome o = run_in(dir, "");
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
    EXPECT_EQ(snapshot(dir).size(), 2u) << "no temporary left";
}

// The same seed writes the same bytes; without the log, the table is the same and
// an existing log keeps its bytes.
TEST(Program, SeededRunsRepeatAndTheLogChangesNothing)
{
    const fs::path first = fresh_dir("seed_first");
    const fs::path again = fresh_dir("seed_again");
    const fs::path no_log = dir_with_previous_files("seed_no_log");
    ASSERT_EQ(run_in(fs::current_path(), "--seed 7 -o '" + first.string() + "'").status, 0);
    ASSERT_EQ(run_in(again, "--seed 7").status, 0);
    ASSERT_EQ(run_in(fs::current_path(), "--no-log --output-dir '" + no_log.string() + "' --seed=7").status,
              0);
    EXPECT_EQ(snapshot(first), snapshot(again));
    EXPECT_EQ(read_file((no_log / "result02.txt").string()), read_file((first / "result02.txt").string()));
    EXPECT_EQ(read_file((no_log / "result.txt").string()), "previous result.txt\n");
}

TEST(Program, HelpAndVersionWriteNoFile)
{
    const fs::path dir = dir_with_previous_files("help");
    const Snapshot before = snapshot(dir);
    for (const char* args : {"--help", "-h", "--version", "--seed 5 --help"}) {
        const Outcome o = run_in(dir, args);
        EXPECT_EQ(o.status, 0) << args;
        EXPECT_EQ(o.err, "") << args;
        EXPECT_EQ(snapshot(dir), before) << args;
        if (std::string(args) == "--version")
            EXPECT_EQ(o.out, "phase_boundary 1.1.0\n");
        else
            EXPECT_NE(o.out.find("--output-dir"), std::string::npos) << args << ": " << o.out;
    }
}

TEST(Program, BadUsageIsStatus64AndWritesNothing)
{
    const fs::path dir = dir_with_previous_files("usage");
    std::FILE* plain = std::fopen((dir / "plain").string().c_str(), "w");
    std::fclose(plain);
    const Snapshot before = snapshot(dir);
    for (const char* args : {"--bogus", "stray", "--seed", "--seed abc", "--seed -1", "--seed 4294967296",
                             "--seed ''", "--seed 0x10", "--seed ' 5'", "--seed 1 --seed 2", "-o",
                             "--output-dir missing", "--output-dir plain", "-o ''", "--no-log=maybe"}) {
        const Outcome o = run_in(dir, args);
        EXPECT_EQ(o.status, 64) << args;
        EXPECT_EQ(o.out, "") << args;
        EXPECT_NE(o.err.find("phase_boundary: "), std::string::npos) << args << ": " << o.err;
        EXPECT_NE(o.err.find("--help"), std::string::npos) << args << ": " << o.err;
        EXPECT_EQ(snapshot(dir), before) << args;
    }
    const Outcome edge = run_in(dir, "--seed 4294967295 --no-log -o " + fresh_dir("usage_edge").string());
    EXPECT_EQ(edge.status, 0) << "the largest seed is taken: " << edge.err;
}

// Every failure is a message and status 2, and the previous pair of files stays
// exactly as it was, with no temporary left beside it.
TEST(Program, FailuresLeaveThePreviousFiles)
{
    struct Case {
        std::string what, setup, args, redirects;
        std::vector<std::string> messages;  // any one of them
    };
    const std::string log_head = "phase_boundary: cannot write result.txt: ";
    const std::vector<Case> cases = {
        {"table name is a directory",
         "rm result02.txt && mkdir result02.txt &&",
         "",
         "",
         {std::string("phase_boundary: cannot open result02.txt: ") + std::strerror(EISDIR) + "\n"}},
        // The log outgrows the limit long before the close, which may leave no reason.
        {"log beyond a file-size limit",
         "ulimit -f 256 &&",
         "",
         "",
         {log_head + std::strerror(EFBIG) + "\n", log_head + "write error\n"}},
        {"table beyond a file-size limit",
         "ulimit -f 4 &&",
         "--no-log",
         "",
         {std::string("phase_boundary: cannot write result02.txt: ") + std::strerror(EFBIG) + "\n"}},
        // Closed, standard error must not become a file the message lands in.
        {"standard error closed", "rm result02.txt && mkdir result02.txt &&", "", "2>&-", {""}},
    };
    for (const Case& c : cases) {
        const fs::path dir = dir_with_previous_files("failure");
        Snapshot before = snapshot(dir);
        const Outcome o = run_in(dir, c.args, c.setup, c.redirects);
        EXPECT_EQ(o.status, 2) << c.what;
        EXPECT_EQ(o.out, "") << c.what;
        bool known = false;
        for (const std::string& m : c.messages)
            known = known || o.err == m;
        EXPECT_TRUE(known) << c.what << ": " << o.err;
        Snapshot after = snapshot(dir);
        after.erase("result02.txt");  // the directory some cases made of it
        before.erase("result02.txt");
        EXPECT_EQ(after, before) << c.what;
        if (c.setup.find("mkdir") == std::string::npos) {
            EXPECT_EQ(read_file((dir / "result02.txt").string()), "previous result02.txt\n") << c.what;
        }
    }
}

TEST(Program, ClosedStandardStreamsAreNoHindrance)
{
    const fs::path dir = fresh_dir("closed_streams");
    const std::string command =
        "cd '" + dir.string() + "' && '" PHASE_BOUNDARY_EXE "' --seed 3 <&- >&- 2>&-; echo $? >status";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file((dir / "status").string()), "0\n");
    EXPECT_EQ(split_lines(read_file((dir / "result02.txt").string())).size(), 473u);
    EXPECT_EQ(read_file((dir / "result.txt").string()).find("phase_boundary:"), std::string::npos);
}

// Interrupted mid-run (once its temporaries exist), a run removes them and ends
// with 128 + the signal number; the previous files keep their bytes. A signal
// that comes while the run renames its files takes effect once both are in
// place: the pair on disk is then the new one, whole.
TEST(Program, InterruptedRunLeavesThePreviousFiles)
{
    const fs::path reference = fresh_dir("interrupted_reference");
    ASSERT_EQ(run_in(reference, "--seed 11").status, 0);
    const Snapshot finished = snapshot(reference);
    for (int sig : {SIGINT, SIGTERM}) {
        bool interrupted = false;
        for (int trial = 0; trial < 20 && !interrupted; ++trial) {
            const fs::path dir = dir_with_previous_files("interrupted");
            const Snapshot before = snapshot(dir);
            const pid_t pid = start_in(dir, {"--seed", "11"});
            ASSERT_GT(pid, 0);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!has_temporary(dir) && std::chrono::steady_clock::now() < give_up)
                std::this_thread::yield();
            kill(pid, sig);
            int raw = 0;
            waitpid(pid, &raw, 0);
            ASSERT_TRUE(WIFEXITED(raw)) << "signal " << sig << " ended the run without its handler";
            const Snapshot after = snapshot(dir);
            if (WEXITSTATUS(raw) == 0) {
                EXPECT_EQ(after, finished) << "finished before the signal came";
                continue;
            }
            EXPECT_EQ(WEXITSTATUS(raw), 128 + sig);
            EXPECT_TRUE(after == before || after == finished)
                << "signal " << sig << ": a mixed or partial pair";
            interrupted = interrupted || after == before;
        }
        EXPECT_TRUE(interrupted) << "no run was caught mid-way by signal " << sig;
    }
}

// Two runs at once in one directory: both succeed, and the pair on disk is the
// pair of one of them.
TEST(Program, ConcurrentRunsLeaveThePairOfOneRun)
{
    const fs::path one = fresh_dir("concurrent_1");
    const fs::path two = fresh_dir("concurrent_2");
    ASSERT_EQ(run_in(one, "--seed 1").status, 0);
    ASSERT_EQ(run_in(two, "--seed 2").status, 0);
    const Snapshot pair_1 = snapshot(one);
    const Snapshot pair_2 = snapshot(two);
    for (int trial = 0; trial < 20; ++trial) {
        const fs::path dir = fresh_dir("concurrent");
        const pid_t a = start_in(dir, {"--seed", "1"});
        const pid_t b = start_in(dir, {"--seed", "2"});
        int raw_a = 0;
        int raw_b = 0;
        waitpid(a, &raw_a, 0);
        waitpid(b, &raw_b, 0);
        EXPECT_TRUE(WIFEXITED(raw_a) && WEXITSTATUS(raw_a) == 0) << "trial " << trial;
        EXPECT_TRUE(WIFEXITED(raw_b) && WEXITSTATUS(raw_b) == 0) << "trial " << trial;
        const Snapshot got = snapshot(dir);
        EXPECT_TRUE(got == pair_1 || got == pair_2) << "trial " << trial << ": a mixed or partial pair";
    }
}

// The general engine's outputs and statuses: a diagram, the same bytes again, a
// range where nothing coexists, a bad or missing file, options that do not mix.
TEST(SystemProgram, TablesSummaryAndStatuses)
{
    const std::string examples = PHASE_BOUNDARY_EXAMPLES;
    const fs::path dir = fresh_dir("system");
    Outcome o = run_in(dir, "--system '" + examples + "/eutectic.toml'");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("eutectic at 607.68"), std::string::npos) << o.out;
    const Snapshot first = snapshot(dir);
    EXPECT_EQ(first.size(), 7u) << "boundaries.tsv, invariants.tsv, diagram.gp, regions.tsv, outlines.tsv, "
                                   "labels.tsv, orderings.tsv";
    EXPECT_EQ(first.at("orderings.tsv"), "phase_left\tphase_right\tx\tT\n") << "the header alone: none";
    EXPECT_EQ(first.at("regions.tsv").rfind("phases\tx\tT\n", 0), 0u);
    EXPECT_EQ(first.at("outlines.tsv").rfind("phases\tphase\tx\tT\n", 0), 0u);
    EXPECT_EQ(first.at("labels.tsv").rfind("text\tx\tT\tx_to\tT_to\neutectic 607.681 K\t", 0), 0u);
    EXPECT_EQ(first.at("diagram.gp").find("x_first"), std::string::npos) << "no window unless asked";
    const fs::path zoom = fresh_dir("system_zoom");
    ASSERT_EQ(run_in(zoom, "--system '" + examples + "/eutectic.toml' --range 0.2:0.6").status, 0);
    EXPECT_NE(read_file((zoom / "diagram.gp").string()).find("x_first = 0.2\nx_last = 0.6\n"),
              std::string::npos);
    EXPECT_EQ(read_file((zoom / "boundaries.tsv").string()), first.at("boundaries.tsv"))
        << "the tables are whole";
    for (const char* bad : {"0.6:0.2", "0:1.5", "x"})
        EXPECT_EQ(run_in(zoom, "--system '" + examples + "/eutectic.toml' --range " + bad).status, 64) << bad;
    EXPECT_EQ(first.at("boundaries.tsv").rfind("T\tphase_low\tx_low\tphase_high\tx_high\n", 0), 0u);
    EXPECT_EQ(split_lines(first.at("invariants.tsv"))[1].rfind("eutectic\t607.68", 0), 0u);
    ASSERT_EQ(run_in(dir, "--system '" + examples + "/eutectic.toml'").status, 0);
    EXPECT_EQ(snapshot(dir), first) << "the same file gives the same bytes";

    const fs::path hot = fresh_dir("system_hot");
    std::FILE* f = std::fopen((hot / "hot.toml").string().c_str(), "w");
    std::fputs("[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n"
               "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n"
               "[temperature]\nfirst = 1100\nlast = 1200\n",
               f);
    std::fclose(f);
    o = run_in(hot, "--system hot.toml");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file((hot / "boundaries.tsv").string()), "T\tphase_low\tx_low\tphase_high\tx_high\n");
    EXPECT_NE(o.out.find("no two phases coexist"), std::string::npos) << o.out;

    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--system hot.toml --seed 1", 64, "--help"},
        {"--system hot.toml --no-log", 64, "--help"},
        {"--system missing.toml", 65, "missing.toml: "},
        {"--system hot.toml/", 65, "hot.toml/: "},
    };
    const Snapshot before = snapshot(hot);
    for (const Case& c : cases) {
        o = run_in(hot, c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << ": " << o.err;
        EXPECT_EQ(snapshot(hot), before) << c.args;
    }
    // --temperatures replaces the file's range: the default range given again
    // writes the same bytes; a malformed one is 64 with nothing written.
    const fs::path same = fresh_dir("system_temperatures");
    ASSERT_EQ(run_in(same, "--system '" + examples + "/eutectic.toml' --temperatures 450:1100:1").status, 0);
    EXPECT_EQ(snapshot(same), first) << "the file's own range, given on the command line";
    // However many threads share the temperatures, the same bytes.
    for (const char* threads : {"1", "3", "256"}) {
        ASSERT_EQ(run_in(same, "--system '" + examples + "/eutectic.toml' --threads " + threads).status, 0);
        EXPECT_EQ(snapshot(same), first) << "--threads " << threads;
    }
    for (const Case& c :
         std::vector<Case>{{"--system hot.toml --temperatures 1100:1000", 64, "FIRST no higher"},
                           {"--system hot.toml --temperatures 0:10", 64, "above 0 K"},
                           {"--system hot.toml --temperatures 1:2:0", 64, "a positive STEP"},
                           {"--system hot.toml --temperatures 1:2:1e-9", 64, "at most 1000000"},
                           {"--system hot.toml --temperatures 600", 64, "FIRST:LAST"},
                           {"--temperatures 1:2", 64, "requires --system"},
                           {"--system hot.toml --solidify 0.3 --temperatures 1:2", 64, "excludes"},
                           {"--system hot.toml --threads 0", 64, "from 1 to 256, not '0'"},
                           {"--system hot.toml --threads 257", 64, "from 1 to 256"},
                           {"--system hot.toml --threads two", 64, "from 1 to 256"},
                           {"--system hot.toml --threads -1", 64, "--help"},
                           {"--threads 2", 64, "requires --system"},
                           {"--system hot.toml --solidify 0.3 --threads 2", 64, "excludes"}}) {
        o = run_in(hot, c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << ": " << o.err;
        EXPECT_EQ(snapshot(hot), before) << c.args;
    }
    f = std::fopen((hot / "hot.toml").string().c_str(), "a");
    std::fputs("[liquid]\nexcess = [\"x\"]\n", f);
    std::fclose(f);
    const Snapshot bad = snapshot(hot);
    o = run_in(hot, "--system hot.toml");
    EXPECT_EQ(o.status, 65);
    EXPECT_EQ(o.err, "phase_boundary: hot.toml:11:11: liquid.excess[0]: must be a number or a pair [a, b]\n");
    EXPECT_EQ(snapshot(hot), bad);
}

// --site-fractions: two more columns, each end's fractions sublattice by
// sublattice, whose atoms give the row's x; the tables are otherwise as without.
TEST(DatabaseProgram, SiteFractionsColumns)
{
    const fs::path dir = fresh_dir("site_fractions");
    std::string text = read_file(std::string(PHASE_BOUNDARY_EXAMPLES) + "/eutectic.tdb");
    const auto replace = [&](const std::string& from, const std::string& to) {
        ASSERT_NE(text.find(from), std::string::npos) << from;
        text.replace(text.find(from), from.size(), to);
    };
    replace("PHASE SOLID %  1  1.0 !\nCONSTITUENT SOLID :A,B : !",
            "PHASE SOLID %  2  1 1 !\nCONSTITUENT SOLID :A,B : VA : !");
    replace("G(SOLID,A,B;0)", "G(SOLID,A,B:VA;0)");
    std::FILE* f = std::fopen((dir / "vac.tdb").string().c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    ASSERT_EQ(run_in(dir, "--system vac.tdb --components A,B --temperatures 700:800:50").status, 0);
    const std::string plain = read_file((dir / "boundaries.tsv").string());
    const Outcome o =
        run_in(dir, "--system vac.tdb --components A,B --temperatures 700:800:50 --site-fractions");
    ASSERT_EQ(o.status, 0) << o.err;
    const std::vector<std::string> rows = split_lines(read_file((dir / "boundaries.tsv").string()));
    const std::vector<std::string> before = split_lines(plain);
    ASSERT_EQ(rows.size(), before.size());
    EXPECT_EQ(rows[0], "T\tphase_low\tx_low\tphase_high\tx_high\ty_low\ty_high");
    ASSERT_GT(rows.size(), 3u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].rfind(before[i] + "\t", 0), 0u) << rows[i];
        double T = 0, x_low = 0, x_high = 0, a_low = 0, b_low = 0, a_high = 0, b_high = 0, va = 0;
        char low[32] = {};
        char high[32] = {};
        ASSERT_EQ(std::sscanf(rows[i].c_str(), "%lf\t%31[A-Z]\t%lf\t%31[A-Z]\t%lf\t%lf,%lf", &T, low, &x_low,
                              high, &x_high, &a_low, &b_low),
                  7)
            << rows[i];
        const std::string y_high = rows[i].substr(rows[i].rfind('\t') + 1);
        ASSERT_GE(std::sscanf(y_high.c_str(), "%lf,%lf:%lf", &a_high, &b_high, &va), 2) << rows[i];
        EXPECT_NEAR(a_low, x_low, 1e-15) << rows[i];
        EXPECT_NEAR(a_high, x_high, 1e-15) << rows[i];
        EXPECT_NEAR(a_low + b_low, 1.0, 1e-15) << rows[i];
        if (std::string(high) == "SOLID") {
            EXPECT_EQ(y_high.substr(y_high.find(':')), ":1") << "the vacancies' sublattice";
        }
    }
}

// --at and --at-file: one JSON object for one point, a list for several, the
// same numbers in the block on standard output; a point that does not read is
// 64 from the command line and 65 from the file, naming its line, with
// nothing written.
TEST(PointProgram, EquilibriumJsonBlockAndRefusals)
{
    const fs::path dir = fresh_dir("points");
    const std::string system = std::string(PHASE_BOUNDARY_EXAMPLES) + "/eutectic.toml";
    const Outcome one = run_in(dir, "--system '" + system + "' --at 700,0.5");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.err, "");
    const std::string json = read_file((dir / "equilibrium.json").string());
    EXPECT_EQ(json.rfind("{\"T\": 700, \"x0\": 0.5, \"P\": 101325, \"components\": [", 0), 0u) << json;
    for (const char* key : {"\"phases\": [{\"name\": ", "\"amount\": ", "\"site_fractions\": [[", "\"mu\": {",
                            "\"activity\": {", "\"G\": ", "\"H\": ", "\"S\": ", "\"Cp\": "})
        EXPECT_NE(json.find(key), std::string::npos) << key << " in " << json;
    EXPECT_EQ(one.out.rfind("equilibrium at T = 700 K, x(", 0), 0u) << one.out;

    std::FILE* f = std::fopen((dir / "points.txt").string().c_str(), "w");
    std::fputs("# T, x0\n900,0.2\n\n  1000 , 0.8  # liquid\n", f);
    std::fclose(f);
    const Outcome many = run_in(dir, "--system '" + system + "' --at 700,0.5 --at-file points.txt");
    ASSERT_EQ(many.status, 0) << many.err;
    const std::string list = read_file((dir / "equilibrium.json").string());
    EXPECT_EQ(list.rfind("[\n {\"T\": 700,", 0), 0u) << list;
    EXPECT_NE(list.find("{\"T\": 900, \"x0\": 0.2,"), std::string::npos) << list;
    EXPECT_NE(list.find("{\"T\": 1000, \"x0\": 0.8,"), std::string::npos) << list;
    EXPECT_EQ(many.out.rfind(one.out + "\nequilibrium at T = 900 K, x(", 0), 0u) << many.out;
    EXPECT_NE(many.out.find("\n\nequilibrium at T = 1000 K, x("), std::string::npos) << many.out;

    const Snapshot before = snapshot(dir);
    for (const char* bad : {"--at 700", "--at 0,0.5", "--at 700,1", "--at 700,0.5 --solidify 0.5"}) {
        const Outcome o = run_in(dir, "--system '" + system + "' " + bad);
        EXPECT_EQ(o.status, 64) << bad;
    }
    f = std::fopen((dir / "bad.txt").string().c_str(), "w");
    std::fputs("900,0.2\n900;0.3\n", f);
    std::fclose(f);
    const Outcome o = run_in(dir, "--system '" + system + "' --at-file bad.txt");
    EXPECT_EQ(o.status, 65);
    EXPECT_NE(o.err.find("bad.txt:2: "), std::string::npos) << o.err;
    std::filesystem::remove(dir / "bad.txt");
    EXPECT_EQ(snapshot(dir), before);
}

// --energies: the three files with their headers, a curve per phase and a
// tangent per two-phase region at T; a bad temperature is 64.
TEST(PointProgram, EnergyCurvesAndTangents)
{
    const fs::path dir = fresh_dir("energies");
    const std::string system = std::string(PHASE_BOUNDARY_EXAMPLES) + "/eutectic.toml";
    const Outcome o = run_in(dir, "--system '" + system + "' --energies 700");
    ASSERT_EQ(o.status, 0) << o.err;
    const std::vector<std::string> energies = split_lines(read_file((dir / "energies.tsv").string()));
    ASSERT_FALSE(energies.empty());
    EXPECT_EQ(energies[0], "phase\tx\tG");
    EXPECT_EQ(energies.size(), 1u + 2u * 201u) << "two phases of 201 points each";
    const std::vector<std::string> tangents = split_lines(read_file((dir / "tangents.tsv").string()));
    ASSERT_FALSE(tangents.empty());
    EXPECT_EQ(tangents[0], "phase_low\tx_low\tphase_high\tx_high\tmu_A\tmu_B");
    EXPECT_GE(tangents.size(), 2u) << "the eutectic system has a two-phase region at 700 K";
    EXPECT_NE(read_file((dir / "energies.gp").string()).find("T = 700\n"), std::string::npos);
    const Outcome fractions =
        run_in(dir, "--system '" + system + "' --fractions 0.3 --temperatures 600:800:10");
    ASSERT_EQ(fractions.status, 0) << fractions.err;
    const std::vector<std::string> rows = split_lines(read_file((dir / "fractions.tsv").string()));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "T\tphase\tamount\tx");
    EXPECT_EQ(rows.size(), 1u + 3u * 21u)
        << "the liquid and the solid on both sides of its gap, at 21 temperatures";
    EXPECT_NE(std::find(rows.begin(), rows.end(), "600\tS#2\t0.2912149739398636\t0.9789615514438138"),
              rows.end());
    for (const char* bad : {"--energies 0", "--energies x", "--energies 700 --at 700,0.5", "--fractions 1",
                            "--fractions 0.3 --solidify 0.3", "--fractions 0.3 --energies 700"})
        EXPECT_EQ(run_in(dir, "--system '" + system + "' " + bad).status, 64) << bad;
}

// A run of over two seconds shows its progress on a terminal, rewritten in
// place and wiped at the end; with standard error on a file, nothing. A
// sanitizer's build takes some six seconds with a twentieth of the rows.
#ifdef PHASE_BOUNDARY_SANITIZED
constexpr const char* LONG_RUN = "300:1100:0.1";
constexpr const char* LONG_RUN_ROWS = " of 8001 (";
#else
constexpr const char* LONG_RUN = "300:1100:0.005";
constexpr const char* LONG_RUN_ROWS = " of 160001 (";
#endif

TEST(PointProgram, ProgressOnlyOnATerminal)
{
    const fs::path dir = fresh_dir("progress");
    const std::string args = "--system '" + std::string(PHASE_BOUNDARY_EXAMPLES) +
                             "/eutectic.toml' --temperatures " + LONG_RUN + " --threads 1";
    const Outcome quiet = run_in(dir, args);
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "") << "no progress line into a file";
    if (std::system("script --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no script(1) to give the program a terminal";
    const std::string typescript = (dir / "typescript").string();
    const std::string command = "cd '" + dir.string() + "' && script -qc \"'" PHASE_BOUNDARY_EXE "' " + args +
                                " >/dev/null\" '" + typescript + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string shown = read_file(typescript);
    const std::size_t line = shown.find("\rphase_boundary: temperatures ");
    ASSERT_NE(line, std::string::npos) << shown;
    EXPECT_NE(shown.find(LONG_RUN_ROWS, line), std::string::npos) << shown;
    EXPECT_NE(shown.find("          \r", line), std::string::npos)
        << "the line is wiped at the end: " << shown;
}

// --celsius and --mass-fraction: the same rows as the default run, their
// temperatures less 273.15 and their compositions by the molar masses; the
// default bytes untouched; a system without molar masses refused with 65 and
// the flags without the general engine with 64.
TEST(PointProgram, UnitsOfTheTablesAndTheirRefusals)
{
    const fs::path dir = fresh_dir("units");
    const std::string system = "--system '" + std::string(PHASE_BOUNDARY_EXAMPLES) + "/cu-ni.toml'";
    ASSERT_EQ(run_in(dir, system + " --temperatures 1500:1600:10").status, 0);
    const std::vector<std::string> kelvin = split_lines(read_file((dir / "boundaries.tsv").string()));
    const Outcome o = run_in(dir, system + " --celsius --mass-fraction --temperatures 1226.85:1326.85:10");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("x is its mass fraction"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\u00b0C"), std::string::npos) << o.out;
    const std::vector<std::string> shown = split_lines(read_file((dir / "boundaries.tsv").string()));
    ASSERT_EQ(shown.size(), kelvin.size());
    EXPECT_EQ(shown[0], kelvin[0]) << "the headers stay as they are";
    const double Ma = 63.546;
    const double Mb = 58.6934;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        double T = 0, x_low = 0, x_high = 0, C = 0, w_low = 0, w_high = 0;
        char p[4][32] = {};
        ASSERT_EQ(
            std::sscanf(kelvin[i].c_str(), "%lf\t%31s\t%lf\t%31s\t%lf", &T, p[0], &x_low, p[1], &x_high), 5);
        ASSERT_EQ(std::sscanf(shown[i].c_str(), "%lf\t%31s\t%lf\t%31s\t%lf", &C, p[2], &w_low, p[3], &w_high),
                  5);
        EXPECT_NEAR(C, T - 273.15, 1e-9) << shown[i];
        EXPECT_NEAR(w_low, x_low * Ma / (x_low * Ma + (1 - x_low) * Mb), 1e-15) << shown[i];
        EXPECT_NEAR(w_high, x_high * Ma / (x_high * Ma + (1 - x_high) * Mb), 1e-15) << shown[i];
    }
    const std::string eutectic = "--system '" + std::string(PHASE_BOUNDARY_EXAMPLES) + "/eutectic.toml'";
    const Outcome no_masses = run_in(dir, eutectic + " --mass-fraction");
    EXPECT_EQ(no_masses.status, 65);
    EXPECT_NE(no_masses.err.find("molar_mass in [A] and [B]"), std::string::npos) << no_masses.err;
    for (const char* bad : {"--celsius", "--mass-fraction", "--celsius --seed 4"})
        EXPECT_EQ(run_in(dir, bad).status, 64) << bad;
    EXPECT_EQ(run_in(dir, eutectic + " --mass-fraction --energies 700").status, 64);
}

// A database from the command line: its binary named by --components, its
// phases by name in the tables; each misuse is 64, each unusable database or
// name in it 65 with nothing written, and a phase left out a warning and 70.
TEST(DatabaseProgram, TablesStatusesAndPhasesLeftOut)
{
    const std::string examples = PHASE_BOUNDARY_EXAMPLES;
    const fs::path dir = fresh_dir("database");
    const std::string text = read_file(examples + "/eutectic.tdb");
    const auto write = [&](const std::string& name, const std::string& body) {
        std::FILE* f = std::fopen((dir / name).string().c_str(), "w");
        std::fputs(body.c_str(), f);
        std::fclose(f);
    };
    write("eut.TDB", text);
    write("hot.toml", "[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n"
                      "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n");
    write("ionic.tdb", text + "PHASE AB:Y % 2 1 1 !\nCONSTITUENT AB :A : VA : !\n");
    write("misspelt.tdb", text + "PARAMETR G(SOLID,A;0) 1 0; 2000 N !\n");
    write("infinite.tdb", text + "PARAMETER G(LIQUID,A,B;0) 1 T**(100000000); 100000 N !\n");
    write("twice.tdb", text + "PARAMETER G(SOLID,A,B;0) 1 20000; 100000 N !\n");
    write("elsewhere.tdb", text + "PARAMETER G(GONE,A,B;0) 1 20000; 100000 N !\n");
    Outcome o = run_in(dir, "--system eut.TDB --components a,B --temperatures 600:1000");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("phases: LIQUID SOLID\n  LIQUID: solution\n  SOLID: solution\n"), std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("pure A: SOLID -> LIQUID at 1000 K"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\npressure: 101325 Pa\n"), std::string::npos) << o.out;
    o = run_in(dir, "--system eut.TDB --components A,B --temperatures 600:1000 --pressure 2.5e6");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\npressure: 2500000 Pa\n"), std::string::npos) << o.out;
    EXPECT_NE(read_file((dir / "invariants.tsv").string()).find("\tSOLID\t"), std::string::npos);
    const Snapshot before = snapshot(dir);
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--system eut.TDB", 64, "--components A,B is required"},
        {"--system hot.toml --components A,B", 64, "applies to a database"},
        {"--system eut.TDB --components A", 64, "two different element names"},
        {"--system eut.TDB --components A,a", 64, "two different element names"},
        {"--system eut.TDB --phases LIQUID", 64, "requires --components"},
        {"--system eut.TDB --components A,B --phases LIQUID,,SOLID", 64, "phase names"},
        {"--system eut.TDB --components A,C", 65, "eut.TDB: no element C"},
        {"--system eut.TDB --components A,B --phases LIQUID,GAS", 65, "no phase GAS"},
        {"--system ionic.tdb --components A,B --phases LIQUID,AB", 65, "phase AB (line 18): an ionic liquid"},
        {"--system misspelt.tdb --components A,B", 65, "misspelt.tdb:18:1: "},
        {"--system missing.tdb --components A,B", 65, "missing.tdb: "},
        {"--system infinite.tdb --components A,B", 65,
         "infinite.tdb:18: PARAMETER G(LIQUID,A,B;0) is not finite at 298 K"},
        {"--system eut.TDB --components A,B --pressure 0", 64, "a pressure above 0 Pa and at most 1e10 Pa"},
        {"--system eut.TDB --components A,B --pressure 2e10", 64, "a pressure above 0 Pa"},
        {"--system hot.toml --pressure 1e5", 64, "--pressure applies to a database (.tdb) only"},
        {"--list hot.toml", 64, "--list takes a database"},
        {"--list eut.TDB --system eut.TDB", 64, "excludes"},
        {"--list eut.TDB --components A,C", 65, "eut.TDB: no element C"},
        {"--list missing.tdb", 65, "missing.tdb: "},
        {"--list misspelt.tdb", 65, "misspelt.tdb:18:1: "},
    };
    for (const Case& c : cases) {
        o = run_in(dir, c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << ": " << o.err;
        EXPECT_EQ(snapshot(dir), before) << c.args;
    }
    o = run_in(dir, "--system ionic.tdb --components A,B --temperatures 600:1000 -o .");
    EXPECT_EQ(o.status, 70);
    EXPECT_NE(o.err.find("warning: phase AB (line 18) left out"), std::string::npos) << o.err;
    EXPECT_NE(
        o.out.find("\nleft out: AB (an ionic liquid (the two-sublattice ionic model is not modelled))\n"),
        std::string::npos)
        << o.out;
    // A fault of the file read past: status 70 where it touches a kept phase, 0 elsewhere.
    o = run_in(dir, "--system twice.tdb --components A,B --temperatures 600:1000 -o .");
    EXPECT_EQ(o.status, 70);
    EXPECT_NE(
        o.err.find("warning: twice.tdb:18: PARAMETER G(SOLID,A,B;0) given again (first at line 17); the "
                   "first is kept"),
        std::string::npos)
        << o.err;
    o = run_in(dir, "--system elsewhere.tdb --components A,B --temperatures 600:1000 -o .");
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.err.find("warning: elsewhere.tdb:18: PARAMETER G(GONE,A,B;0) is of phase GONE"),
              std::string::npos)
        << o.err;
    // --list exits 0 whenever the file reads, whatever it leaves out.
    o = run_in(dir, "--list ionic.tdb");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("elements: A (10 g/mol), B (10 g/mol)"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("  LIQUID (line 10): 1 sublattice (A,B)1, liquid; computed: solution\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(
        o.out.find("  AB (line 18): 2 sublattices (A)1 (VA)1, ionic liquid; not computed: an ionic liquid"),
        std::string::npos)
        << o.out;
    o = run_in(dir, "--list ionic.tdb --components B,A");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("the binary B-A"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("phases left out:\n  AB (line 18): an ionic liquid"), std::string::npos) << o.out;
}

// Solidification from the command line: the built-in system and a file, its two
// tables and summary; every bad usage is 64 and a bad file 65, nothing written.
TEST(SolidifyProgram, TablesSummaryAndStatuses)
{
    const std::string examples = PHASE_BOUNDARY_EXAMPLES;
    const fs::path dir = fresh_dir("solidify");
    Outcome o = run_in(dir, "--solidify 0.5");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("liquidus 1511.10316619"), std::string::npos) << o.out;
    const Snapshot files = snapshot(dir);
    ASSERT_EQ(files.size(), 3u) << "solidification.tsv, segregation.tsv, solidification.gp";
    EXPECT_NE(files.at("solidification.gp").find("\nx0 = \"0.5\"\n"), std::string::npos);
    const std::vector<std::string> rows = split_lines(files.at("solidification.tsv"));
    EXPECT_EQ(
        rows[0],
        "T\tf_solid_lever\tx_solid_lever\tx_liquid_lever\tf_solid_scheil\tx_solid_scheil\tx_liquid_scheil"
        "\tphase_solid_lever\tphase_solid_scheil");
    EXPECT_EQ(rows[1].rfind("1511.10316619", 0), 0u) << rows[1];
    EXPECT_EQ(rows[2].rfind("1511\t", 0), 0u) << "then the whole kelvins below: " << rows[2];
    EXPECT_EQ(rows.back(), "1211.4015902942865\t1\t0.5\t\t1\t0\t\t\tS")
        << "the last row: empty liquids, nothing forming by the lever rule, the last solid by Scheil";
    EXPECT_GE(split_lines(files.at("segregation.tsv")).size(), 1001u);

    o = run_in(dir, "--system '" + examples + "/eutectic.toml' --solidify 0.3 --step 10");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Scheil path ends at the eutectic, 607.68"), std::string::npos) << o.out;
    EXPECT_EQ(split_lines(read_file((dir / "solidification.tsv").string()))[2].rfind("700\t", 0), 0u);

    const fs::path bad = dir_with_previous_files("solidify_bad");
    const Snapshot before = snapshot(bad);
    struct Case {
        std::string args;
        int status;
    };
    for (const Case& c : std::vector<Case>{{"--solidify 0", 64},
                                           {"--solidify 1", 64},
                                           {"--solidify -0.2", 64},
                                           {"--solidify abc", 64},
                                           {"--solidify nan", 64},
                                           {"--solidify ''", 64},
                                           {"--solidify 0.5 --solidify 0.4", 64},
                                           {"--solidify 0.5 --step 0", 64},
                                           {"--solidify 0.5 --step -1", 64},
                                           {"--step 2", 64},
                                           {"--solidify 0.5 --seed 1", 64},
                                           {"--solidify 0.5 --no-log", 64},
                                           {"--solidify 1e-300", 64},
                                           {"--solidify 0.9999999999995", 64},
                                           {"--solidify 0.5 --system missing.toml", 65}}) {
        o = run_in(bad, c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_NE(o.err.find("phase_boundary: "), std::string::npos) << c.args;
        EXPECT_EQ(snapshot(bad), before) << c.args;
    }
    // Steps too small for any table end at once, naming the limit; nothing is written.
    struct Refused {
        std::string args;
        std::string message;
    };
    for (const Refused& c : std::vector<Refused>{
             {"--solidify 0.3 --step 1e-14",
              "K is below 1.6870004065627972e-06 K, a billionth of the higher melting point"},
             {"--solidify 0.3 --step 1e-4", "more than 1000000: the smallest step that fits is 0.00021 K"}}) {
        o = run_in(bad, c.args);
        EXPECT_EQ(o.status, 64) << c.args;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << ": " << o.err;
        EXPECT_EQ(snapshot(bad), before) << c.args;
    }
}

// Rows at the decimals asked for; a lens a few kelvin wide freezes at a step
// wider than its whole freezing range.
TEST(SolidifyProgram, RowsAtTheStepsDecimals)
{
    const fs::path dir = fresh_dir("solidify_decimals");
    Outcome o = run_in(dir, "--solidify 0.3 --step 0.1");
    ASSERT_EQ(o.status, 0) << o.err;
    const std::vector<std::string> rows = split_lines(read_file((dir / "solidification.tsv").string()));
    EXPECT_EQ(rows[2].rfind("1418.6\t", 0), 0u) << rows[2];
    EXPECT_EQ(rows[3].rfind("1418.5\t", 0), 0u) << rows[3];
    std::FILE* f = std::fopen((dir / "lens.toml").string().c_str(), "w");
    std::fputs("[A]\nmelting_point = 1300.5\nenthalpy_of_fusion = 10404\n"
               "[B]\nmelting_point = 1292.5\nenthalpy_of_fusion = 10340\n",
               f);
    std::fclose(f);
    o = run_in(dir, "--system lens.toml --solidify 0.1 --step 1");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Scheil path ends at 1292.5 K, the melting point of B"), std::string::npos) << o.out;
}

TEST(Program, ManPageNamesEveryOption)
{
    const std::string help = run_in(fs::current_path(), "--help").out;
    std::string man = read_file(PHASE_BOUNDARY_MAN_PAGE);
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    const std::regex option(R"((^|[\s,])(--?[a-z][a-z-]*))");
    int found = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++found) {
        const std::string name = (*it)[2];
        EXPECT_TRUE(std::regex_search(man, std::regex("(^|[^a-z-])" + name + "([^a-z-]|$)")))
            << "the man page does not name " << name;
    }
    EXPECT_GE(found, 6) << help;
}

}  // namespace
