#include "builtin/inverse.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

void load(WorkMatrix& a, double j00, double j01, double j10, double j11)
{
    a[0][0] = j00;
    a[0][1] = j01;
    a[1][0] = j10;
    a[1][1] = j11;
}

std::string row(const WorkMatrix& a, int i)
{
    return "[" + std::to_string(a[i][0]) + ", " + std::to_string(a[i][1]) + ", " + std::to_string(a[i][2]) +
           ", " + std::to_string(a[i][3]) + "]";
}

// Scaled rows [0.5 1 .5 0], [.75 1 0 .25], swapped, eliminated with q = 1.5 and q = -0.5:
// every intermediate value is a binary fraction, so the result is exact.
TEST(InverseMatrix, OneTwoThreeFourIsExact)
{
    WorkMatrix a = {};
    load(a, 1, 2, 3, 4);
    inverse_matrix(a);
    const double expected[2][4] = {{1, 0, -2, 1}, {-0.0, 1, 1.5, -0.5}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(a[i][j], expected[i][j])
                << "J=[[1,2],[3,4]] entry [" << i << "][" << j << "], row " << row(a, i);
    EXPECT_TRUE(std::signbit(a[1][0])) << "row 1 starts with -0 after the swap";
}

// Signed scale (row 0 keeps scale 1), equal magnitudes (no swap), q = 1.
TEST(InverseMatrix, SignedScaleAndEqualMagnitudes)
{
    WorkMatrix a = {};
    load(a, 1, -3, 2, 1);
    inverse_matrix(a);
    const double expected[2][2] = {{1.0 / 7, 3.0 / 7}, {-2.0 / 7, 1.0 / 7}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_NEAR(a[i][2 + j], expected[i][j], 1e-15)
                << "J=[[1,-3],[2,1]] inverse [" << i << "][" << j << "], row " << row(a, i);
}

TEST(InverseMatrix, RightHalfDependsOnlyOnTheLeftHalf)
{
    WorkMatrix first = {};
    load(first, 1, -3, 2, 1);
    inverse_matrix(first);
    WorkMatrix second = {{0, 0, 7, std::nan("")}, {0, 0, -1e300, 3}};
    load(second, 1, -3, 2, 1);
    inverse_matrix(second);
    for (int i = 0; i < 2; ++i)
        for (int j = 2; j < 4; ++j)
            EXPECT_EQ(first[i][j], second[i][j]) << "entry [" << i << "][" << j << "]";
    inverse_matrix(second);  // the same work matrix again, its left half now near the identity
    load(second, 1, -3, 2, 1);
    inverse_matrix(second);
    EXPECT_EQ(row(first, 0), row(second, 0));
    EXPECT_EQ(row(first, 1), row(second, 1));
}

TEST(InverseMatrix, InfiniteEntriesPassThroughAsNonNumbers)
{
    const double inf = std::numeric_limits<double>::infinity();
    WorkMatrix a = {};
    load(a, inf, -2, -3, 4);  // xl = 0: d11 infinite
    inverse_matrix(a);
    for (int i = 0; i < 2; ++i)
        for (int j = 2; j < 4; ++j)
            EXPECT_TRUE(std::isnan(a[i][j])) << "xl=0, entry [" << i << "][" << j << "], row " << row(a, i);

    load(a, 5, -inf, -3, 4);  // xs = 0 with 0 < xl < 1: row 0 non-numbers, row 1 (-0, -0)
    inverse_matrix(a);
    EXPECT_TRUE(std::isnan(a[0][2]) && std::isnan(a[0][3])) << row(a, 0);
    EXPECT_TRUE(a[1][2] == 0.0 && std::signbit(a[1][2])) << row(a, 1);
    EXPECT_TRUE(a[1][3] == 0.0 && std::signbit(a[1][3])) << row(a, 1);
}

// Equal compositions make rows proportional to (1, -1): the message, exactly, on
// standard output, and status 1.
TEST(InverseMatrixDeathTest, SingularJacobianStopsWithTheMessage)
{
    const std::string out = scratch_dir() + "singular_stdout.txt";
    EXPECT_EXIT(
        {
            if (std::freopen(out.c_str(), "w", stdout) == nullptr)
                std::_Exit(99);
            WorkMatrix a = {};
            load(a, 2.0, -2.0, -3.0, 3.0);
            inverse_matrix(a);
            std::_Exit(98);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(out), as_text_mode("\nINVERSE MATRIX NOT EXIST!! TRY AGAIN!!\n"));
}

// J = [[1, -1], [1, -1 + e]] keeps its scale 1 in both rows and leaves the pivot
// -e after elimination, exactly: a pivot of 2^-34 (5.8e-11) stops the run, one of
// 2^-33 (1.2e-10) does not, so the threshold is 1e-10 and the test a strict "less than".
TEST(InverseMatrixDeathTest, PivotBelowOneTenBillionthStops)
{
    WorkMatrix a = {};
    const double above = std::ldexp(1.0, -33);
    load(a, 1.0, -1.0, 1.0, -1.0 + above);
    inverse_matrix(a);
    const double expected[2][2] = {{(-1.0 + above) / above, 1.0 / above}, {-1.0 / above, 1.0 / above}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_NEAR(a[i][2 + j], expected[i][j], 1e-6 * std::fabs(expected[i][j]))
                << "pivot 2^-33: inverse [" << i << "][" << j << "], row " << row(a, i);

    EXPECT_EXIT(
        {
            std::freopen(NULL_DEVICE, "w", stdout);
            WorkMatrix b = {};
            load(b, 1.0, -1.0, 1.0, -1.0 + std::ldexp(1.0, -34));
            inverse_matrix(b);
            std::_Exit(98);
        },
        testing::ExitedWithCode(1), "")
        << "pivot 2^-34";

    // The form that must not exit draws the same line and reports it instead.
    WorkMatrix c = {};
    load(c, 1.0, -1.0, 1.0, -1.0 + above);
    EXPECT_TRUE(invert_matrix(c)) << "pivot 2^-33";
    load(c, 1.0, -1.0, 1.0, -1.0 + std::ldexp(1.0, -34));
    EXPECT_FALSE(invert_matrix(c)) << "pivot 2^-34";
}

}  // namespace
