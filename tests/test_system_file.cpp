#include "formats/system_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

const std::string A = "[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n";
const std::string B = "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n";

TEST(SystemFile, ReadsEveryKeyAndTheDefaults)
{
    System s;
    InputError error;
    ASSERT_TRUE(parse_system(
        "name = \"\xce\xb1-Fe \xc2\xb0\\u00b5\" # \xce\xb1 \xc2\xb0 beyond ASCII in comments and strings\n"
        "[A]\nname = \"Cu\"\nmelting_point = 1357.77\n"
        "enthalpy_of_fusion = 13263\n"
        "[B]\nentropy_of_fusion = 10.115740740740740\nenthalpy_of_fusion = 17480\n"
        "[liquid]\nexcess = [[-5000, 1.2], 800]\n",
        "cu-ni.toml", s, error))
        << error.text();
    EXPECT_EQ(s.name, "\xce\xb1-Fe \xc2\xb0\xc2\xb5") << "Greek, Latin-1 and an escape read back as written";
    EXPECT_EQ(s.a.name, "Cu");
    EXPECT_EQ(s.b.name, "B");
    EXPECT_DOUBLE_EQ(s.a.melting_point(), 1357.77);
    EXPECT_NEAR(s.b.melting_point(), 1728.0, 1e-9);
    ASSERT_EQ(s.phases.size(), 2u);
    const std::vector<Coefficient>& liquid = std::get<SolutionKind>(s.phases[0].kind).excess;
    ASSERT_EQ(liquid.size(), 2u);
    EXPECT_EQ(liquid[0].a, -5000.0);
    EXPECT_EQ(liquid[0].b, 1.2);
    EXPECT_EQ(liquid[1].a, 800.0) << "a bare number is [a, 0]";
    EXPECT_EQ(liquid[1].b, 0.0);
    EXPECT_TRUE(std::get<SolutionKind>(s.phases[1].kind).excess.empty()) << "no [solid]: ideal";
    // Half the lower melting point to the higher one plus 10 %, step 1.
    EXPECT_DOUBLE_EQ(s.range.first, 678.885);
    EXPECT_DOUBLE_EQ(s.range.step, 1.0);
    EXPECT_EQ(s.range.count, static_cast<long>(std::floor(1.1 * 1728.0 - 678.885 + 1e-9)) + 1);

    ASSERT_TRUE(parse_system(A + B + "[temperature]\nfirst = 1\nlast = 2\nstep = 0.1\n", "t.toml", s, error));
    EXPECT_EQ(s.range.count, 11) << "last is on the grid within 1e-9 of a step";
    EXPECT_EQ(s.range.at(10), 1.0 + 10 * 0.1) << "not accumulated";
}

// Each bad file: one message naming the file, the place where known, the key and
// what is wrong.
TEST(SystemFile, BadFilesAreNamedWithLineAndKey)
{
    struct Case {
        std::string what;
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"syntax error", A + "[B\n", "bad.toml:4:"},
        {"unknown key", "[A]\nmelting_pont = 1000\nenthalpy_of_fusion = 1\n" + B,
         "bad.toml:2:1: A.melting_pont: unknown key"},
        {"unknown table", A + B + "[gas]\n", "gas: unknown key"},
        {"missing component", A, "B: missing table"},
        {"missing enthalpy", "[A]\nmelting_point = 1000\n" + B, "A.enthalpy_of_fusion: missing"},
        {"neither melting point nor entropy", "[A]\nenthalpy_of_fusion = 1000\n" + B,
         "A.melting_point: missing: give melting_point or entropy_of_fusion"},
        {"both melting point and entropy",
         "[A]\nenthalpy_of_fusion = 1000\nmelting_point = 10\nentropy_of_fusion = 1\n" + B, "not both"},
        {"wrong type", "[A]\nmelting_point = \"1000\"\nenthalpy_of_fusion = 1\n" + B,
         "bad.toml:2:17: A.melting_point: must be a number"},
        {"not finite", "[A]\nmelting_point = inf\nenthalpy_of_fusion = 1\n" + B,
         "A.melting_point: must be finite"},
        {"not a number", "[A]\nmelting_point = nan\nenthalpy_of_fusion = 1\n" + B,
         "A.melting_point: must be finite"},
        {"zero enthalpy", "[A]\nmelting_point = 1000\nenthalpy_of_fusion = 0\n" + B,
         "A.enthalpy_of_fusion: must be positive"},
        {"negative entropy", "[A]\nentropy_of_fusion = -1\nenthalpy_of_fusion = 10\n" + B,
         "A.entropy_of_fusion: must be positive"},
        {"enthalpy too large", "[A]\nmelting_point = 1000\nenthalpy_of_fusion = 2e7\n" + B, "at most 1e+07"},
        {"excess entry a string", A + B + "[solid]\nexcess = [\"x\"]\n", "bad.toml:8:11: solid.excess[0]"},
        {"excess entry a triple", A + B + "[solid]\nexcess = [[1, 2, 3]]\n",
         "solid.excess[0]: must be a number or a pair"},
        {"excess not an array", A + B + "[liquid]\nexcess = 5\n", "liquid.excess: must be an array"},
        {"too many terms", A + B + "[liquid]\nexcess = [1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1]\n",
         "at most 16 terms"},
        {"excess a too large", A + B + "[liquid]\nexcess = [2e7]\n", "|a| must be at most 1e7"},
        {"excess b too large", A + B + "[liquid]\nexcess = [[0, 2e4]]\n", "|b| must be at most 1e4"},
        {"first above last", A + B + "[temperature]\nfirst = 900\nlast = 800\n",
         "temperature.first: must not exceed temperature.last"},
        {"zero step", A + B + "[temperature]\nstep = 0\n", "temperature.step: must be positive"},
        {"negative temperature", A + B + "[temperature]\nfirst = -5\n",
         "temperature.first: must be positive"},
        {"temperature too high", A + B + "[temperature]\nlast = 100001\n", "at most 100000"},
        // toml++ 3.3 reaches undefined behaviour on some of these: refused before it looks.
        {"character beyond ASCII outside strings", A + B + "\xce\xb1 = 1\n",
         "bad.toml:7:1: this character beyond ASCII"},
        {"in a single-quoted string", A + B + "name = '\xce\xb1'\n",
         "bad.toml:7:9: this character beyond ASCII"},
        {"quote inside a number", A + B + "[liquid]\nexcess = [6'\xce\xb2]\n",
         "bad.toml:8:13: this character beyond ASCII"},
        {"too many temperatures", A + B + "[temperature]\nfirst = 1\nlast = 2000\nstep = 0.001\n",
         "more than 1000000 temperatures"},
    };
    for (const Case& c : cases) {
        System s;
        InputError error;
        EXPECT_FALSE(parse_system(c.text, "bad.toml", s, error)) << c.what;
        EXPECT_EQ(error.text().rfind("bad.toml", 0), 0u) << c.what << ": " << error.text();
        EXPECT_NE(error.text().find(c.message), std::string::npos) << c.what << ": " << error.text();
        EXPECT_EQ(error.text().find('\n'), std::string::npos) << c.what << ": one line";
    }
    InputError error;
    System s;
    EXPECT_FALSE(read_system_file("no/such/file.toml", s, error));
    EXPECT_EQ(error.text().rfind("no/such/file.toml: ", 0), 0u) << error.text();
}

}  // namespace
