// The database reader: every public database read as it is; the dialects real
// files are written in, each a few lines and the value it must give; the
// faults of files that the field's readers pass over, each with its warning
// and whether it weighs on a binary; and every kind of bad or hostile file
// named with its line and column.
#include "engine/database/compound_energy.h"
#include "engine/database/database_system.h"
#include "engine/phases/magnetic.h"
#include "formats/tdb_file.h"
#include "public_databases.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Two elements and a liquid of them: what most cases below add to.
const std::string ELEMENTS = "ELEMENT A X 1 0 0 !\nELEMENT B X 2 0 0 !\n";
const std::string LIQUID = ELEMENTS + "PHASE LIQUID:L % 1 1.0 !\nCONSTITUENT LIQUID:L :A,B: !\n";

Database parsed(const std::string& text)
{
    Database db;
    InputError error;
    EXPECT_TRUE(parse_tdb(text, "test.tdb", db, error)) << error.text() << "\n" << text;
    return db;
}

const Piecewise* function_named(const Database& db, const std::string& name)
{
    for (std::size_t f = 0; f < db.functions.names.size(); ++f)
        if (db.functions.names[f] == name)
            return &db.functions.bodies[f];
    return nullptr;
}

double value_of(const Database& db, const std::string& name, double T, bool& extrapolated)
{
    const Piecewise* f = function_named(db, name);
    if (f == nullptr) {
        ADD_FAILURE() << "no function " << name;
        return 0.0;
    }
    return evaluate(*f, db.functions, T, extrapolated);
}

std::vector<std::string> names_of(const std::vector<LeftOut>& left_out)
{
    std::vector<std::string> out;
    for (const LeftOut& l : left_out)
        out.push_back(l.phase);
    return out;
}

// The public databases beside the project, as published: each reads, with
// its phases and parameters, and each binary names the phases it leaves out.
// Where they are absent the test says so and is skipped.
TEST(TdbFile, ReadsEveryPublicDatabase)
{
    SKIP_WITHOUT_PUBLIC_DATABASES("pb-sn.tdb");
    struct Case {
        const char* file;
        std::size_t elements, phases, parameters, faults;
        const char* a;
        const char* b;
        std::vector<std::string> left_out;
    };
    const Case cases[] = {
        {"ag-cu.tdb", 2, 4, 15, 0, "AG", "CU", {}},    {"al-zn.tdb", 2, 3, 12, 0, "AL", "ZN", {}},
        {"cu-mg.tdb", 2, 5, 15, 0, "CU", "MG", {}},    {"cu-ni.tdb", 2, 2, 14, 0, "CU", "NI", {}},
        {"pb-sn.tdb", 2, 3, 10, 0, "PB", "SN", {}},    {"cost507.tdb", 20, 191, 1192, 0, "AL", "CU", {}},
        {"al-ni.tdb", 2, 8, 54, 0, "AL", "NI", {}},    {"al-fe-2009.tdb", 2, 15, 213, 0, "AL", "FE", {}},
        {"steel1.tdb", 6, 40, 356, 0, "CR", "FE", {}}, {"mo-re.tdb", 2, 7, 59, 0, "MO", "RE", {}},
        {"fe-mn-c.tdb", 3, 12, 92, 5, "FE", "C", {}},  {"solder.tdb", 6, 15, 83, 47, "SN", "PB", {}},
    };
    for (const Case& c : cases) {
        Database db;
        InputError error;
        ASSERT_TRUE(read_tdb_file((SHARED / c.file).string(), db, error)) << error.text();
        EXPECT_EQ(db.elements.size(), c.elements) << c.file;
        EXPECT_EQ(db.phases.size(), c.phases) << c.file;
        EXPECT_EQ(db.parameters.size(), c.parameters) << c.file;
        EXPECT_EQ(db.faults.size(), c.faults) << c.file;
        DatabaseBinary binary;
        std::string why;
        ASSERT_TRUE(binary_phases(db, c.a, c.b, {}, binary, why)) << c.file << ": " << why;
        EXPECT_EQ(names_of(binary.left_out), c.left_out) << c.file;
    }
    Database db;
    InputError error;
    ASSERT_TRUE(read_tdb_file((SHARED / "cu-mg.tdb").string(), db, error)) << error.text();
    const DatabasePhase& laves = db.phases[3];
    EXPECT_EQ(laves.name, "CU2MG");
    EXPECT_EQ(laves.sites, (std::vector<double>{2.0, 1.0}));
    EXPECT_EQ(laves.constituents, (std::vector<std::vector<std::string>>{{"CU", "MG"}, {"CU", "MG"}}));
    EXPECT_TRUE(db.phases[1].magnetic) << "FCC_A1 takes the magnetic type of its TYPE_DEFINITION";
    EXPECT_EQ(db.phases[1].antiferromagnetic_factor, -3.0);
    EXPECT_EQ(db.phases[1].structure_factor, 0.28);
    EXPECT_TRUE(db.phases[0].liquid);
    EXPECT_EQ(db.elements[0].mass, 63.546) << db.elements[0].name;
    bool extrapolated = false;
    // GHSERCU's first piece, 298.15 K to 1358.02 K, written out.
    const double T = 700.0;
    const double ghser = -7770.458 + 130.485403 * T - 24.112392 * T * std::log(T) - .00265684 * T * T +
                         1.29223E-07 * T * T * T + 52478 / T;
    EXPECT_NEAR(value_of(db, "GHSERCU", T, extrapolated), ghser, 1e-9 * std::fabs(ghser));
    EXPECT_FALSE(extrapolated);
}

