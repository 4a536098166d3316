// Motif databases and naming a motif after them: the MEME and JASPAR readers
// and their messages, the loader, and matches with their p-values.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/Robust.h"
#include "known/DbMatch.h"
#include "motif/MotifDb.h"
#include "motif_fixture.h"
#include "output_fixture.h"

namespace {

using motiffixture::Consensus;
using motiffixture::RandomMotif;


void ExpectColumns(const MotifColumns& got, const MotifColumns& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t j = 0; j < got.size(); ++j)
        for (int b = 0; b < 4; ++b) EXPECT_NEAR(got[j][b], want[j][b], 1e-12) << "column " << j << " letter " << b;
}

std::string Crlf(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const char kMeme[] =
    "Some free text first.\nMEME version 4\n\nALPHABET= ACGT\nstrands: + -\n"
    "Background letter frequencies\nA 0.3 C 0.2 G 0.2 T 0.3\n\n"
    "MOTIF m1 First one\n"                          // line 9
    "log-odds matrix: alength= 4 w= 2\n 1 -1 -1 -1\n -1 2 -1 -1\n"
    "letter-probability matrix: alength= 4 w= 2 nsites= 10 E= 0\n 0.7 0.1 0.1 0.1\n 2 6 0 2\n"
    "MOTIF m2\nletter-probability matrix:\n\t0 0 0 1\n";  // MOTIF on line 16

TEST(MotifDb, ReadsMemeAndJasparFormats) {
    for (const std::string& text : {std::string(kMeme), Crlf(kMeme)}) {
        const std::vector<DbMotif> m = ParseMotifDatabase(text, "db.meme");
        ASSERT_EQ(m.size(), 2u);
        EXPECT_TRUE(m[0].id == "m1" && m[0].name == "First one" && m[0].line == 9 && m[0].file == "db.meme");
        ExpectColumns(m[0].columns, {{0.7, 0.1, 0.1, 0.1}, {0.2, 0.6, 0.0, 0.2}});
        EXPECT_TRUE(m[1].id == "m2" && m[1].name.empty() && m[1].line == 16);
        ExpectColumns(m[1].columns, {{0, 0, 0, 1}});
    }
    const std::vector<DbMotif> j = ParseMotifDatabase(
        ">MA1.1\tSome Name\nA  [ 4 0 ]\nC [0 2]\nG  [ 0 2 ]\nT  [ 0 0 ]\n\n>MA2\n1 0\n0 1\n0 3\n0 0\n", "db.jaspar");
    ASSERT_EQ(j.size(), 2u);
    EXPECT_TRUE(j[0].id == "MA1.1" && j[0].name == "Some Name" && j[0].line == 1 && j[1].id == "MA2" && j[1].line == 7);
    ExpectColumns(j[0].columns, {{1, 0, 0, 0}, {0, 0.5, 0.5, 0}});
    ExpectColumns(j[1].columns, {{1, 0, 0, 0}, {0, 0.25, 0.75, 0}});
    // RNA matrices: MEME's ACGU alphabet (standard or custom) and JASPAR's U row are read with U as T.
    for (const char* alphabet : {"ALPHABET= ACGU\n", "ALPHABET \"RNA\" RNA-LIKE\nA\nC\nG\nU\nEND ALPHABET\n"}) {
        const std::string text = std::string("MEME version 5\n") + alphabet +
                                 "MOTIF r\nletter-probability matrix: alength= 4 w= 1\n0.1 0 0.2 0.7\n";
        const std::vector<DbMotif> r = ParseMotifDatabase(text, "rna.meme");
        ASSERT_EQ(r.size(), 1u) << alphabet;
        ExpectColumns(r[0].columns, {{0.1, 0, 0.2, 0.7}});
    }
    const std::vector<DbMotif> u = ParseMotifDatabase(">r\nU [ 3 0 ]\nA [ 1 0 ]\nC [ 0 1 ]\nG [ 0 0 ]\n", "rna.jaspar");
    ASSERT_EQ(u.size(), 1u);
    ExpectColumns(u[0].columns, {{0.25, 0, 0, 0.75}, {0, 1, 0, 0}});
    // A single matrix without a header is named after its file.
    const std::vector<DbMotif> pfm = ParseMotifDatabase("1 0\n0 1\n0 0\n0 0\n", "dir/MA0004.1.pfm");
    ASSERT_EQ(pfm.size(), 1u);
    EXPECT_EQ(pfm[0].id, "MA0004.1");
}

TEST(MotifDb, ErrorsNameTheLineAndWhatIsWrong) {
    const std::string meme = "MEME version 4\nMOTIF a\n";
    const std::string lp = meme + "letter-probability matrix: alength= 4 w= 2\n";  // the header is line 3
    const std::string jaspar = ">x\nA [ 1 0 ]\nC [ 0 1 ]\nG [ 0 0 ]\n";
    struct Case {
        std::string text;
        int line;
        std::string reason;
    } cases[] = {
        {lp + "0.1 0.2 0.7\n0.2 0.2 0.3 0.3\n", 4, "a row of the matrix has 3 values; a DNA matrix has 4"},
        {lp + "0.1 -0.2 0.7 0.4\n", 4, "the value -0.2 is negative"},
        {lp + "0.5 0.5 0 0\n0.1 abc 0.7 0.2\n", 5, "the value abc is not a number"},
        {lp + "0.5 0.5 0 nan\n", 4, "the value nan is not a number"},
        {lp + "0.5 0.5 0 0\n\nMOTIF b\n", 3, "the matrix of motif a has 1 rows but w= says 2"},
        {lp + "1 0 0 0\n0 1 0 0\n0 0 1 0\n", 6, "the matrix of motif a has more rows than w= 2 says"},
        {meme + "letter-probability matrix: alength= 20 w= 1\n", 3, "the alphabet is not DNA (alength= 20"},
        {"MEME version 4\nALPHABET= ACDEFGHIKLMNPQRSTVWY\n", 2, "the alphabet is not DNA or RNA (ALPHABET= ACDEF"},
        {"MEME version 5\nALPHABET \"Protein\" PROTEIN-LIKE\n", 2, "the alphabet is not DNA or RNA"},
        {lp + "0 0 0 0\n1 0 0 0\n", 4, "row 1 of motif a sums to 0"},
        {meme + "letter-probability matrix: alength= 4 w= 0\n", 3, "motif a has width 0"},
        {meme + "letter-probability matrix: w= 3.5\n", 3, "w= 3.5 is not a whole number"},
        {meme + "\nMOTIF b\n", 2, "motif a has no letter-probability matrix"},
        {"MEME version 4\nMOTIF\n", 2, "a MOTIF line without an identifier"},
        {"MEME version 4\nALPHABET= ACGT\n", 0, "holds no motif"},
        {"\n\nMOTIF a\n", 3, "MOTIF lines but no line 'MEME version <n>'"},
        {"\nhello\n", 2, "neither MEME motif format"},
        {"", 0, "holds no motif"},
        {">x\nA [ 1 0 ]\nC [ 0 1 0 ]\nG [ 0 0 ]\nT [ 1 1 ]\n", 3, "the rows of motif x differ in length: A has 2 values, C has 3"},
        {jaspar + "\n>y\n", 1, "motif x has 3 rows; a JASPAR matrix has four"},
        {jaspar + "T [ 1 1 ]\nA [ 1 1 ]\n", 6, "a fifth row in motif x"},
        {jaspar + "X [ 1 1 ]\n", 5, "the row letter X is not one of A, C, G, T, U: the alphabet is not DNA or RNA"},
        {">x\nA [ 1 0 ]\nT [ 0 1 ]\nU [ 0 0 ]\n", 4, "the row of T comes twice in motif x"},
        {">x\nA [ 1 0 ]\nC [ 0 1 ]\nA [ 0 0 ]\n", 4, "the row of A comes twice in motif x"},
        {">x\nA [ 1 0 ]\nC [ 0 0 ]\nG [ 0 0 ]\nT [ 2 0 ]\n", 1, "column 2 of motif x sums to 0"},
        {">x\nA [ ]\nC [ ]\nG [ ]\nT [ ]\n", 1, "motif x has no columns (a motif of width 0)"},
        {">\n", 1, "a header (>) without an identifier"},
        {jaspar + "T [ 1 1 ]\ntext\n", 6, "the row letter text is not one of A, C, G, T"},
    };
    for (const Case& c : cases) {
        try {
            ParseMotifDatabase(c.text, "f");
            ADD_FAILURE() << "read without error:\n" << c.text;
        } catch (const MotifDbError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_EQ(std::string(e.what()).find(c.reason), 0u) << e.what() << "\n" << c.text;
        }
    }
}

struct FatalEnd {
    int status;
};
[[noreturn]] void Unwind(int status) { throw FatalEnd{status}; }

TEST(MotifDb, LoaderReadsGzipKeepsDuplicatesAndEndsOnAFault) {
    outtest::WorkDir dir;
    outtest::WriteGz(dir, "a.meme.gz", {"MEME version 4\nMOTIF m1 X\nletter-probability matrix:\n1 0 0 0\n"});
    dir.write("b.jaspar", ">m1 Y\n0\n1\n0\n0\n");
    dir.write("bad.jaspar", ">m1\nA 1\nC 1\nG -1\nT 1\n");
    const std::vector<DbMotif> all = LoadMotifDatabases({dir.file("a.meme.gz"), dir.file("b.jaspar")});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_TRUE(all[0].id == "m1" && all[0].file == dir.file("a.meme.gz") && all[0].name == "X");
    EXPECT_TRUE(all[1].id == "m1" && all[1].file == dir.file("b.jaspar") && all[1].name == "Y");

    const FatalHandler previous = SetFatalHandler(Unwind);
    int status = -1;
    testing::internal::CaptureStdout();
    try {
        LoadMotifDatabases({dir.file("b.jaspar"), dir.file("bad.jaspar")});
    } catch (const FatalEnd& end) {
        status = end.status;
    }
    const std::string out = testing::internal::GetCapturedStdout();
    SetFatalHandler(previous);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "Error: the motif database " + dir.file("bad.jaspar") +
                       ", line 4: the value -1 is negative. System aborted. \n");
}

