// The run log "result.txt": one record for each event of the search, byte for byte
// in the layout that stored logs and the tools reading them rely on.
//
// Every writer formats its record and hands it to the stream in one write, through
// the stream's ordinary buffering. A null stream records nothing, so the search runs
// the same with the log switched off.
#pragma once

#include <cstdio>

// Rules: 96 "=" in the banner; in the result block 48 EUC-KR box-drawing characters,
// raw byte pairs A6 AC (heavy) and A6 A1 (light). Each rule is 96 bytes.
constexpr int RULE_BYTES = 96;

// An attempt starts at T: "=" rule, "At T=..., Si(L) and Si(S) are randomly initilized.", "=" rule.
void log_attempt(std::FILE* log, int T);

// A Newton pass: the point (xl, xs) and the corrections (h, k) computed there.
void log_pass(std::FILE* log, int iteration, double xl, double xs, double h, double k);

// The iterate (xl, xs) left [0, 1]; the attempt is given up.
void log_out_of_range(std::FILE* log, double xl, double xs);

// The search at T converged to (xl, xs): the framed result block.
void log_converged(std::FILE* log, int T, double xl, double xs);