// Pieces, calls of functions defined later, powers written every way, ln, exp,
// R as the gas constant, and the nearest piece outside the limits.
TEST(TdbFile, FunctionsAgainstTheirFormulas)
{
    const Database db =
        parsed(ELEMENTS + "$ a comment\n"
                          "FUNCT F1 100 +2*F2#+T**2-3*T**(-1)+4*T**(3); 500 Y\n"
                          "  -10+LN(T)*EXP(T/1000)-R#*T; 1000 N REF0 ! $ right after the end\n"
                          "function f2 100 7.5E-1*T; 2000 n !\n"
                          "TYPE_DEF % SEQ *!\n"
                          "PHASE LIQUID:L % 1 1.0 !\n"
                          "CONSTITUENT LIQUID:L :A,B: !\n"
                          "PARAM G(LIQUID,A;0) 298.15 +F1#; 6000 N !\n");
    bool extrapolated = false;
    for (const double T : {150.0, 499.0}) {
        const double expected = 2 * 0.75 * T + T * T - 3 / T + 4 * T * T * T;
        EXPECT_NEAR(value_of(db, "F1", T, extrapolated), expected, 1e-12 * std::fabs(expected)) << "T=" << T;
    }
    const double T = 700.0;
    const double expected = -10 + std::log(T) * std::exp(T / 1000) - 8.31451 * T;
    EXPECT_NEAR(value_of(db, "F1", T, extrapolated), expected, 1e-12 * std::fabs(expected));
    EXPECT_FALSE(extrapolated);
    EXPECT_NEAR(value_of(db, "F1", 1500.0, extrapolated),
                -10 + std::log(1500.0) * std::exp(1.5) - 8.31451 * 1500.0, 1e-9);
    EXPECT_TRUE(extrapolated) << "above 1000 K F1 is its last piece, extrapolated";
    // From a limit on, the piece above it holds: at 500 K exactly, the second.
    EXPECT_EQ(value_of(db, "F1", 500.0, extrapolated),
              -10 + std::log(500.0) * std::exp(0.5) - 8.31451 * 500.0);
    ASSERT_EQ(db.parameters.size(), 1u);
    EXPECT_EQ(db.parameters[0].constituents, (std::vector<std::vector<std::string>>{{"A"}}));
}

