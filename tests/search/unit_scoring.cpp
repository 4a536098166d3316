// Site-set scoring and consensus replacement of a motif model, checked against
// small hand-worked site sets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli_util.h"
#include "core/Constants.h"
#include "input/Midlayer.h"
#include "search/Individual.h"

namespace {

using clitest::WorkDir;

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

// A data layer holding the strands of a FASTA text, motif width k, every
// position-frequency cell 0.25 and a flat base composition.
struct Strands {
    WorkDir dir;
    Midlayer data;

    Strands(const std::string& fasta, int k, bool both = false) {
        dir.write("in.fa", fasta);
        data.SetDoubleStrand(both);
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        testing::internal::GetCapturedStdout();
        data.SetK(k);
        for (int b = 0; b < B; ++b) {
            data.FreqInfo[b] = 0.25;
            for (int j = 0; j < MAX_K; ++j) data.PosFreq[b][j] = 0.25;
        }
    }
};

// A model of width k over every strand of the data layer, scored from starts.
Individual Scored(Strands& s, int k, const std::vector<int>& starts) {
    Individual m;
    m.setValues(static_cast<int>(starts.size()), k);
    m.CalculateIndiFitness(&s.data, kFlat, starts);
    return m;
}

// The first seed whose first draw is value.
uint32_t SeedForFirstDraw(int value) {
    for (uint32_t seed = 0;; ++seed) {
        SeedRandom(seed);
        if (Random() == value) return seed;
    }
}

// The values the source yields after SeedRandom(seed), in order.
std::vector<int> Draws(uint32_t seed, int n) {
    SeedRandom(seed);
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(Random());
    return v;
}

void SetColumn(Individual& m, int j, double a, double c, double g, double t) {
    m.MismatchMatrix[0][j] = a;
    m.MismatchMatrix[1][j] = c;
    m.MismatchMatrix[2][j] = g;
    m.MismatchMatrix[3][j] = t;
}

// ---------------------------------------------------------------- site-set scoring

TEST(SiteSetScoring, TwoSitesDifferingInTheLastLetter) {
    Strands s(">a\nACGT\n>b\nACGA\n", 4);
    Individual m = Scored(s, 4, {0, 0});

    // Columns 0-2 hold one letter each; column 3 holds A and T half and half.
    const double want[4][4] = {{1, 0, 0, 0.5}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 0.5}};
    for (int b = 0; b < 4; ++b)
        for (int j = 0; j < 4; ++j) EXPECT_DOUBLE_EQ(m.MismatchMatrix[b][j], want[b][j]) << b << "," << j;

    // Each site disagrees with the model in half a letter (column 3) and with the
    // background windows in 4 x 0.75 letters: 0.5 / 3.
    ASSERT_EQ(m.GeneMismatch.size(), 2u);
    EXPECT_DOUBLE_EQ(m.GeneMismatch[0], 1.0 / 6);
    EXPECT_DOUBLE_EQ(m.GeneMismatch[1], 1.0 / 6);
    EXPECT_DOUBLE_EQ(m.getMismatch(), 1.0 / 6);
    // The tie between A and T in the last column goes to A.
    EXPECT_STREQ(m.getCons(), "ACGA");

    // Composition per site: A 1.5, C 1, G 1, T 0.5 letters.
    const double complexity = std::pow(4 / 1.5, 1.5) * 4 * 4 * std::pow(4 / 0.5, 0.5) * std::pow(0.25, 4);
    EXPECT_NEAR(m.getComplexity(), complexity, 1e-12);
    EXPECT_NEAR(m.getComplexity(), 0.76980, 1e-5);

    // N = 2, pseudocounts sqrt(2)/4 per base: a one-letter column has
    // f = 0.68934 and 3 x 0.10355, adding 0.61375 bits; the A/T column has
    // 2 x 0.39645 and 2 x 0.10355, adding 0.26388 bits.
    EXPECT_NEAR(m.getIC(), 2.10513, 1e-4);
}

