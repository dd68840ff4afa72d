#include "builtin/runlog.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(RunLog, AttemptBanner)
{
    EXPECT_EQ(capture([](std::FILE* f) { log_attempt(f, 1215); }),
              EQUALS_RULE + "\nAt T=1215, Si(L) and Si(S) are randomly initilized.\n" + EQUALS_RULE + "\n");
}

TEST(RunLog, IterationLine)
{
    EXPECT_EQ(capture([](std::FILE* f) { log_pass(f, 7, 0.3630322604, 0.6516578088, -1.25e-11, 3.5e-4); }),
              "Iteration=7,\tSi(L)=0.3630322604\tSi(S)=0.6516578088\th=-0.0000000000\tk=0.0003500000\n");
    EXPECT_EQ(capture([](std::FILE* f) { log_pass(f, 1, 0.0, 0.5, std::nan(""), -std::nan("")); }),
              "Iteration=1,\tSi(L)=0.0000000000\tSi(S)=0.5000000000\th=nan\tk=-nan\n");
}

TEST(RunLog, OutOfRangeRecordFramedByEmptyLines)
{
    EXPECT_EQ(capture([](std::FILE* f) { log_out_of_range(f, -0.0421, 1.5); }),
              "\nERROR!! Si(L)=-0.0421000000\tSi(S)=1.5000000000\n"
              "0<=Si(L)<=1 and 0<=Si(S)<=1 needed.\n\n");
    EXPECT_EQ(capture([](std::FILE* f) { log_out_of_range(f, -std::nan(""), HUGE_VAL); }),
              "\nERROR!! Si(L)=-nan\tSi(S)=inf\n0<=Si(L)<=1 and 0<=Si(S)<=1 needed.\n\n");
}

TEST(RunLog, ResultBlockWithEucKrRules)
{
    const std::string block =
        capture([](std::FILE* f) { log_converged(f, 1687, 0.9999986614, 0.999999524); });
    EXPECT_EQ(block, "\n" + HEAVY_RULE + "\nTemperature\tComposion of Si(L)\tComposion of Si(S)\n" +
                         LIGHT_RULE + "\n1687\t\t0.9999986614\t\t0.9999995240\n" + HEAVY_RULE + "\n\n");
    EXPECT_EQ(HEAVY_RULE.size(), 96u);
    EXPECT_EQ(static_cast<unsigned char>(block[1]), 0xA6u);
    EXPECT_EQ(static_cast<unsigned char>(block[2]), 0xACu);
}

}  // namespace