// The dialects of the format, each as a few lines of a file and the value a
// function F, or the one parameter, must take there, from its own formula.
TEST(TdbFile, DialectsGiveTheirValues)
{
    const double R = 8.31451;
    const double T = 400.0;
    struct Case {
        const char* what;
        std::string text;  // after the elements and liquid
        double expected;   // F, or else the parameter, at T
        double low, high;  // its limits where checked (0: not)
    };
    const Case cases[] = {
        {"keywords shortened in each part", "TEMP-LIM 100 3000 !\nFUN F ,, 5*T; ,, N !\n", 5 * T, 100, 3000},
        {"an empty lower limit is 298.15 K", "FUNCTION F ,, 5*T; 6000 N !\n", 5 * T, 298.15, 6000},
        {"an empty upper limit", "FUNCTION F 298.15 5*T;,,N REF: 91Din !\n", 5 * T, 298.15, 6000},
        {"an upper limit left out before N", "FUNCTION F 298.15 5*T; N !\n", 5 * T, 298.15, 6000},
        {"a last limit with no N", "FUN F 298.15 0.0; 6000.00 15LIU !\n", 0.0, 298.15, 6000},
        {"a lower limit glued to its expression", "FUNCTION F 100.00-7258.5+2*T; 3000 N !\n", -7258.5 + 2 * T,
         100, 3000},
        {"a glued limit in exponent form", "FUNCTION F 2.98150E+02-1+T; 6.00000E+03 N !\n", -1 + T, 298.15,
         6000},
        {"Fortran exponents", "FUNCTION F 298.15 1.0D-5*T+2.5d3; 6000 N !\n", 1.0e-5 * T + 2.5e3, 0, 0},
        {"the pressure P, 101325 Pa", "FUNCTION F 10 R*T*LN(1.0D-5*P); 20000 N !\n",
         R * T * std::log(1.0e-5 * 101325.0), 10, 20000},
        {"GEIN, the Einstein function", "FUNCTION F 298.15 GEIN(250); 6000 N !\n",
         1.5 * R * 250 + 3 * R * T * std::log(1 - std::exp(-250 / T)), 0, 0},
        {"a sum of constants, read as one", "FUNCTION F 298.15 1.5+2.25-0.125*2+T; 6000 N !\n",
         1.5 + 2.25 - 0.125 * 2 + T, 0, 0},
        {"a Y glued to the next piece", "FUNCTION F 298.15 T; 300 Y+2*T; 6000 N !\n", 2 * T, 298.15, 6000},
        {"a parameter with no order, blanks inside", "PAR  G( LIQUID , A ),, +1000+T;,, N 10Hal !\n",
         1000 + T, 298.15, 6000},
    };
    for (const Case& c : cases) {
        const Database db = parsed(LIQUID + c.text);
        const Piecewise* f = function_named(db, "F");
        if (f == nullptr) {
            ASSERT_EQ(db.parameters.size(), 1u) << c.what;
            f = &db.parameters[0].value;
            EXPECT_EQ(db.parameters[0].order, 0) << c.what;
        }
        bool extrapolated = false;
        EXPECT_NEAR(evaluate(*f, db.functions, T, extrapolated), c.expected,
                    1e-12 * std::fabs(c.expected) + 1e-12)
            << c.what;
        if (c.low > 0) {
            EXPECT_EQ(f->limits.front(), c.low) << c.what;
            EXPECT_EQ(f->limits.back(), c.high) << c.what;
        }
    }
    // P as the caller sets it.
    Database db = parsed(LIQUID + "FUNCTION F 10 R*T*LN(1.0D-5*P); 20000 N !\n");
    db.functions.pressure = 1e7;
    bool extrapolated = false;
    EXPECT_NEAR(value_of(db, "F", T, extrapolated), R * T * std::log(100.0), 1e-9);
}