std::vector<DbMotif> HandMade() {
    std::vector<DbMotif> db;
    for (const char* s : {"TTGACGCAAT", "CCGGAAGTGC", "AGATAAGAGG", "TGACTCATGC", "GGGGCGGGGC", "ATGCAAATGA",
                          "CCAATCAGCG", "CACGTGACTA"})
        db.push_back({std::string("id") + s, s, Consensus(s), "hand", 1});
    return db;
}

TEST(DbMatch, FindsCopyReverseComplementAndShift) {
    const MotifMatcher matcher(HandMade());
    const MotifColumns target = Consensus("AGATAAGAGG");
    struct Case {
        MotifColumns query;
        bool reverse;
        int offset;
    } cases[] = {
        {target, false, 0},
        {ReverseComplement(target), true, 0},
        {Consensus("CGT" "AGATAAGAGG"), false, 3},            // three columns before the motif
        {Consensus("AGATAAG"), false, 0},                       // its first seven columns
        {Consensus("ATAAGAGG"), false, -2},                     // its last eight
        {ReverseComplement(Consensus("AGATAAG")), true, -3},   // the first seven, other strand
    };
    for (const Case& c : cases) {
        const std::vector<MotifMatch> all = matcher.Match(c.query);
        ASSERT_EQ(all.size(), 8u);
        const MotifMatch& m = all[0];
        EXPECT_TRUE(m.id == "idAGATAAGAGG" && m.index == 2 && m.reverse == c.reverse && m.offset == c.offset)
            << m.id << " reverse " << m.reverse << " offset " << m.offset;
        EXPECT_EQ(m.overlap, static_cast<int>(std::min<size_t>(c.query.size(), 10)));
        EXPECT_NEAR(m.score, m.overlap, 1e-9);
        EXPECT_LT(m.eValue, 0.01);
        EXPECT_NEAR(m.eValue, 8 * m.pValue, 1e-15);
        for (size_t i = 1; i < all.size(); ++i) EXPECT_LE(all[i - 1].pValue, all[i].pValue);
        for (const MotifMatch& x : all) EXPECT_TRUE(x.pValue > 0.0 && x.pValue <= 1.0) << x.pValue;
        EXPECT_EQ(matcher.BestMatches(c.query, 1).size(), 1u);
    }
    // A flat query prefers nothing: every alignment scores 0, as likely as can be.
    for (const MotifMatch& x : matcher.Match(Consensus("NNNNNNNNNN"))) EXPECT_EQ(x.pValue, 1.0);
    EXPECT_TRUE(matcher.BestMatches(Consensus("NNNNNNNNNN")).empty());
    for (size_t w : {size_t(0), size_t(kMatchMaxQueryWidth + 1)})
        EXPECT_THROW(matcher.Match(Consensus(std::string(w, 'A'))), std::invalid_argument);
}


