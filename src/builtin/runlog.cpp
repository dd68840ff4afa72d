#include "builtin/runlog.h"

#include "builtin/textout.h"

#include <cstring>

namespace {

// Byte pairs written as escapes: the log is EUC-KR, whatever the source encoding.
constexpr char EQUALS_PAIR[] = "==";
constexpr char HEAVY_PAIR[] = "\xA6\xAC";
constexpr char LIGHT_PAIR[] = "\xA6\xA1";

template <std::size_t N>
char* put(char* p, const char (&text)[N])
{
    std::memcpy(p, text, N - 1);
    return p + (N - 1);
}

char* put_rule(char* p, const char* pair)
{
    for (int i = 0; i < RULE_BYTES / 2; ++i) {
        *p++ = pair[0];
        *p++ = pair[1];
    }
    return p;
}

void emit(std::FILE* log, const char* begin, const char* end)
{
    std::fwrite(begin, 1, static_cast<std::size_t>(end - begin), log);
}

}  // namespace

void log_attempt(std::FILE* log, int T)
{
    if (log == nullptr)
        return;
    char line[2 * RULE_BYTES + INT_MAX_CHARS + 64];
    char* p = put_rule(line, EQUALS_PAIR);
    p = put(p, "\nAt T=");
    p = put_int(p, T);
    p = put(p, ", Si(L) and Si(S) are randomly initilized.\n");
    p = put_rule(p, EQUALS_PAIR);
    p = put(p, "\n");
    emit(log, line, p);
}

void log_pass(std::FILE* log, int iteration, double xl, double xs, double h, double k)
{
    if (log == nullptr)
        return;
    char line[INT_MAX_CHARS + 4 * FIXED10_MAX + 64];
    char* p = put(line, "Iteration=");
    p = put_int(p, iteration);
    p = put(p, ",\tSi(L)=");
    p = put_fixed10(p, xl);
    p = put(p, "\tSi(S)=");
    p = put_fixed10(p, xs);
    p = put(p, "\th=");
    p = put_fixed10(p, h);
    p = put(p, "\tk=");
    p = put_fixed10(p, k);
    p = put(p, "\n");
    emit(log, line, p);
}

void log_out_of_range(std::FILE* log, double xl, double xs)
{
    if (log == nullptr)
        return;
    char line[2 * FIXED10_MAX + 96];
    char* p = put(line, "\nERROR!! Si(L)=");
    p = put_fixed10(p, xl);
    p = put(p, "\tSi(S)=");
    p = put_fixed10(p, xs);
    p = put(p, "\n0<=Si(L)<=1 and 0<=Si(S)<=1 needed.\n\n");
    emit(log, line, p);
}

void log_converged(std::FILE* log, int T, double xl, double xs)
{
    if (log == nullptr)
        return;
    char line[3 * RULE_BYTES + INT_MAX_CHARS + 2 * FIXED10_MAX + 96];
    char* p = put(line, "\n");
    p = put_rule(p, HEAVY_PAIR);
    p = put(p, "\nTemperature\tComposion of Si(L)\tComposion of Si(S)\n");
    p = put_rule(p, LIGHT_PAIR);
    p = put(p, "\n");
    p = put_int(p, T);
    p = put(p, "\t\t");
    p = put_fixed10(p, xl);
    p = put(p, "\t\t");
    p = put_fixed10(p, xs);
    p = put(p, "\n");
    p = put_rule(p, HEAVY_PAIR);
    p = put(p, "\n\n");
    emit(log, line, p);
}