// Constituents, properties and phases as the dialects write them.
TEST(TdbFile, DialectsOfPhasesAndParameters)
{
    const Database db = parsed(ELEMENTS + "PHASE LIQUID_RENB % 1 1 !\nCONST LIQUID_RENB : A B : !\n"
                                          "PHASE MELT:L % 1 1 !\nCONST MELT:L :A,B: !\n"
                                          "PHASE IONIC:Y % 2 1 1 !\nCONST IONIC:Y :A: B: !\n"
                                          "PHASE FCC %A 2 1 1 !\nCONSTITUENT FCC : A%,B : VA% : !\n"
                                          "PARAMETER G(FCC,A B:VA;1) 298.15 10; 6000 N !\n"
                                          "PARAMETER BM(FCC,A:VA;0) 298.15 2.2; 6000 N !\n"
                                          "PARAMETER BMAG(FCC,B:VA;0) 298.15 0.6; 6000 N !\n"
                                          "PARAMETER TC(FCC,A:VA;0) 298.15 1043; 6000 N !\n"
                                          "PARAMETER THETA(FCC,A:VA;0) 298.15 LN(300); 6000 N !\n"
                                          "PARAMETER MQ&A(FCC,A:VA;0) 298.15 -2E5+NOT_DEFINED; 6000 N !\n"
                                          "PARAMETER MQ(FCC&B,B:VA;0) 298.15 -2E5; 6000 N !\n"
                                          "PARAMETER V0(FCC,A:VA;0) 298.15 1E-5; 6000 N !\n");
    EXPECT_TRUE(db.phases[0].liquid) << "a name that starts with LIQUID";
    EXPECT_TRUE(db.phases[1].liquid) << "type L";
    EXPECT_EQ(db.phases[2].kind, 'Y');
    EXPECT_EQ(db.phases[0].constituents, (std::vector<std::vector<std::string>>{{"A", "B"}}));
    EXPECT_EQ(db.phases[3].constituents, (std::vector<std::vector<std::string>>{{"A", "B"}, {"VA"}}));
    ASSERT_EQ(db.parameters.size(), 5u) << "the mobilities and the volume read and set aside";
    EXPECT_EQ(db.parameters[0].constituents, (std::vector<std::vector<std::string>>{{"A", "B"}, {"VA"}}));
    EXPECT_EQ(db.parameters[0].order, 1);
    EXPECT_EQ(db.parameters[1].property, Property::bohr_magneton_number);
    EXPECT_EQ(db.parameters[2].property, Property::bohr_magneton_number);
    EXPECT_EQ(db.parameters[3].property, Property::curie_temperature);
    EXPECT_EQ(db.parameters[4].property, Property::unmodelled);
    EXPECT_EQ(db.parameters[4].property_name, "THETA");
    EXPECT_EQ(db.ignored, (std::vector<std::string>{"2 MQ parameters", "1 V0 parameter"}));
    EXPECT_TRUE(db.faults.empty());
}

// The commands whose meaning changes the phases: type definitions for every
// phase of a type, disordered parts, phases the file rejects and restores.
TEST(TdbFile, CommandsWithMeaning)
{
    const Database db = parsed(
        ELEMENTS + "DEFAULT-COM REJECT_PHASE B2 SIG DIS !\nDEFAULT_COMMAND RESTORE_PHASE DIS !\n"
                   "DEFAULT_COMMAND DEF_SYS_ELEMENT VA !\n"
                   "TYPE-DEF F GES A_P_D @ MAGNETIC -3.0 0.28 !\n"
                   "TYPE_DEFINITION ' GES A_P_D B2 DIS_PART A2 ,,,!\n"
                   "TYPE_DEFINITION X GES AMEND_PHASE_DESCRIPTION SIG NEVER DIS !\n"
                   "TYPE_DEFINITION Q IF (A) THEN GES A_P_D A2 MAGNETIC -1 0.4 !\n"
                   "TYPE_DEFINITION G GES A_P_D A2 GLASS_TRANSITION 1 !\n"
                   "TYPE_DEFINITION C GES A_P_D A2 C_S,, B:VA !\n"
                   "PHASE FCC %F 1 1 !\nPHASE HCP %F 1 1 !\nPHASE A2 %QGC 1 1 !\nPHASE B2:B %F' 2 0.5 0.5 !\n"
                   "PHASE SIG %X 1 1 !\nPHASE DIS % 1 1 !\n");
    for (std::size_t p : {0u, 1u, 3u}) {
        EXPECT_TRUE(db.phases[p].magnetic) << db.phases[p].name << " lists the type F of '@'";
        EXPECT_EQ(db.phases[p].antiferromagnetic_factor, -3.0);
    }
    EXPECT_FALSE(db.phases[2].magnetic) << "an IF ... THEN type definition is not applied";
    EXPECT_EQ(db.phases[2].unmodelled.size(), 1u) << "the glass transition changes G, and is not modelled";
    EXPECT_EQ(db.phases[3].disordered_part, "A2");
    EXPECT_FALSE(db.phases[3].never_disorders);
    EXPECT_EQ(db.phases[3].kind, 'B');
    EXPECT_EQ(db.phases[4].disordered_part, "DIS");
    EXPECT_TRUE(db.phases[4].never_disorders);
    EXPECT_EQ(db.phases[5].part_of, "SIG");
    EXPECT_EQ(db.rejected, (std::vector<std::string>{"B2", "SIG"}));
    ASSERT_EQ(db.ignored.size(), 2u);
    EXPECT_NE(db.ignored[0].find("IF"), std::string::npos) << db.ignored[0];
    EXPECT_NE(db.ignored[1].find("C_S"), std::string::npos) << db.ignored[1];
}

