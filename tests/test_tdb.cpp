// The database reader: every public database read as it is, functions of T
// against the formulas they write, and every kind of bad file named with its
// line and column.
#include "engine/compound_energy.h"
#include "engine/magnetic.h"
#include "formats/tdb_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

Database parsed(const std::string& text)
{
    Database db;
    InputError error;
    EXPECT_TRUE(parse_tdb(text, "test.tdb", db, error)) << error.text();
    return db;
}

double value_of(const Database& db, const std::string& name, double T, bool& extrapolated)
{
    for (std::size_t f = 0; f < db.functions.names.size(); ++f)
        if (db.functions.names[f] == name)
            return evaluate(db.functions.bodies[f], db.functions, T, extrapolated);
    ADD_FAILURE() << "no function " << name;
    return 0.0;
}

// The public databases beside the project, as published: each reads, with its
// phases and parameters. Where they are absent the test says so and is skipped.
TEST(TdbFile, ReadsEveryPublicDatabase)
{
    const std::filesystem::path dir = PHASE_BOUNDARY_SHARED_TDB;
    if (!std::filesystem::exists(dir / "pb-sn.tdb"))
        GTEST_SKIP() << "the public databases are not at " << dir.string();
    struct Case {
        const char* file;
        std::size_t elements, phases, parameters;
    };
    for (const Case& c :
         {Case{"ag-cu.tdb", 2, 4, 15}, Case{"al-zn.tdb", 2, 3, 12}, Case{"cu-mg.tdb", 2, 5, 15},
          Case{"cu-ni.tdb", 2, 2, 14}, Case{"pb-sn.tdb", 2, 3, 10}, Case{"cost507.tdb", 20, 191, 1192}}) {
        Database db;
        InputError error;
        ASSERT_TRUE(read_tdb_file((dir / c.file).string(), db, error)) << error.text();
        EXPECT_EQ(db.elements.size(), c.elements) << c.file;
        EXPECT_EQ(db.phases.size(), c.phases) << c.file;
        EXPECT_EQ(db.parameters.size(), c.parameters) << c.file;
    }
    Database db;
    InputError error;
    ASSERT_TRUE(read_tdb_file((dir / "cu-mg.tdb").string(), db, error)) << error.text();
    const DatabasePhase& laves = db.phases[3];
    EXPECT_EQ(laves.name, "CU2MG");
    EXPECT_EQ(laves.sites, (std::vector<double>{2.0, 1.0}));
    EXPECT_EQ(laves.constituents, (std::vector<std::vector<std::string>>{{"CU", "MG"}, {"CU", "MG"}}));
    EXPECT_TRUE(db.phases[1].magnetic) << "FCC_A1 takes the magnetic type of its TYPE_DEFINITION";
    EXPECT_EQ(db.phases[1].antiferromagnetic_factor, -3.0);
    EXPECT_EQ(db.phases[1].structure_factor, 0.28);
    EXPECT_TRUE(db.phases[0].liquid);
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
    const Database db = parsed("$ a comment\n"
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
    ASSERT_EQ(db.parameters.size(), 1u);
    EXPECT_EQ(db.parameters[0].constituents, (std::vector<std::vector<std::string>>{{"A"}}));
}

TEST(TdbFile, BadFilesAreNamedWithLineAndColumn)
{
    const std::string phase = "PHASE LIQUID:L % 1 1.0 !\nCONSTITUENT LIQUID:L :A,B: !\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "test.tdb:1:1: the file declares no phase"},
        {"PARAMETR G(LIQUID,A;0) 1 0; 2 N !", "test.tdb:1:1: unknown command 'PARAMETR'"},
        {"DEF X !", "test.tdb:1:1: 'DEF' could be more than one command"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 +NOPE#; 2 N !",
         "test.tdb:3:28: function NOPE is called but not defined"},
        {phase + "FUNCTION F 1 +G#; 2 N !\nFUNCTION G 1 +F#; 2 N !",
         "calls itself through the functions it calls"},
        {phase + "PARAMETER G(SOLID,A;0) 1 0; 2 N !",
         "test.tdb:3:13: a parameter of phase SOLID, which no PHASE declares"},
        {phase + "PARAMETER G(LIQUID,C;0) 1 0; 2 N !", "names C, not a constituent of sublattice 1"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 3*(T+; 2 N !", "an expression ends too early"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 1E999; 2 N !",
         "test.tdb:3:27: '1E999' is not a number a double holds"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0; 1 N !",
         "test.tdb:3:30: the temperature limit 1 is not above the one before it"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0; x N !", "'x' is not a number a double holds"},
        {phase + "PARAMETER G(LIQUID,A;-1) 1 0; 2 N !",
         "the order of a parameter must be a whole number from 0"},
        {phase + "PARAMETER G(LIQUID,A;0) 1 0 2 N !", "an expression with no ';' after it"},
        {"PHASE S % 2 1 !", "test.tdb:1:13: PHASE S misses the site number of sublattice 2"},
        {"PHASE S % 2 1 1 !\nCONSTITUENT S :A: !",
         "test.tdb:2:15: CONSTITUENT S gives 1 sublattices, its PHASE 2"},
        {phase + "FUNCTION F 1 0; 2 N", "test.tdb:3:1: a command with no closing '!'"},
    };
    for (const Case& c : cases) {
        Database db;
        InputError error;
        EXPECT_FALSE(parse_tdb(c.text, "test.tdb", db, error)) << c.text;
        EXPECT_NE(error.text().find(c.message), std::string::npos) << c.text << "\n  gave: " << error.text();
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
        parsed("TYPE_DEFINITION & GES A_P_D FCC MAGNETIC -3.0 0.28 !\n"
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
