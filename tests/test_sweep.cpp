#include "builtin/runlog.h"
#include "builtin/sweep.h"
#include "formats/output.h"
#include "reference.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

// Draws that start right beside the equilibrium, so the first attempt converges.
constexpr int NEAR_1215[] = {117, 470};      // 0.00357, 0.01434
constexpr int NEAR_1450[] = {11895, 21353};  // 0.36302, 0.65166

struct SweepOutput {
    std::string table;
    std::string log;
};

template <class Gen>
SweepOutput run_sweep(Gen& gen, bool with_log)
{
    const auto table_of = [&](std::FILE* log) {
        return capture([&](std::FILE* table) {
            WorkMatrix jac = {};
            sweep(jac, gen, log, table);
        });
    };
    SweepOutput run;
    if (with_log)
        run.log = capture([&](std::FILE* log) { run.table = table_of(log); });
    else
        run.table = table_of(nullptr);
    return run;
}

std::vector<std::string> log_lines_of_solve(int T, ScriptedDraws& draws, int& attempts)
{
    const std::string log = capture([&](std::FILE* f) {
        WorkMatrix jac = {};
        double xl = 0.0;
        double xs = 0.0;
        attempts = solve(T, jac, draws, f, xl, xs);
    });
    return split_lines(log);
}

TEST(Sweep, SeededTableAgreesWithTheClosedFormAtEveryTemperature)
{
    std::mt19937 gen(20261207);
    auto draw = [&] { return draw_15_bits(gen); };
    const std::vector<std::string> lines = split_lines(run_sweep(draw, false).table);
    ASSERT_EQ(lines.size(), 473u);
    const std::regex row(R"((\d+)\t(\d\.\d{10})\t(\d\.\d{10}))");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, row)) << "line " << i + 1 << ": " << lines[i];
        const int T = std::stoi(m[1]);
        ASSERT_EQ(T, T_FIRST + static_cast<int>(i)) << "line " << i + 1;
        const Exact e = exact_equilibrium(T);
        // The converged point is within the last correction (< 1e-10) of the root,
        // and printing rounds by at most 5e-11 more.
        EXPECT_NEAR(std::stod(m[2]), e.xl, 2e-10) << "Si(L) at T=" << T;
        EXPECT_NEAR(std::stod(m[3]), e.xs, 2e-10) << "Si(S) at T=" << T;
    }
}

// Equal draws inside (0, 32767) would stop about one run in eight with a singular
// Jacobian; a stop here would end this test binary.
TEST(Sweep, EveryRunCompletesWhateverTheSeed)
{
    for (unsigned seed = 0; seed < 400; ++seed) {
        std::mt19937 gen(seed);
        auto draw = [&] { return draw_15_bits(gen); };
        ASSERT_EQ(split_lines(run_sweep(draw, false).table).size(), 473u) << "seed " << seed;
    }
}

// The rows without files are the table's: the same draws, the same digits.
TEST(Sweep, RowsWithoutFilesPrintAsTheTable)
{
    for (const unsigned seed : {0u, 42u, 20261207u}) {
        std::mt19937 gen(seed);
        auto draw = [&] { return draw_15_bits(gen); };
        const std::string table = run_sweep(draw, false).table;
        std::mt19937 again(seed);
        auto redraw = [&] { return draw_15_bits(again); };
        double xl[T_LAST - T_FIRST + 1];
        double xs[T_LAST - T_FIRST + 1];
        ASSERT_TRUE(sweep_rows(redraw, xl, xs)) << "seed " << seed;
        const std::string rows = capture([&](std::FILE* f) {
            for (int T = T_FIRST; T <= T_LAST; ++T)
                write_row(f, T, xl[T - T_FIRST], xs[T - T_FIRST]);
        });
        EXPECT_EQ(rows, table) << "seed " << seed;
    }
}

// The reference Mersenne Twister from its default seed 5489: outputs 3499211612,
// 581869302, 3890346734, 3586334585, 545404204, and 4123659995 as the 10000th,
// which the C++ standard itself fixes. The draws are their top 15 bits.
TEST(Draws, TopFifteenBitsOfTheStandardGenerator)
{
    std::mt19937 gen(5489);
    for (int expected : {26696, 4439, 29680, 27361, 4161})
        EXPECT_EQ(draw_15_bits(gen), expected);
    for (int i = 6; i < 10000; ++i)
        draw_15_bits(gen);
    EXPECT_EQ(draw_15_bits(gen), 31461) << "the 10000th draw";

    int lowest = DRAW_MAX;
    int highest = 0;
    for (int i = 0; i < 1000000; ++i) {
        const int d = draw_15_bits(gen);
        lowest = std::min(lowest, d);
        highest = std::max(highest, d);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 32767);
}

TEST(Draws, SeedComesFromTheClockInWholeSeconds)
{
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const std::uint32_t seed = clock_seed();
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    EXPECT_TRUE(seed == before || seed == after) << seed << " between " << before << " and " << after;
}