// Faults of files that the field's readers pass over: read past, the item set
// aside (the first of a repeated pair kept), one warning naming the line, which
// weighs on a binary only where it touches a phase or function it keeps.
TEST(TdbFile, FaultsReadPastWithAWarning)
{
    const std::string solid = "PHASE SOLID % 1 1 !\nCONSTITUENT SOLID :A,B: !\n";
    struct Case {
        const char* what;
        std::string text;  // after the elements, the liquid and the solid
        const char* warning;
        bool weighs;
        std::size_t parameters;  // kept
    };
    const Case cases[] = {
        {"a parameter given twice",
         "PARAMETER G(LIQUID,A,B;1) 298.15 -100; 6000 N !\nPARAMETER L(LIQUID,B,A;1) 298.15 -100; 6000 N !\n",
         "test.tdb:8: PARAMETER L(LIQUID,B,A;1) given again (first at line 7); the first is kept", true, 1},
        {"a function given twice, called by a kept phase",
         "FUNCTION F 298.15 1; 6000 N !\nFUNCTION F 298.15 2; 6000 N !\nPARAMETER G(SOLID,A;0) 298.15 F; "
         "6000 N !\n",
         "test.tdb:8: FUNCTION F given again (first at line 7); the first is kept", true, 1},
        {"a function given twice, called by nothing",
         "FUNCTION F 298.15 1; 6000 N !\nFUNCTION F 298.15 2; 6000 N !\n",
         "test.tdb:8: FUNCTION F given again (first at line 7); the first is kept", false, 0},
        {"a parameter of a phase not declared",
         "PARAMETER G(GONE,A;0) 298.15 -100+UNDEFINED_HERE; 6000 N !\n",
         "test.tdb:7: PARAMETER G(GONE,A;0) is of phase GONE, which no PHASE declares; ignored", false, 0},
        {"a parameter of a constituent its phase does not list",
         "PHASE PURE % 1 1 !\nCONSTITUENT PURE :A: !\nPARAMETER G(PURE,B;0) 298.15 -100; 6000 N !\n",
         "test.tdb:9: PARAMETER G(PURE,B;0) names B, not a constituent of PURE's sublattice 1; ignored", true,
         0},
        {"a parameter of a species not declared", "PARAMETER G(SOLID,Q;0) 298.15 -100; 6000 N !\n",
         "test.tdb:7: PARAMETER G(SOLID,Q;0) names Q, which no ELEMENT or SPECIES declares; ignored", true,
         0},
        {"a constituent not declared", "PHASE BCC % 1 1 !\nCONSTITUENT BCC :A,QQ: !\n",
         "test.tdb:7: phase BCC lists QQ, which no ELEMENT or SPECIES declares; ignored", true, 0},
        {"a constituent line of a phase not declared", "CONSTITUENT GONE :A: !\n",
         "test.tdb:7: CONSTITUENT of phase GONE, which no PHASE declares; ignored", false, 0},
        {"a stray character after a '!'", "FUNCTION F 298.15 1; 6000 N !\"\nFUNCTION G 298.15 2; 6000 N !\n",
         "test.tdb:7: '\"' between two commands; ignored", false, 0},
    };
    for (const Case& c : cases) {
        const Database db = parsed(LIQUID + solid + c.text);
        ASSERT_EQ(db.faults.size(), 1u) << c.what;
        EXPECT_EQ(db.faults[0].text, c.warning) << c.what;
        EXPECT_EQ(db.parameters.size(), c.parameters) << c.what;
        DatabaseBinary binary;
        std::string why;
        ASSERT_TRUE(binary_phases(db, "A", "B", {}, binary, why)) << c.what << ": " << why;
        ASSERT_EQ(binary.warnings.size(), 1u) << c.what;
        EXPECT_EQ(binary.warnings[0].touches_kept, c.weighs) << c.what;
    }
    // The first of a repeated pair is kept, not added to the second.
    const Database db = parsed(LIQUID + "FUNCTION F 298.15 1; 6000 N !\nFUNCTION F 298.15 2; 6000 N !\n");
    bool extrapolated = false;
    EXPECT_EQ(value_of(db, "F", 500.0, extrapolated), 1.0);
}