TEST(DbMatch, NamesRestAndGataInAJasparExcerptAndRandomQueriesRarelyMatch) {
    const std::vector<DbMotif> db = LoadMotifDatabases({std::string(QIRO_TEST_DATA) + "/jaspar_excerpt_meme.txt"});
    ASSERT_EQ(db.size(), 10u);
    const MotifMatcher matcher(db);
    size_t rest = 0;
    while (rest < db.size() && db[rest].id != "MA0138.3") ++rest;
    ASSERT_LT(rest, db.size());
    // Columns 3..17 of REST, each a fifth random noise, as a search would estimate them.
    std::mt19937 rng(11);
    MotifColumns q(db[rest].columns.begin() + 3, db[rest].columns.begin() + 18);
    const MotifColumns noise = RandomMotif(rng, 15);
    for (size_t j = 0; j < q.size(); ++j)
        for (int b = 0; b < 4; ++b) q[j][b] = 0.8 * q[j][b] + 0.2 * noise[j][b];
    for (int r = 0; r < 2; ++r) {
        const std::vector<MotifMatch> best = matcher.BestMatches(r == 0 ? q : ReverseComplement(q));
        ASSERT_FALSE(best.empty());
        EXPECT_TRUE(best[0].id == "MA0138.3" && best[0].name == "REST" && best[0].reverse == (r == 1) &&
                    best[0].offset == (r == 0 ? -3 : -2) && best[0].overlap == 15)
            << best[0].id << " reverse " << best[0].reverse << " offset " << best[0].offset;
        EXPECT_LT(best[0].eValue, 1e-6);
    }
    const std::vector<MotifMatch> gata = matcher.BestMatches(Consensus("CTTATCTN"));
    ASSERT_FALSE(gata.empty());
    EXPECT_EQ(gata[0].name, "GATA1");

    // Calibration: queries of random columns match no more often than their
    // p-values say (the columns of a query are not independent of each other
    // in the database, so a little slack).
    int pairs = 0, below = 0, matched = 0;
    for (int t = 0; t < 200; ++t) {
        const std::vector<MotifMatch> all = matcher.Match(RandomMotif(rng, 8 + t % 10));
        for (const MotifMatch& m : all) pairs += 1, below += m.pValue <= 0.05;
        matched += all[0].eValue <= kDbMaxEvalue;
    }
    EXPECT_LE(below, pairs * 0.06) << below << " of " << pairs;
    EXPECT_LE(matched, 200 * 0.4) << matched;

    // From several threads at once, the same answers as one after another.
    std::vector<MotifColumns> queries;
    for (int t = 0; t < 4; ++t) queries.push_back(RandomMotif(rng, 12));
    queries[0] = q;
    std::vector<std::vector<MotifMatch>> serial, parallel(queries.size());
    for (const MotifColumns& x : queries) serial.push_back(matcher.Match(x));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < queries.size(); ++t)
        threads.emplace_back([&, t] { parallel[t] = matcher.Match(queries[t]); });
    for (std::thread& t : threads) t.join();
    for (size_t t = 0; t < queries.size(); ++t)
        for (size_t i = 0; i < db.size(); ++i)
            EXPECT_TRUE(parallel[t][i].index == serial[t][i].index && parallel[t][i].pValue == serial[t][i].pValue);
}

}  // namespace