TEST(SiteSetScoring, FourIdenticalSitesOfEightLetters) {
    // ACGTTGCA at different starts, once in lower case.
    Strands s(">a\nACGTTGCATT\n>b\nGGACGTTGCA\n>c\ntacgttgcag\n>d\nCACGTTGCAC\n", 8);
    Individual m = Scored(s, 8, {0, 2, 1, 1});

    for (int j = 0; j < 8; ++j) {
        const int letter = Individual::LookupCode("ACGTTGCA"[j]);
        for (int b = 0; b < 4; ++b) EXPECT_EQ(m.MismatchMatrix[b][j], b == letter ? 1.0 : 0.0);
    }
    // Each column: f = 0.75 for its letter and 1/12 for the others, 0.5 log2(3) bits.
    EXPECT_NEAR(m.getIC(), 6.3399, 1e-4);
    EXPECT_NEAR(m.getIC(), 4 * std::log2(3.0), 1e-9);
    EXPECT_EQ(m.getMismatch(), 0.0);
    EXPECT_EQ(m.GeneMismatch, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
    // Two of each base per site: an even composition.
    EXPECT_NEAR(m.getComplexity(), 1.0, 1e-12);
}

TEST(SiteSetScoring, GenesCopyTheStartsAndOtherFieldsStay) {
    Strands s(">a\nACGTTGCATT\n>b\nGGACGTTGCA\n>c\nTACGTTGCAG\n", 4);
    Individual m;
    m.setValues(3, 4);
    m.setID(7);
    m.setRLFT(0.125);
    m.setCLFT(0.625);
    m.setSTD(1.5);
    m.setMAPS(2.5);
    m.Sites.push_back({1, 2, 0.5, 0.25});
    std::vector<int> starts = {0, 2, 1};
    m.CalculateIndiFitness(&s.data, kFlat, starts);
    starts[0] = 6;
    starts.push_back(3);
    EXPECT_EQ(m.Genes, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(m.getID(), 7);
    EXPECT_EQ(m.getRLFT(), 0.125);
    EXPECT_EQ(m.getCLFT(), 0.625);
    EXPECT_EQ(m.getSTD(), 1.5);
    EXPECT_EQ(m.getMAPS(), 2.5);
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    ASSERT_EQ(m.Sites.size(), 1u);
    EXPECT_EQ(m.Sites[0].Pos, 1);

    // Scoring again replaces the per-site scores instead of adding to them.
    m.CalculateIndiFitness(&s.data, kFlat, std::vector<int>{6, 0, 6});
    EXPECT_EQ(m.Genes, (std::vector<int>{6, 0, 6}));
    ASSERT_EQ(m.GeneMismatch.size(), 3u);
    // Sites CATT, GGAC, GCAG.
    EXPECT_STREQ(m.getCons(), "GAAC");
}

TEST(SiteSetScoring, LowerCaseLettersScoreAsUpperCase) {
    Strands s(">a\nACGT\n>b\nACGA\n", 4);
    Individual m = Scored(s, 4, {0, 0});
    char upper[] = "ACGA";
    char lower[] = "acga";
    char mixed[] = "AcGt";
    EXPECT_DOUBLE_EQ(m.CalculateMismatch(&s.data, upper), 1.0 / 6);
    EXPECT_DOUBLE_EQ(m.CalculateMismatch(&s.data, lower), 1.0 / 6);
    EXPECT_DOUBLE_EQ(m.CalculateMismatch(&s.data, mixed), 1.0 / 6);
    // CCCC disagrees in 1 + 0 + 1 + 1 letters with the model.
    char other[] = "cccc";
    EXPECT_DOUBLE_EQ(m.CalculateMismatch(&s.data, other), 3.0 / 3);

    // A model over lower-case strands scores exactly as one over upper case.
    Strands low(">a\nacgt\n>b\nacga\n", 4);
    Individual l = Scored(low, 4, {0, 0});
    EXPECT_EQ(l.getIC(), m.getIC());
    EXPECT_EQ(l.getMismatch(), m.getMismatch());
    EXPECT_EQ(l.getComplexity(), m.getComplexity());
    EXPECT_STREQ(l.getCons(), "ACGA");
}

TEST(SiteSetScoring, MismatchDividesByThePositionFrequencies) {
    Strands s(">a\nACGT\n>b\nACGA\n", 4);
    // Column 0 of the window statistics: A and C half and half.
    s.data.PosFreq[0][0] = 0.5;
    s.data.PosFreq[1][0] = 0.5;
    s.data.PosFreq[2][0] = 0.0;
    s.data.PosFreq[3][0] = 0.0;
    Individual m = Scored(s, 4, {0, 0});
    // ACGT: 0.5 letters from the model; 0.5 + 0.75 + 0.75 + 0.75 from the windows.
    EXPECT_DOUBLE_EQ(m.GeneMismatch[0], 0.5 / 2.75);
    // GCGT: 1 + 0.5 from the model; 1 + 0.75 x 3 from the windows.
    char word[] = "GCGT";
    EXPECT_DOUBLE_EQ(m.CalculateMismatch(&s.data, word), 1.5 / 3.25);
    // A shorter word compares only its own letters: AC agrees fully.
    char shortWord[] = "AC";
    EXPECT_EQ(m.CalculateMismatch(&s.data, shortWord), 0.0);
}

// ---------------------------------------------------------------- complexity

TEST(Complexity, EvenSkewedAndMixedCompositions) {
    Strands even(">a\nACGT\n>b\nACGT\n", 4);
    EXPECT_NEAR(Scored(even, 4, {0, 0}).getComplexity(), 1.0, 1e-12);

    Strands skewed(">a\nAAAA\n>b\naaaa\n", 4);
    Individual a = Scored(skewed, 4, {0, 0});
    EXPECT_NEAR(a.getComplexity(), 1.0 / 256, 1e-15);
    EXPECT_LT(a.getComplexity(), DFLT_COMP);
    EXPECT_STREQ(a.getCons(), "AAAA");

    // Two A, two C, one G and one T per site.
    Strands mixed(">a\nAACCGT\n>b\nTGCCAA\n", 6);
    EXPECT_NEAR(Scored(mixed, 6, {0, 0}).getComplexity(), 729.0 / 1024, 1e-12);
}

TEST(Complexity, ComputedFromTheMatrixColumnsInUse) {
    Individual m;
    // Two columns: A only, then C only; the third column is outside k = 2.
    SetColumn(m, 0, 1, 0, 0, 0);
    SetColumn(m, 1, 0, 1, 0, 0);
    SetColumn(m, 2, 0, 0, 0, 1);
    // S_A = S_C = 1: 2^1 x 2^1 x 0.25^2.
    EXPECT_NEAR(m.LowerComplexity(2), 0.25, 1e-15);
    // With the third column: 3^1 x 3^1 x 3^1 x 0.25^3.
    EXPECT_NEAR(m.LowerComplexity(3), 27.0 / 64, 1e-15);
}

// ---------------------------------------------------------------- consensus

TEST(Consensus, TiesGoToTheEarlierBase) {
    Individual m;
    SetColumn(m, 0, 0.5, 0, 0, 0.5);
    SetColumn(m, 1, 0, 0.5, 0.5, 0);
    SetColumn(m, 2, 0, 0, 0.5, 0.5);
    SetColumn(m, 3, 0, 0, 0, 0);
    SetColumn(m, 4, 0.2, 0.3, 0.1, 0.4);
    SetColumn(m, 5, 0.25, 0.25, 0.25, 0.25);
    m.setCons("TTTTTTTTTT", 10);
    m.Consensus(6);
    EXPECT_STREQ(m.getCons(), "ACGATA");
}

TEST(ConsensusOption, SecondChoiceTable) {
    Individual m;
    SetColumn(m, 0, 1, 0, 0, 0);
    SetColumn(m, 1, 0.6, 0.3, 0.1, 0);
    SetColumn(m, 2, 0.1, 0.2, 0.3, 0.4);
    SetColumn(m, 3, 0.5, 0.5, 0, 0);
    SetColumn(m, 4, 0.5, 0, 0, 0.5);
    SetColumn(m, 5, 0, 0.5, 0.5, 0);
    SetColumn(m, 6, 0.4, 0.4, 0.2, 0);
    SetColumn(m, 7, 0.25, 0.25, 0.25, 0.25);
    char first[MAX_K + 1];
    char second[MAX_K + 1];
    std::memset(first, 'x', sizeof first);
    std::memset(second, 'x', sizeof second);
    m.Consensus_option(8, 1, first);
    m.Consensus_option(8, 2, second);
    EXPECT_STREQ(first, "AATAACAA");
    EXPECT_STREQ(second, "ACGAAGAG");
}

TEST(ConsensusOption, OtherTypesLeaveTheOutputAlone) {
    Individual m;
    SetColumn(m, 0, 0, 1, 0, 0);
    SetColumn(m, 1, 0, 0, 1, 0);
    for (int type : {0, 3, -1}) {
        char out[] = "unchanged";
        m.Consensus_option(2, type, out);
        EXPECT_STREQ(out, "unchanged") << type;
    }
    char out[] = "unchanged";
    m.Consensus_option(2, 1, out);
    EXPECT_STREQ(out, "CG");
}

// ---------------------------------------------------------------- number of replaced positions

TEST(NumReplace, CountFromTheFirstDraw) {
    Individual m;
    struct Case {
        int draw;  // first value of the source
        int k;
        int want;
    };
    const Case cases[] = {
        {20000, 4, 1},  // 0.61: at least 1/2
        {16384, 4, 1},  // 0.500015
        {16383, 4, 2},  // 0.499985: [1/4, 1/2)
        {10000, 4, 2},  // 0.305
        {5000, 4, 3},   // 0.153: [1/8, 1/4)
        {3000, 4, 4},   // 0.0916: [1/16, 1/8)
        {1000, 4, 1},   // 0.0305: below 1/16 with k = 4
        {1000, 8, 6},   // 0.0305: [1/64, 1/32)
        {32767, 8, 1},  // 1.0
        {1, 8, 1},      // 0.0000305: below 1/256
        {1, 16, 15},    // [2^-15, 2^-14)
    };
    for (const Case& c : cases) {
        const uint32_t seed = SeedForFirstDraw(c.draw);
        const std::vector<int> draws = Draws(seed, 2);
        SeedRandom(seed);
        EXPECT_EQ(m.NumReplace(c.k), c.want) << "draw " << c.draw << ", k " << c.k;
        // Exactly one value was used.
        EXPECT_EQ(Random(), draws[1]) << "draw " << c.draw;
    }
}

TEST(NumReplace, AFirstDrawOfZeroIsDrawnAgain) {
    // A seed whose first draw is 0 and whose second lies in [1/4, 1/2).
    uint32_t seed = 0;
    for (uint32_t s = 0;; ++s) {
        SeedRandom(s);
        if (Random() != 0) continue;
        const int second = Random();
        if (second >= 8192 && second <= 16383) {
            seed = s;
            break;
        }
    }
    const std::vector<int> draws = Draws(seed, 3);
    SeedRandom(seed);
    Individual m;
    EXPECT_EQ(m.NumReplace(8), 2);
    EXPECT_EQ(Random(), draws[2]);
}

// ---------------------------------------------------------------- consensus replacement

TEST(ReplaceConsensus, SitesOfOneWordGiveThatWord) {
    Strands s(">a\nGATTACAGCC\n>b\nCCgattacag\n>c\nTGATTACAGT\n>d\nGATTACAG\n", 8);
    Individual m = Scored(s, 8, {2, 0, 0, 0});
    const std::string oldCons = m.getCons();
    const std::vector<int> oldGenes = m.Genes;
    const std::vector<double> oldScores = m.GeneMismatch;
    const double oldMismatch = m.getMismatch();
    const std::vector<int> starts = {0, 2, 1, 0};
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SeedRandom(seed);
        char out[MAX_K + 1];
        std::memset(out, 'x', sizeof out);
        m.ReplaceConsensus(&s.data, out, starts);
        ASSERT_STREQ(out, "GATTACAG") << "seed " << seed;
    }
    // The matrix now reflects the starts given; the rest of the model stays.
    for (int j = 0; j < 8; ++j) {
        const int letter = Individual::LookupCode("GATTACAG"[j]);
        for (int b = 0; b < 4; ++b) EXPECT_EQ(m.MismatchMatrix[b][j], b == letter ? 1.0 : 0.0);
    }
    EXPECT_EQ(std::string(m.getCons()), oldCons);
    EXPECT_NE(oldCons, "GATTACAG");
    EXPECT_EQ(m.Genes, oldGenes);
    EXPECT_EQ(m.GeneMismatch, oldScores);
    EXPECT_EQ(m.getMismatch(), oldMismatch);
}

TEST(ReplaceConsensus, OneDrawnPositionTakesItsSecondChoice) {
    // Consensus ACGT, second choice TGCA at every position.
    Strands s(">a\nACGT\n>b\nACGT\n>c\nTGCA\n", 4);
    Individual m;
    m.setValues(3, 4);
    const uint32_t seed = SeedForFirstDraw(20000);  // one position
    const std::vector<int> draws = Draws(seed, 3);
    const int p = draws[1] % 4;
    std::string want = "ACGT";
    want[p] = "TGCA"[p];
    SeedRandom(seed);
    char out[MAX_K + 1];
    m.ReplaceConsensus(&s.data, out, std::vector<int>{0, 0, 0});
    EXPECT_EQ(std::string(out), want);
    EXPECT_EQ(Random(), draws[2]);
    EXPECT_NEAR(m.MismatchMatrix[0][0], 2.0 / 3, 1e-15);
    EXPECT_NEAR(m.MismatchMatrix[3][0], 1.0 / 3, 1e-15);
}

TEST(ReplaceConsensus, EveryPositionTakesItsSecondChoiceWhenAllAreDrawn) {
    Strands s(">a\nACGT\n>b\nACGT\n>c\nTGCA\n", 4);
    Individual m;
    m.setValues(3, 4);
    const uint32_t seed = SeedForFirstDraw(3000);  // four positions of four
    // Positions are drawn until all four residues mod 4 have come up.
    const std::vector<int> draws = Draws(seed, 200);
    bool seen[4] = {false, false, false, false};
    int used = 1;
    for (int left = 4; left > 0; ++used) {
        int p = draws[used] % 4;
        if (!seen[p]) {
            seen[p] = true;
            --left;
        }
    }
    SeedRandom(seed);
    char out[MAX_K + 1];
    m.ReplaceConsensus(&s.data, out, std::vector<int>{0, 0, 0});
    EXPECT_STREQ(out, "TGCA");
    EXPECT_EQ(Random(), draws[used]);
}

}  // namespace