TEST(Sweep, TheLogChangesNothingInTheSearch)
{
    std::mt19937 a(99);
    std::mt19937 b(99);
    auto draw_a = [&] { return draw_15_bits(a); };
    auto draw_b = [&] { return draw_15_bits(b); };
    const SweepOutput with = run_sweep(draw_a, true);
    const SweepOutput without = run_sweep(draw_b, false);
    EXPECT_EQ(with.table, without.table);
    EXPECT_EQ(a(), b()) << "both searches used the same number of draws";
}

TEST(Search, EqualDrawsInsideTheRangeAreDrawnAgain)
{
    ScriptedDraws draws{16000, 16000, 1, 1, 32766, 32766, NEAR_1450[0], NEAR_1450[1]};
    int attempts = 0;
    const std::vector<std::string> lines = log_lines_of_solve(1450, draws, attempts);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(draws.used, 8u);
    EXPECT_EQ(lines[1], "At T=1450, Si(L) and Si(S) are randomly initilized.");
    for (std::size_t i = 3; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("Iteration=", 0), 0u) << "one attempt, passes only: " << lines[i];
}

// A start on an edge gives infinite derivatives, non-number corrections and
// non-number iterates; the range test catches them on the second pass. Equal
// edge draws are not drawn again: they stop nothing.
TEST(Search, ADrawOnAnEdgeCostsOneAttempt)
{
    const std::regex nan_pass(R"(Iteration=1,\tSi\(L\)=\S+\tSi\(S\)=\S+\th=-?nan\tk=-?nan)");
    const std::regex nan_error(R"(ERROR!! Si\(L\)=-?nan\tSi\(S\)=-?nan)");
    const std::vector<std::vector<int>> edges = {
        {0, 20000}, {20000, 32767}, {0, 0}, {32767, 32767}, {32767, 0}};
    for (const std::vector<int>& edge : edges) {
        ScriptedDraws draws{edge[0], edge[1], NEAR_1450[0], NEAR_1450[1]};
        int attempts = 0;
        const std::vector<std::string> lines = log_lines_of_solve(1450, draws, attempts);
        const std::string where = "draws " + std::to_string(edge[0]) + ", " + std::to_string(edge[1]);
        EXPECT_EQ(attempts, 2) << where;
        EXPECT_EQ(draws.used, 4u) << where;
        ASSERT_GE(lines.size(), 10u) << where;
        EXPECT_TRUE(std::regex_match(lines[3], nan_pass)) << where << ": " << lines[3];
        EXPECT_EQ(lines[4], "") << where;
        EXPECT_TRUE(std::regex_match(lines[5], nan_error)) << where << ": " << lines[5];
        EXPECT_EQ(lines[6], "0<=Si(L)<=1 and 0<=Si(S)<=1 needed.") << where;
        EXPECT_EQ(lines[7], "") << where;
        EXPECT_EQ(lines[9], "At T=1450, Si(L) and Si(S) are randomly initilized.") << where;
    }
}

const std::regex PASS(R"(Iteration=(\d+),\tSi\(L\)=(\S+)\tSi\(S\)=(\S+)\th=(\S+)\tk=(\S+))");

// Corrections below 1e-10, as far as ten printed decimals can show it.
bool converged(const std::smatch& pass)
{
    return std::fabs(std::stod(pass[4])) <= 1e-10 && std::fabs(std::stod(pass[5])) <= 1e-10;
}

TEST(RunLogOfASweep, FirstAttemptConvergesAndTheBlockRepeatsItsLastPass)
{
    ScriptedDraws draws{NEAR_1215[0], NEAR_1215[1]};
    const SweepOutput run = run_sweep(draws, true);
    const std::vector<std::string> lines = split_lines(run.log);
    ASSERT_GT(lines.size(), 12u);
    EXPECT_EQ(lines[0], EQUALS_RULE);
    EXPECT_EQ(lines[1], "At T=1215, Si(L) and Si(S) are randomly initilized.");
    EXPECT_EQ(lines[2], EQUALS_RULE);
    std::size_t i = 3;
    std::smatch pass;
    std::string last;
    for (int n = 1; std::regex_match(lines[i], pass, PASS); ++n, ++i) {
        ASSERT_EQ(std::stoi(pass[1]), n) << "passes numbered without gaps: " << lines[i];
        last = lines[i];
    }
    --i;
    ASSERT_TRUE(std::regex_match(last, pass, PASS) && converged(pass))
        << "the attempt ends with a converged pass: " << last;
    const std::string xl = pass[2];
    const std::string xs = pass[3];
    const std::vector<std::string> block = {"",
                                            HEAVY_RULE,
                                            "Temperature\tComposion of Si(L)\tComposion of Si(S)",
                                            LIGHT_RULE,
                                            "1215\t\t" + xl + "\t\t" + xs,
                                            HEAVY_RULE,
                                            ""};
    for (std::size_t b = 0; b < block.size(); ++b)
        EXPECT_EQ(lines[i + 1 + b], block[b]) << "result block line " << b;
    EXPECT_EQ(lines[i + 8], EQUALS_RULE) << "the next temperature's banner follows the block";
    EXPECT_EQ(split_lines(run.table).front(), "1215\t" + xl + "\t" + xs);
}

