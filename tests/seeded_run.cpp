// The program's run with a seed given on the command line, for comparing builds:
// the same seed writes the same "result.txt" and "result02.txt" on every platform,
// apart from the text-mode line ends.
#include "sweep.h"
#include "textout.h"

#include <cstdint>
#include <cstdlib>
#include <random>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    std::mt19937 gen(static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)));
    std::uniform_int_distribution<int> uniform(0, DRAW_MAX);
    auto draw = [&] { return uniform(gen); };
    std::FILE* log = open_output("result.txt");
    std::FILE* table = open_output("result02.txt");
    if (log == nullptr || table == nullptr)
        return 2;
    WorkMatrix jac = {};
    sweep(jac, draw, log, table);
    const bool log_ok = close_output(log, "result.txt");
    const bool table_ok = close_output(table, "result02.txt");
    return log_ok && table_ok ? 0 : 2;
}