TEST(TdbFile, BadFilesAreNamedWithLineAndColumn)
{
    const std::string phase = "PHASE LIQUID:L % 1 1.0 !\nCONSTITUENT LIQUID:L :A,B: !\n";
    struct Case {
        std::string text;
        std::string message;
    };
    std::string deep_functions;
    for (int i = 0; i <= 101; ++i)
        deep_functions += "FUNCTION F" + std::to_string(i) + " 1 F" + std::to_string(i + 1) + "+1; 2 N !\n";
    deep_functions += "FUNCTION F102 1 1; 2 N !\n";
    const std::vector<Case> cases = {
        {"", "test.tdb:1:1: the file declares no phase"},
        {"PARAMETR G(LIQUID,A;0) 1 0; 2 N !", "test.tdb:1:1: unknown command 'PARAMETR'"},
        {"DEF X !", "test.tdb:1:1: 'DEF' could be more than one command"},
        {ELEMENTS + phase + "PARAMETER G(LIQUID,A;0) 1 +NOPE#; 2 N !",
         "test.tdb:5:28: function NOPE is called but not defined"},
        {phase + "FUNCTION F 1 +G#; 2 N !\nFUNCTION G 1 +F#; 2 N !",
         "calls itself through the functions it calls"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 3*(T+; 2 N !", "an expression ends too early"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 1E999; 2 N !",
         "test.tdb:3:27: '1E999' is not a number a double holds"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0; 1 N !",
         "test.tdb:3:30: the temperature limit 1 is not above the one before it"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0; x N !", "'x' is not a number a double holds"},
        {phase + "PARAMETER G(LIQUID,A;-1) 1 0; 2 N !",
         "the order of a parameter must be a whole number from 0"},
        {phase + "PARAMETER G(LIQUID,A:B;0) 1 0; 2 N !",
         "a parameter of LIQUID names 2 sublattices, the phase has 1"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0 2 N !", "an expression with no ';' after it"},
        {"PHASE S % 2 1 !", "test.tdb:1:13: PHASE S misses the site number of sublattice 2"},
        {"PHASE S % 2 1 1 !\nCONSTITUENT S :A: !",
         "test.tdb:2:15: CONSTITUENT S gives 1 sublattices, its PHASE 2"},
        {phase + "FUNCTION F 1 0; 2 N", "test.tdb:3:1: a command with no closing '!'"},
        {phase + "FUNCTION F 1 0; 2 N REF1 T+1; 3 N !",
         "test.tdb:3:26: after the last temperature limit come at most N and a reference, not 'T+1;'"},
        {phase + "FUNCTION F 1 LOG10(T); 2 N !", "'LOG10' is no function of the format"},
        {phase + "FUNCTION F 1 " + std::string(101, '(') + "1" + std::string(101, ')') + "; 2 N !",
         "test.tdb:3:114: an expression nested deeper than 100 levels"},
        {phase + deep_functions, "test.tdb:3:1: FUNCTION F0 calls functions nested deeper than 100"},
        {phase + "TEMPERATURE_LIMITS 300 !", "TEMPERATURE_LIMITS gives no limits"},
        {phase + "TYPE_DEFINITION & GES A_P_D LIQUID MAGNETIC -1 !",
         "MAGNETIC needs the antiferromagnetic factor"},
    };
    for (const Case& c : cases) {
        Database db;
        InputError error;
        EXPECT_FALSE(parse_tdb(c.text, "test.tdb", db, error)) << c.text;
        EXPECT_NE(error.text().find(c.message), std::string::npos) << c.text << "\n  gave: " << error.text();
    }
}

// What an attacker would write: chains and nestings far deeper than any real
// file, read without following them down the stack, refused by name.
TEST(TdbFile, HostileFilesAreRefusedNotFollowed)
{
    std::string chain = LIQUID;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
        chain += "FUNCTION F" + std::to_string(i) + " 1 F" + std::to_string(i + 1) + "+1; 2 N !\n";
    chain += "FUNCTION F" + std::to_string(n) + " 1 1; 2 N !\n";
    Database db;
    InputError error;
    EXPECT_FALSE(parse_tdb(chain, "test.tdb", db, error));
    EXPECT_NE(error.text().find("test.tdb:5:1: FUNCTION F0 calls functions nested deeper than 100"),
              std::string::npos)
        << error.text();
    for (const char c : {'(', '-'}) {
        const std::string deep = LIQUID + "FUNCTION F 1 " + std::string(100000, c) + "1" +
                                 std::string(c == '(' ? 100000 : 0, ')') + "; 2 N !\n";
        EXPECT_FALSE(parse_tdb(deep, "test.tdb", db, error));
        EXPECT_NE(error.text().find("an expression nested deeper than 100 levels"), std::string::npos)
            << error.text();
    }
}

}  // namespace

namespace {

// The magnetic function is built to be continuous with its slope where the
// two branches meet, at tau = 1, and to vanish far above TC.
TEST(Magnetic, BranchesMeetSmoothlyAtTheCurieTemperature)
{
    for (const double p : {0.28, 0.40}) {
        const double h = 1e-7;
        EXPECT_NEAR(magnetic_g(1.0 - h, p), magnetic_g(1.0 + h, p), 1e-6) << "p=" << p;
        const double below = (magnetic_g(1.0, p) - magnetic_g(1.0 - 1e-4, p)) / 1e-4;
        const double above = (magnetic_g(1.0 + 1e-4, p) - magnetic_g(1.0 + 1e-12, p)) / 1e-4;
        EXPECT_NEAR(below, above, 1e-3) << "p=" << p << ": the slope";
        EXPECT_LT(std::fabs(magnetic_g(100.0, p)), 1e-10) << "p=" << p;
    }
    const double R = 8.31451;
    EXPECT_EQ(magnetic_gibbs(500.0, 0.0, 0.6, -3.0, 0.28, R), 0.0);
    EXPECT_EQ(magnetic_gibbs(500.0, 600.0, 0.0, -3.0, 0.28, R), 0.0);
    EXPECT_EQ(magnetic_gibbs(500.0, -300.0, -1.8, -3.0, 0.28, R),
              magnetic_gibbs(500.0, 100.0, 0.6, -3.0, 0.28, R))
        << "antiferromagnetic values are divided by the factor";
    EXPECT_NEAR(magnetic_gibbs(500.0, 600.0, 0.6, -3.0, 0.28, R),
                R * 500.0 * std::log(1.6) * magnetic_g(500.0 / 600.0, 0.28), 1e-12);
}

// The compound energy formalism against Gibbs energies worked by hand: a
// substitutional phase with Redlich-Kister terms and the magnetic model, and a
// phase of two sublattices with "*" interactions and a reciprocal term; the
// constituents of a third element are dropped with the terms that name them.
TEST(CompoundEnergy, AgainstHandWorkedEnergies)
{
    const Database db =
        parsed("ELEMENT A X 1 0 0 !\nELEMENT B X 2 0 0 !\nELEMENT C X 3 0 0 !\n"
               "TYPE_DEFINITION & GES A_P_D FCC MAGNETIC -3.0 0.28 !\n"
               "PHASE FCC %& 2 1 1 !\nCONSTITUENT FCC :A,B,C : VA : !\n"
               "PARAMETER G(FCC,A:VA;0) 1 -1000+2*T; 6000 N !\n"
               "PARAMETER G(FCC,B:VA;0) 1 500; 6000 N !\n"
               "PARAMETER G(FCC,C:VA;0) 1 1E6; 6000 N !\n"
               "PARAMETER G(FCC,A,B:VA;0) 1 3000; 6000 N !\n"
               "PARAMETER G(FCC,A,B:VA;1) 1 -700; 6000 N !\n"
               "PARAMETER G(FCC,A,C:VA;0) 1 1E6; 6000 N !\n"
               "PARAMETER TC(FCC,B:VA;0) 1 600; 6000 N !\n"
               "PARAMETER BMAGN(FCC,B:VA;0) 1 0.6; 6000 N !\n"
               "PHASE LAVES % 2 2 1 !\nCONSTITUENT LAVES :A,B : A,B : !\n"
               "PARAMETER G(LAVES,A:A;0) 1 100; 6000 N !\nPARAMETER G(LAVES,A:B;0) 1 -9000; 6000 N !\n"
               "PARAMETER G(LAVES,B:A;0) 1 4000; 6000 N !\nPARAMETER G(LAVES,B:B;0) 1 300; 6000 N !\n"
               "PARAMETER G(LAVES,A,B:*;0) 1 5000; 6000 N !\nPARAMETER G(LAVES,*:A,B;0) 1 7000; 6000 N !\n"
               "PARAMETER G(LAVES,A,B:A,B;0) 1 900; 6000 N !\n"
               "PHASE CC % 1 1 !\nCONSTITUENT CC :C: !\n");
    const double R = 8.31451;
    const double T = 700.0;
    bool extrapolated = false;
    std::string why;
    BinaryPhase fcc;
    ASSERT_TRUE(binary_phase(db, db.phases[0], "A", "B", fcc, why)) << why;
    EXPECT_EQ(fcc.constituents, (std::vector<std::vector<int>>{{0, 1}, {VACANCY}}));
    for (const double x : {0.2, 0.5, 0.9}) {
        const double y = 1.0 - x;
        const double expected = x * (-1000 + 2 * T) + y * 500 + R * T * (x * std::log(x) + y * std::log(y)) +
                                x * y * (3000 - 700 * (x - y)) +
                                magnetic_gibbs(T, y * 600, y * 0.6, -3.0, 0.28, R);
        EXPECT_NEAR(gibbs_per_formula_unit(fcc, db.functions, T, {{x, y}, {1.0}}, R, extrapolated), expected,
                    1e-9)
            << "FCC at x=" << x;
    }
    BinaryPhase laves;
    ASSERT_TRUE(binary_phase(db, db.phases[1], "A", "B", laves, why)) << why;
    const double y1a = 0.7, y1b = 0.3, y2a = 0.2, y2b = 0.8;
    const double expected =
        y1a * y2a * 100 + y1a * y2b * -9000 + y1b * y2a * 4000 + y1b * y2b * 300 +
        R * T *
            (2 * (y1a * std::log(y1a) + y1b * std::log(y1b)) + y2a * std::log(y2a) + y2b * std::log(y2b)) +
        y1a * y1b * 5000 + y2a * y2b * 7000 + y1a * y1b * y2a * y2b * 900;
    EXPECT_NEAR(gibbs_per_formula_unit(laves, db.functions, T, {{y1a, y1b}, {y2a, y2b}}, R, extrapolated),
                expected, 1e-9);
    EXPECT_FALSE(extrapolated);
    BinaryPhase of_c;
    EXPECT_FALSE(binary_phase(db, db.phases[2], "A", "B", of_c, why)) << "CC holds no A or B";
}

}  // namespace