// Reads the whole log of a seeded run as the sequence its records must form.
TEST(RunLogOfASweep, CompleteSeededLogIsWellFormed)
{
    std::mt19937 gen(4242);
    auto draw = [&] { return draw_15_bits(gen); };
    const SweepOutput run = run_sweep(draw, true);
    const std::vector<std::string> lines = split_lines(run.log);
    const std::vector<std::string> table = split_lines(run.table);
    ASSERT_EQ(table.size(), 473u);
    int T = T_FIRST;
    std::size_t i = 0;
    int attempts = 0;
    int failures = 0;
    while (i < lines.size() && T <= T_LAST) {
        const std::string at = "line " + std::to_string(i + 1) + " (T=" + std::to_string(T) + ")";
        ASSERT_EQ(lines[i], EQUALS_RULE) << at;
        ASSERT_EQ(lines[i + 1], "At T=" + std::to_string(T) + ", Si(L) and Si(S) are randomly initilized.")
            << at;
        ASSERT_EQ(lines[i + 2], EQUALS_RULE) << at;
        ++attempts;
        i += 3;
        std::smatch pass;
        std::string last;
        for (int n = 1; std::regex_match(lines[i], pass, PASS); ++n, ++i) {
            ASSERT_EQ(std::stoi(pass[1]), n) << "line " << i + 1;
            last = lines[i];
        }
        if (lines[i + 1] == HEAVY_RULE) {  // the converged pass, then the block
            --i;
            ASSERT_TRUE(std::regex_match(last, pass, PASS) && converged(pass)) << at << ": " << last;
            ASSERT_EQ(lines[i + 5], std::to_string(T) + "\t\t" + pass[2].str() + "\t\t" + pass[3].str())
                << at;
            ASSERT_EQ(table[static_cast<std::size_t>(T - T_FIRST)],
                      std::to_string(T) + "\t" + pass[2].str() + "\t" + pass[3].str());
            ASSERT_EQ(lines[i + 2], HEAVY_RULE) << at;
            ASSERT_EQ(lines[i + 4], LIGHT_RULE) << at;
            ASSERT_EQ(lines[i + 6], HEAVY_RULE) << at;
            i += 8;
            ++T;
        } else {
            ASSERT_EQ(lines[i], "") << at;
            ASSERT_EQ(lines[i + 1].rfind("ERROR!! Si(L)=", 0), 0u) << "line " << i + 2;
            ASSERT_EQ(lines[i + 2], "0<=Si(L)<=1 and 0<=Si(S)<=1 needed.") << "line " << i + 3;
            ASSERT_EQ(lines[i + 3], "") << "line " << i + 4;
            i += 4;
            ++failures;
        }
    }
    EXPECT_EQ(T, T_LAST + 1);
    EXPECT_EQ(i, lines.size()) << "nothing after the block for 1687";
    EXPECT_GT(failures, 1000) << "1687 K alone takes thousands of attempts";
    EXPECT_EQ(attempts, failures + 473);
    EXPECT_EQ(run.log.substr(run.log.size() - 98), HEAVY_RULE + "\n\n");
    EXPECT_EQ(run.log.find('\r'), std::string::npos);
}

// The exit that follows a singular Jacobian still renames the outputs into place,
// with every record written before it and no temporary left behind.
TEST(SweepDeathTest, RecordsWrittenBeforeASingularStopAreKept)
{
    const std::string dir = scratch_dir() + "singular";
    std::filesystem::create_directories(dir);
    EXPECT_EXIT(
        {
            std::FILE* log = open_output(dir.c_str(), "result.txt");
            std::FILE* table = open_output(dir.c_str(), "result02.txt");
            if (log == nullptr || table == nullptr)
                std::_Exit(99);
            std::freopen(NULL_DEVICE, "w", stdout);
            log_converged(log, 1215, 0.0035685325, 0.0143338561);
            write_row(table, 1215, 0.0035685325, 0.0143338561);
            log_attempt(log, 1216);
            WorkMatrix jac = {};
            jac[0][0] = jac[1][1] = 2.0;  // rows proportional to (1, -1), as at xl = xs
            jac[0][1] = jac[1][0] = -2.0;
            inverse_matrix(jac);
            std::_Exit(98);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(dir + "/result02.txt"), as_text_mode("1215\t0.0035685325\t0.0143338561\n"));
    const std::string log = read_file(dir + "/result.txt");
    const std::string banner = as_text_mode(
        EQUALS_RULE + "\nAt T=1216, Si(L) and Si(S) are randomly initilized.\n" + EQUALS_RULE + "\n");
    ASSERT_GT(log.size(), banner.size());
    EXPECT_EQ(log.substr(log.size() - banner.size()), banner)
        << "the log ends with the stopped attempt's banner";
    EXPECT_EQ(log.find("INVERSE"), std::string::npos) << "the console message stays on the console";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary left";
}

}  // namespace
