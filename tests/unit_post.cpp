// Post-processing: scoring of site-list models against the background model,
// merging, duplicate-site removal, site adding, site removing and the driver,
// each on small hand-built data layers whose numbers can be worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "GAFrame.h"
#include "Individual.h"
#include "Midlayer.h"
#include "cli_util.h"

namespace {

using clitest::WorkDir;

// A background file in which every word's value is q of its last letter, so
// that the probability of a word is the product of q over its letters. Words in
// `changed` take the given value instead; words in `left` are left out.
std::string MarkovBackground(const double q[4], const std::map<std::string, double>& changed = {},
                             const std::vector<std::string>& left = {}) {
    std::ostringstream text;
    text.precision(17);
    const char* L = "ACGT";
    int index = 0;
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            std::string w(len, 'A');
            for (int p = 0; p < len; ++p) w[p] = L[(code >> (2 * (len - 1 - p))) & 3];
            double value = q[code & 3];
            auto it = changed.find(w);
            if (it != changed.end()) value = it->second;
            if (std::find(left.begin(), left.end(), w) != left.end()) {
                ++index;
                continue;
            }
            text << (len == 1 ? code : index) << " " << w << " " << value << "\n";
            ++index;
        }
    }
    return text.str();
}

// A data layer loaded from a FASTA text and a background text, every window
// admissible (no known sites), and an engine of the same motif width.
struct Layer {
    WorkDir dir;
    Midlayer data;
    GAFrame engine;
    int k;

    Layer(const std::string& fasta, int width, bool bothStrands,
          const std::string& background = clitest::FlatBackground())
        : k(width) {
        dir.write("in.fa", fasta);
        dir.write("bg.freq", background);
        data.SetDoubleStrand(bothStrands);
        testing::internal::CaptureStdout();
        data.OpenSeqFile(dir.file("in.fa"));
        data.LoadSeqs();
        data.OpenFreqFile(dir.file("bg.freq"));
        data.LoadFreqInfo();
        data.SetK(k);
        data.SetFilter(false);
        data.setPKPre(false);
        data.ComputePosFreq(true);
        data.Filtering();
        testing::internal::GetCapturedStdout();
        engine.K = k;
    }

    // Every offset 0.25 for every base: the mismatch denominator of any word is
    // then 0.75 per letter, k * 0.75 in all.
    void FlatPosFreq() {
        for (int b = 0; b < B; ++b)
            for (int j = 0; j < MAX_K; ++j) data.PosFreq[b][j] = 0.25;
    }

    std::string Window(int strand, int pos) const { return data.Seqs[strand].Letters(pos, k); }
};

kmer Site(int strand, int pos) { return kmer{pos, strand, 0.0, 0.0}; }

// A site-list model over the given sites, scored.
Individual SiteModel(Layer& s, const std::vector<kmer>& sites) {
    Individual m;
    m.setConLen(s.k);
    m.Sites = sites;
    m.setGeneNo(static_cast<int>(sites.size()));
    m.CalculateIndiFitness_vector(&s.data, s.data.GetFreqInfo());
    return m;
}

// A model in genetic form, one start per strand, scored as the search scores it.
Individual GeneticModel(Layer& s, const std::vector<int>& starts) {
    Individual m;
    m.setValues(static_cast<int>(starts.size()), s.k);
    m.CalculateIndiFitness(&s.data, s.data.GetFreqInfo(), starts);
    return m;
}

using Place = std::pair<int, int>;  // (strand, position)

std::vector<Place> Places(const std::vector<kmer>& sites) {
    std::vector<Place> out;
    for (const kmer& s : sites) out.push_back({s.Strand, s.Pos});
    return out;
}

// Information content and column entropy of a set of equal-length words, the
// columns smoothed with sqrt(n) pseudocounts shared out by bg.
struct Columns {
    double IC = 0.0;
    double H = 0.0;
};
Columns HandColumns(const std::vector<std::string>& words, const double* bg) {
    const double n = static_cast<double>(words.size());
    const double root = std::sqrt(n);
    const char* L = "ACGT";
    Columns c;
    for (size_t j = 0; j < words[0].size(); ++j) {
        for (int b = 0; b < 4; ++b) {
            double count = 0;
            for (const std::string& w : words)
                if (std::toupper(static_cast<unsigned char>(w[j])) == L[b]) count += 1;
            double f = (count + root * bg[b]) / (n + root);
            c.IC += f * std::log2(f / bg[b]);
            c.H += f * std::log2(f);
        }
    }
    return c;
}

std::vector<std::string> Words(const Layer& s, const std::vector<kmer>& sites) {
    std::vector<std::string> out;
    for (const kmer& x : sites) out.push_back(s.Window(x.Strand, x.Pos));
    return out;
}

const double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

// Every field that scoring or a post-processing step may change.
void ExpectSameModel(const Individual& a, const Individual& b) {
    ASSERT_EQ(a.Sites.size(), b.Sites.size());
    for (size_t i = 0; i < a.Sites.size(); ++i) {
        EXPECT_EQ(a.Sites[i].Pos, b.Sites[i].Pos) << i;
        EXPECT_EQ(a.Sites[i].Strand, b.Sites[i].Strand) << i;
        EXPECT_EQ(a.Sites[i].Score, b.Sites[i].Score) << i;
        EXPECT_EQ(a.Sites[i].BGScore, b.Sites[i].BGScore) << i;
    }
    EXPECT_EQ(a.getIC(), b.getIC());
    EXPECT_EQ(a.getMismatch(), b.getMismatch());
    EXPECT_EQ(a.getComplexity(), b.getComplexity());
    EXPECT_EQ(a.getSTD(), b.getSTD());
    EXPECT_EQ(a.getMAPS(), b.getMAPS());
    EXPECT_STREQ(a.getCons(), b.getCons());
    EXPECT_EQ(a.getGeneNo(), b.getGeneNo());
    EXPECT_EQ(a.getConLen(), b.getConLen());
    for (int bb = 0; bb < B; ++bb)
        for (int j = 0; j < a.getConLen(); ++j) EXPECT_EQ(a.MismatchMatrix[bb][j], b.MismatchMatrix[bb][j]);
}

std::string TextForm(const Individual& m) {
    std::ostringstream out;
    out << m;
    return out.str();
}

// ============================================================ scoring

TEST(PostScoring, OneSiteScoresMapZeroAndPrintsNoMapScore) {
    Layer s(">s1\nGGACGTTGCATT\n", 8, false);
    Individual m = SiteModel(s, {Site(0, 2)});
    EXPECT_EQ(m.getMAPS(), 0.0);  // log2(1) / k = 0
    EXPECT_EQ(m.getSTD(), 0.0);
    EXPECT_EQ(m.Sites[0].Score, 0.0);
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
    // n = 1: the site's letter 0.625 and the others 0.125 in every column.
    const double column = 0.625 * std::log2(2.5) + 3 * 0.125 * std::log2(0.5);
    EXPECT_NEAR(m.getIC(), 8 * column, 1e-12);
    const std::string text = TextForm(m);
    EXPECT_EQ(text.find(" MAP Score: "), std::string::npos) << text;
    EXPECT_NE(text.find("Consensus: ACGTTGCA\nNo. of sites: 1\n"), std::string::npos) << text;
}

TEST(PostScoring, FourIdenticalSitesOnAFlatBackground) {
    Layer s(">s1\nACGTTGCAGG\n>s2\nTACGTTGCA\n>s3\nCCACGTTGCAT\n>s4\nACGTTGCA\n", 8, false);
    Individual m;
    m.setConLen(8);
    m.Sites = {Site(0, 0), Site(1, 1), Site(2, 2), Site(3, 0)};
    m.setGeneNo(4);
    m.Genes = {3, 1, 4};
    m.GeneMismatch = {0.5, 0.25};
    m.setID(9);
    m.setRLFT(0.125);
    m.setCLFT(0.375);
    m.CalculateIndiFitness_vector(&s.data, s.data.GetFreqInfo());

    // Each column: the site's letter 0.75, the others 1/12: 0.5 log2 3 bits.
    EXPECT_NEAR(m.getIC(), 6.3399, 1e-4);
    EXPECT_NEAR(m.getIC(), 4 * std::log2(3.0), 1e-12);
    EXPECT_NEAR(m.getMAPS(), 1.58496, 1e-5);
    EXPECT_NEAR(m.getMAPS(), std::log2(3.0), 1e-12);  // (H + 16) * log2(4) / 8 with H = 4 log2 3 - 16
    EXPECT_EQ(m.getMismatch(), 0.0);
    EXPECT_EQ(m.getSTD(), 0.0);
    EXPECT_EQ(m.getComplexity(), 1.0);  // two of every base per site
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
    for (const kmer& x : m.Sites) {
        EXPECT_EQ(x.Score, 0.0);
        EXPECT_EQ(x.BGScore, std::numeric_limits<double>::infinity());  // 16 bits over a mismatch of 0
    }
    const char* cons = "ACGTTGCA";
    for (int j = 0; j < 8; ++j)
        for (int b = 0; b < B; ++b) EXPECT_EQ(m.MismatchMatrix[b][j], "ACGT"[b] == cons[j] ? 1.0 : 0.0);
    EXPECT_EQ(m.CalculateMarkvBK(&s.data), -64.0);  // four sites of 0.25^8

    // The sites keep their order and places; the genetic form and the other
    // fields are left alone.
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 0}, {1, 1}, {2, 2}, {3, 0}}));
    EXPECT_EQ(m.Genes, (std::vector<int>{3, 1, 4}));
    EXPECT_EQ(m.GeneMismatch, (std::vector<double>{0.5, 0.25}));
    EXPECT_EQ(m.getGeneNo(), 4);
    EXPECT_EQ(m.getConLen(), 8);
    EXPECT_EQ(m.getID(), 9);
    EXPECT_EQ(m.getRLFT(), 0.125);
    EXPECT_EQ(m.getCLFT(), 0.375);

    const std::string text = TextForm(m);
    EXPECT_NE(text.find("Consensus: ACGTTGCA MAP Score: 1.58496\nNo. of sites: 4\n"), std::string::npos) << text;
}

TEST(PostScoring, StdIsThePopulationDeviation) {
    Individual m;
    const double three[3] = {0.2, 0.4, 0.6};
    int n = 3;
    EXPECT_NEAR(m.CalculateSTD(three, n), 0.16330, 1e-5);
    EXPECT_NEAR(m.CalculateSTD(three, n), std::sqrt(0.08 / 3), 1e-15);
    const double two[2] = {1.0, 3.0};
    n = 2;
    EXPECT_DOUBLE_EQ(m.CalculateSTD(two, n), 1.0);  // divisor n, not n - 1
    const double one[1] = {5.0};
    n = 1;
    EXPECT_EQ(m.CalculateSTD(one, n), 0.0);
}

TEST(PostScoring, SiteScoresSpreadAndMapScoreOfThreeSites) {
    // Two copies of X and one Y that differs in its last letter; with the flat
    // window table every word's mismatch denominator is 8 * 0.75 = 6.
    Layer s(">s1\nACGTTGCA\n>s2\nACGTTGCA\n>s3\nACGTTGCT\n", 8, false);
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0), Site(2, 0)});
    EXPECT_NEAR(m.Sites[0].Score, 1.0 / 18, 1e-15);  // (1/3) / 6
    EXPECT_NEAR(m.Sites[1].Score, 1.0 / 18, 1e-15);
    EXPECT_NEAR(m.Sites[2].Score, 1.0 / 9, 1e-15);  // (2/3) / 6
    EXPECT_NEAR(m.getMismatch(), 2.0 / 27, 1e-15);
    EXPECT_NEAR(m.getSTD(), std::sqrt(2.0) / 54, 1e-15);
    EXPECT_NEAR(m.Sites[0].BGScore, 16 * 18.0, 1e-9);  // -log2(0.25^8) / score
    EXPECT_NEAR(m.Sites[2].BGScore, 16 * 9.0, 1e-9);
    const Columns c = HandColumns({"ACGTTGCA", "ACGTTGCA", "ACGTTGCT"}, kFlat);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    EXPECT_NEAR(m.getMAPS(), (c.H + 16) * std::log2(3.0) / 8, 1e-12);  // Bsum / n = -16
    EXPECT_STREQ(m.getCons(), "ACGTTGCA");
}

TEST(PostScoring, LowerCaseSitesScoreLikeUpperCase) {
    const double q[4] = {0.1, 0.2, 0.3, 0.4};
    Layer s(">low\nttacgttgcatt\n>up\nGGACGTTGCAGG\n>other\nACGATGCA\n", 8, false, MarkovBackground(q));
    Individual lower = SiteModel(s, {Site(0, 2), Site(2, 0)});
    Individual upper = SiteModel(s, {Site(1, 2), Site(2, 0)});
    EXPECT_EQ(lower.getIC(), upper.getIC());
    EXPECT_EQ(lower.getMismatch(), upper.getMismatch());
    EXPECT_EQ(lower.getSTD(), upper.getSTD());
    EXPECT_EQ(lower.getMAPS(), upper.getMAPS());
    EXPECT_EQ(lower.getComplexity(), upper.getComplexity());
    EXPECT_STREQ(lower.getCons(), upper.getCons());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lower.Sites[i].Score, upper.Sites[i].Score) << i;
        EXPECT_EQ(lower.Sites[i].BGScore, upper.Sites[i].BGScore) << i;
    }
    EXPECT_TRUE(std::isfinite(lower.getMAPS()));

    // The background probability of acgttgca is the product of q over its letters.
    const double P = 0.1 * 0.2 * 0.3 * 0.4 * 0.4 * 0.3 * 0.2 * 0.1;
    for (int strand : {0, 1}) {
        Individual one;
        one.Sites = {Site(strand, 2)};
        one.Sites[0].Score = 1.0;
        EXPECT_NEAR(one.CalculateMarkvBK(&s.data), std::log2(P), 1e-12) << strand;
        EXPECT_NEAR(one.Sites[0].BGScore, -std::log2(P), 1e-12) << strand;
    }
}

TEST(PostScoring, AMissingBackgroundWordFollowsTheArithmetic) {
    // ACGT is not in the file: its probability is 0, log2 0 = -inf, and the
    // MAP score of a model holding it is +inf. With one site the factor
    // log2(1) = 0 meets the infinity and the MAP score is not a number, which
    // the text form prints as it is (a NaN is not 0).
    const double q[4] = {0.25, 0.25, 0.25, 0.25};
    Layer s(">s1\nACGT\n>s2\nACGA\n>s3\nCCGA\n", 4, false, MarkovBackground(q, {}, {"ACGT"}));
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    EXPECT_NEAR(m.Sites[0].Score, 1.0 / 6, 1e-15);
    EXPECT_EQ(m.Sites[0].BGScore, std::numeric_limits<double>::infinity());
    EXPECT_NEAR(m.Sites[1].BGScore, 8 * 6.0, 1e-9);
    EXPECT_EQ(m.getMAPS(), std::numeric_limits<double>::infinity());
    EXPECT_NE(TextForm(m).find(" MAP Score: inf\n"), std::string::npos) << TextForm(m);
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "ACGA"}, kFlat).IC, 1e-12);

    Individual one = SiteModel(s, {Site(0, 0)});
    EXPECT_TRUE(std::isnan(one.getMAPS()));
    const std::string text = TextForm(one);
    EXPECT_NE(text.find(" MAP Score: "), std::string::npos) << text;
    EXPECT_NE(text.find("nan\n"), std::string::npos) << text;
}

// ============================================================ merging

// Four sequences (one strand searched, k = 4) with three blocks of windows:
// A at 0 (columns of 4, 3-1, 2-2 and 2-1-1 letters), B at 4 (four 3-1
// columns) and C at 8 (one column of 4 and three of 2-2). With bg 0.25 their
// information contents are about 1.76635, 1.79561 and 1.84241: B lies 0.029
// from A and 0.047 from C, C lies 0.076 from A.
const char kChainFasta[] =
    ">s1\nACGAACGTTAGC\n"
    ">s2\nACGAACGTTAGC\n"
    ">s3\nACTCACGTTCAT\n"
    ">s4\nAGTGCTAGTCAT\n";

std::vector<kmer> Block(int pos) { return {Site(0, pos), Site(1, pos), Site(2, pos), Site(3, pos)}; }

TEST(PostMerging, TheChainPremises) {
    Layer s(kChainFasta, 4, false);
    const double a = HandColumns(Words(s, Block(0)), kFlat).IC;
    const double b = HandColumns(Words(s, Block(4)), kFlat).IC;
    const double c = HandColumns(Words(s, Block(8)), kFlat).IC;
    EXPECT_NEAR(a, 1.76635, 1e-5);
    EXPECT_NEAR(b, 1.79561, 1e-5);
    EXPECT_NEAR(c, 1.84241, 1e-5);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    Individual C = GeneticModel(s, {8, 8, 8, 8});
    // Three different consensus strings: every model is a group of its own.
    EXPECT_STREQ(A.getCons(), "ACGA");
    EXPECT_STREQ(Bm.getCons(), "ACGT");
    EXPECT_STREQ(C.getCons(), "TAAC");
}

TEST(PostMerging, ModelsJoinOnlyWhenWithinDeltaOfTheFirst) {
    Layer s(kChainFasta, 4, false);
    ASSERT_EQ(s.data.GetDelta(), 0.05);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    Individual C = GeneticModel(s, {8, 8, 8, 8});

    // A, B, C: B joins A (0.029 apart); C is 0.076 from A and stays alone,
    // although it lies within delta of B.
    std::vector<Individual> pop = {A, Bm, C};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 2u);
    std::vector<kmer> ab = Block(0);
    for (const kmer& x : Block(4)) ab.push_back(x);
    EXPECT_EQ(Places(pop[0].Sites), Places(ab));
    EXPECT_EQ(Places(pop[1].Sites), Places(Block(8)));
    EXPECT_NEAR(pop[0].getIC(), HandColumns(Words(s, ab), kFlat).IC, 1e-12);
    EXPECT_NEAR(pop[1].getIC(), 1.84241, 1e-5);

    // B, A, C: A and C both lie within delta of B, so all three become one.
    pop = {Bm, A, C};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    std::vector<kmer> bac = Block(4);
    for (int p : {0, 8})
        for (const kmer& x : Block(p)) bac.push_back(x);
    EXPECT_EQ(Places(pop[0].Sites), Places(bac));

    // A and C alone: 0.076 apart, two models.
    pop = {A, C};
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_EQ(pop.size(), 2u);
}

TEST(PostMerging, ADifferenceOfExactlyDeltaDoesNotMerge) {
    Layer s(kChainFasta, 4, false);
    Individual A = GeneticModel(s, {0, 0, 0, 0});
    Individual Bm = GeneticModel(s, {4, 4, 4, 4});
    // The information contents the merge compares: those of the models
    // rebuilt from each group's sites.
    const double d = std::fabs(SiteModel(s, Block(0)).getIC() - SiteModel(s, Block(4)).getIC());
    ASSERT_GT(d, 0.0);

    s.data.SetDelta(d);
    std::vector<Individual> pop = {A, Bm};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 2u);
    EXPECT_EQ(Places(pop[0].Sites), Places(Block(0)));
    EXPECT_EQ(Places(pop[1].Sites), Places(Block(4)));

    s.data.SetDelta(std::nextafter(d, 1.0));
    pop = {A, Bm};
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_EQ(pop.size(), 1u);
}

// Two sequences of 8 letters, both strands (k = 4): strands 2 and 3 are the
// reverse complements of 0 and 1. A site at 3 on strand 2 mirrors one at
// 1 on strand 0 (8 - 1 - 4 = 3); 2 on strand 3 mirrors nothing chosen here.
const char kMirrorFasta[] = ">s1\nAACGTTGA\n>s2\nCCGATCAG\n";

TEST(PostMerging, IdenticalModelsCollapseAndMirrorsGo) {
    Layer s(kMirrorFasta, 4, true);
    ASSERT_EQ(s.data.Seqs.size(), 4u);
    Individual x = GeneticModel(s, {1, 0, 3, 2});
    x.setID(7);
    x.setMAPS(99.0);
    x.setSTD(5.0);
    std::vector<Individual> pop = {x, x, x};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    const Individual& m = pop[0];
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 1}, {1, 0}, {3, 2}}));
    // Built afresh from the sites: no genetic form, nothing kept from the input.
    EXPECT_TRUE(m.Genes.empty());
    EXPECT_TRUE(m.GeneMismatch.empty());
    EXPECT_EQ(m.getID(), 0);
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    const Columns c = HandColumns(Words(s, m.Sites), kFlat);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    EXPECT_NEAR(m.getMAPS(), (c.H + 8) * std::log2(3.0) / 4, 1e-12);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostMerging, ASingleMemberGroupKeepsItsMirrorSites) {
    Layer s(kMirrorFasta, 4, true);
    std::vector<Individual> pop = {GeneticModel(s, {1, 0, 3, 2})};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    EXPECT_EQ(Places(pop[0].Sites), (std::vector<Place>{{0, 1}, {1, 0}, {2, 3}, {3, 2}}));
    EXPECT_TRUE(pop[0].Genes.empty());
    EXPECT_EQ(pop[0].getGeneNo(), 4);
}

TEST(PostMerging, OverlappingSitesOnOneStrandBothStay) {
    Layer s(">s1\nACGTAC\n>s2\nACGTTT\n>s3\nACGTGG\n", 4, false);
    Individual x = GeneticModel(s, {0, 0, 0});
    Individual y = GeneticModel(s, {1, 0, 0});
    ASSERT_STREQ(y.getCons(), x.getCons());  // CGTA, ACGT, ACGT: still ACGT, so one group
    std::vector<Individual> pop = {x, y};
    s.engine.MergingStep(&s.data, &pop);
    ASSERT_EQ(pop.size(), 1u);
    EXPECT_EQ(Places(pop[0].Sites), (std::vector<Place>{{0, 0}, {1, 0}, {2, 0}, {0, 1}}));
}

TEST(PostMerging, EmptyPopulationStaysEmpty) {
    Layer s(kChainFasta, 4, false);
    std::vector<Individual> pop;
    s.engine.MergingStep(&s.data, &pop);
    EXPECT_TRUE(pop.empty());
}

// ============================================================ duplicate sites

// The pairwise procedure, written out: every later copy of an element, and
// every later element at its mirror position on another strand of the same
// name (mirror measured with the length of the lower-indexed strand), goes.
void PairwiseDuplicates(const Midlayer& d, int k, std::vector<kmer>& L) {
    for (size_t i = 0; i < L.size(); ++i) {
        for (size_t j = i + 1; j < L.size();) {
            bool drop = false;
            if (L[j].Pos == L[i].Pos && L[j].Strand == L[i].Strand) {
                drop = true;
            } else if (L[j].Strand == L[i].Strand) {
                drop = false;
            } else if (d.Seqs[L[i].Strand].Name() == d.Seqs[L[j].Strand].Name()) {
                const int lower = std::min(L[i].Strand, L[j].Strand);
                drop = L[j].Pos == d.Seqs[lower].len - L[i].Pos - k;
            }
            if (drop) {
                L.erase(L.begin() + static_cast<long>(j));
            } else {
                ++j;
            }
        }
    }
}

// Three sequences, two of them named alike with different lengths.
const char kSameNameFasta[] = ">a\nACGTACGTACGT\n>b\nCCGGAATTC\n>a\nTTTTGGGGCCCCAAA\n";

TEST(PostDuplicates, MirrorUsesTheLowerIndexedStrandsLength) {
    Layer s(kSameNameFasta, 4, true);
    ASSERT_EQ(s.data.Seqs.size(), 6u);  // a(12) b(9) a(15) and their reverse complements
    // Site 3 on strand 2 (length 15) against strand 0 (length 12): the mirror
    // is 12 - 3 - 4 = 5, not 15 - 3 - 4 = 8.
    std::vector<kmer> L = {Site(2, 3), Site(0, 5), Site(0, 8), Site(2, 3), Site(4, 2), Site(1, 3), Site(1, 2)};
    // Strand 1 (b, 9) and strand 4 (its reverse complement): 2 mirrors 9 - 2 - 4 = 3.
    s.engine.RemoveDuplicateSites(&s.data, L);
    EXPECT_EQ(Places(L), (std::vector<Place>{{2, 3}, {0, 8}, {4, 2}, {1, 2}}));
}

TEST(PostDuplicates, MatchesThePairwiseProcedure) {
    for (bool both : {true, false}) {
        Layer s(kSameNameFasta, 4, both);
        const int S = s.data.GetNumStrands();
        std::vector<std::vector<int>> sameName(S);
        for (int g = 0; g < S; ++g)
            for (int t = 0; t < S; ++t)
                if (t != g && s.data.Seqs[t].Name() == s.data.Seqs[g].Name()) sameName[g].push_back(t);
        uint32_t state = 20240611u;
        auto next = [&state](uint32_t n) {
            state = state * 1664525u + 1013904223u;
            return (state >> 8) % n;
        };
        int mirrorsMade = 0;
        int removedSomewhere = 0;
        for (int round = 0; round < 400; ++round) {
            std::vector<kmer> L;
            const int size = static_cast<int>(next(24));
            for (int e = 0; e < size; ++e) {
                kmer x{0, 0, static_cast<double>(e), -static_cast<double>(e)};  // scores mark each element
                const uint32_t pick = next(10);
                if (!L.empty() && pick < 2) {
                    const kmer& o = L[next(static_cast<uint32_t>(L.size()))];
                    x.Pos = o.Pos;
                    x.Strand = o.Strand;
                } else if (!L.empty() && pick < 5 && !sameName[L.back().Strand].empty()) {
                    const kmer& o = L[next(static_cast<uint32_t>(L.size()))];
                    if (sameName[o.Strand].empty()) continue;
                    const int t = sameName[o.Strand][next(static_cast<uint32_t>(sameName[o.Strand].size()))];
                    const int lower = std::min(t, static_cast<int>(o.Strand));
                    const int m = s.data.Seqs[lower].len - o.Pos - s.k;
                    if (m < 0 || m + s.k > s.data.Seqs[t].len) continue;
                    x.Pos = m;
                    x.Strand = t;
                    ++mirrorsMade;
                } else {
                    x.Strand = static_cast<int>(next(static_cast<uint32_t>(S)));
                    x.Pos = static_cast<int>(next(static_cast<uint32_t>(s.data.Seqs[x.Strand].len - s.k + 1)));
                }
                L.push_back(x);
            }
            std::vector<kmer> expected = L;
            PairwiseDuplicates(s.data, s.k, expected);
            std::vector<kmer> actual = L;
            s.engine.RemoveDuplicateSites(&s.data, actual);
            if (expected.size() < L.size()) ++removedSomewhere;
            ASSERT_EQ(actual.size(), expected.size()) << "round " << round << " both " << both;
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(actual[i].Pos, expected[i].Pos) << round << " " << i;
                EXPECT_EQ(actual[i].Strand, expected[i].Strand) << round << " " << i;
                EXPECT_EQ(actual[i].Score, expected[i].Score) << round << " " << i;  // the same element survives
            }
        }
        // The lists did exercise copies and mirrors.
        EXPECT_GT(mirrorsMade, 100) << both;
        EXPECT_GT(removedSomewhere, 100) << both;
    }
}

// ============================================================ site adding

TEST(PostAdding, TheCandidateWithTheLowestScoreIsAdded) {
    // Background: P(word) = product of q over its letters. With ACGT and ACGA
    // in the model and the flat window table, both words have mismatch 1/6,
    // which passes the test mismatch + std = 1/6 + 0. Their candidate scores
    // are 6 log2(0.0024) = -52.2 (ACGT, met first) and 6 log2(0.0006) = -64.2
    // (ACGA): ACGA goes in.
    const double q[4] = {0.1, 0.2, 0.3, 0.4};
    Layer s(">m1\nACGT\n>m2\nACGA\n>c1\nACGT\n>c2\nACGA\n", 4, false, MarkovBackground(q));
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    ASSERT_NEAR(m.getMismatch(), 1.0 / 6, 1e-15);
    ASSERT_EQ(m.getSTD(), 0.0);
    const double entryIC = m.getIC();
    s.engine.AddingStep(&m, &s.data);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{0, 0}, {1, 0}, {3, 0}}));
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    const Columns c = HandColumns({"ACGT", "ACGA", "ACGA"}, q);
    EXPECT_GT(c.IC, entryIC);
    EXPECT_NEAR(m.getIC(), c.IC, 1e-12);
    // Re-scored: the new site's mismatch against the new model is (1/3) / 3,
    // and its background score is -log2(0.0006) over it.
    EXPECT_NEAR(m.Sites[2].Score, 1.0 / 9, 1e-15);
    EXPECT_NEAR(m.Sites[2].BGScore, -std::log2(0.0006) * 9, 1e-9);
}

TEST(PostAdding, AnAdditionThatLowersInformationContentIsUndone) {
    // Model AAAA x3 and CCGT: mismatch 0.5, std sqrt(1/12); the only other
    // window, AAGG, has mismatch 2.25 / 3 = 0.75 <= 0.7887 and is taken, but
    // with it the information content falls from 1.7956 to 1.7165.
    Layer s(">s1\nAAAA\n>s2\nAAAA\n>s3\nAAAA\n>s4\nCCGT\n>s5\nAAGG\n", 4, false);
    s.FlatPosFreq();
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0), Site(2, 0), Site(3, 0)});
    ASSERT_NEAR(m.getMismatch(), 0.5, 1e-15);
    ASSERT_NEAR(m.getSTD(), std::sqrt(1.0 / 12), 1e-15);
    ASSERT_NEAR(m.CalculateMismatch(&s.data, "AAGG"), 0.75, 1e-15);
    ASSERT_NEAR(m.getIC(), 1.79561, 1e-5);
    ASSERT_NEAR(HandColumns({"AAAA", "AAAA", "AAAA", "CCGT", "AAGG"}, kFlat).IC, 1.71652, 1e-5);
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
}

TEST(PostAdding, AMirrorOfASiteIsNeverAdded) {
    // Both strands. ACGT and AGCT read the same on either strand, so the
    // windows of strands 0 and 1 mirror the model's sites on strands 3 and 4.
    // The background makes ACGT and AGCT rarer (B(ACG) = B(AGC) = 0.05), so the
    // mirrors would score best (3 log2 P = -30.97 against -24 for ACCT and
    // AGGT). The first of the two legal candidates, ACCT on strand 2, goes in.
    const double q[4] = {0.25, 0.25, 0.25, 0.25};
    Layer s(">s1\nACGT\n>s2\nAGCT\n>s3\nACCT\n", 4, true, MarkovBackground(q, {{"ACG", 0.05}, {"AGC", 0.05}}));
    s.FlatPosFreq();
    ASSERT_EQ(s.Window(3, 0), "ACGT");
    ASSERT_EQ(s.Window(4, 0), "AGCT");
    ASSERT_EQ(s.Window(5, 0), "AGGT");
    Individual m = SiteModel(s, {Site(3, 0), Site(4, 0)});
    ASSERT_NEAR(m.getMismatch(), 1.0 / 3, 1e-15);
    ASSERT_NEAR(m.CalculateMismatch(&s.data, "ACGT"), 1.0 / 3, 1e-15);  // the mirrors pass the test
    s.engine.AddingStep(&m, &s.data);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{3, 0}, {4, 0}, {2, 0}}));
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "AGCT", "ACCT"}, kFlat).IC, 1e-12);
}

TEST(PostAdding, AModelCoveringEveryCandidateIsLeftAlone) {
    // Strands 0 and 1 forward, 2 and 3 their reverse complements; sites on 2
    // and 1, whose mirrors are the windows of 0 and 3.
    Layer s(">s1\nACGT\n>s2\nAGCT\n", 4, true);
    Individual m = SiteModel(s, {Site(2, 0), Site(1, 0)});
    m.setMAPS(42.0);  // would be overwritten by a re-scoring
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
    EXPECT_EQ(m.getMAPS(), 42.0);
}

TEST(PostAdding, NoWindowPassingTheMismatchTestLeavesTheModelAlone) {
    // Two identical sites: mismatch + std = 0, and no other window is a copy.
    Layer s(">s1\nACGT\n>s2\nACGT\n>s3\nACGA\n>s4\nTTTTT\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 0), Site(1, 0)});
    m.setMAPS(42.0);
    const Individual entry = m;
    s.engine.AddingStep(&m, &s.data);
    ExpectSameModel(m, entry);
}

// ============================================================ site removing

// One strand searched, three sequences: strand 0 holds sites at 0, 4 and 8,
// strands 1 and 2 one site each at 0. Background scores are set by hand:
// (4,s0) 1, (0,s1) 2, (8,s0) 3, (0,s2) 4, (0,s0) 5. With n = 2, (0,s0) is
// trimmed and (4,s0), first in order on a strand with two sites, is tried.
Individual FiveSites(Layer& s) {
    Individual m = SiteModel(s, {Site(0, 0), Site(0, 4), Site(0, 8), Site(1, 0), Site(2, 0)});
    const double bg[5] = {5, 1, 3, 2, 4};
    for (int i = 0; i < 5; ++i) m.Sites[i].BGScore = bg[i];
    return m;
}

TEST(PostRemoving, TrimsThenRemovesAndKeepsTheRemovalWhenInformationRises) {
    // (4,s0) reads TTTT among ACGT sites: without it (and without the trimmed
    // (0,s0)) three ACGT remain, 2.868 bits against 2.448 with all five.
    Layer s(">s1\nACGTTTTTACGT\n>s2\nACGTCC\n>s3\nACGTGG\n", 4, false);
    Individual m = FiveSites(s);
    ASSERT_NEAR(m.getIC(), 2.44809, 1e-5);
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 8}, {2, 0}}));
    EXPECT_EQ(m.getGeneNo(), 3);
    EXPECT_EQ(m.getConLen(), 4);
    EXPECT_NEAR(m.getIC(), 2.86809, 1e-5);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostRemoving, AFallingRemovalPutsTheSiteBackAtTheEnd) {
    // Five ACGT sites: the three left would carry less information (2.868
    // against 3.406), so the removed (4,s0) comes back at the end; the
    // trimmed (0,s0) stays out.
    Layer s(">s1\nACGTACGTACGT\n>s2\nACGTCC\n>s3\nACGTGG\n", 4, false);
    Individual m = FiveSites(s);
    ASSERT_NEAR(m.getIC(), 3.40637, 1e-5);
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 8}, {2, 0}, {0, 4}}));
    EXPECT_EQ(m.getGeneNo(), 4);
    EXPECT_NEAR(m.getIC(), HandColumns({"ACGT", "ACGT", "ACGT", "ACGT"}, kFlat).IC, 1e-12);
    ExpectSameModel(m, SiteModel(s, m.Sites));
}

TEST(PostRemoving, OneSiteLimitOnASingleStrandChangesNothing) {
    // n = 1 would trim strand 0 to one site, but then no strand has two and no
    // site is chosen: both sites stay, in their order, and nothing is re-scored.
    Layer s(">s1\nACGTACGT\n>s2\nACGTCC\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 4), Site(1, 0), Site(0, 0)});
    m.Sites[0].BGScore = 1;
    m.Sites[1].BGScore = 2;
    m.Sites[2].BGScore = 0.5;
    m.setMAPS(42.0);
    const Individual entry = m;
    const int n = 1;
    s.engine.RemovingStep(&m, &s.data, n);
    ExpectSameModel(m, entry);
}

TEST(PostRemoving, OneSitePerStrandOnOneStrandIsNeverChanged) {
    Layer s(">s1\nACGTAC\n>s2\nACGTCC\n>s3\nTCGTGG\n", 4, false);
    for (int n : {1, 2, 5}) {
        Individual m = SiteModel(s, {Site(2, 0), Site(0, 1), Site(1, 0)});
        m.setMAPS(42.0);
        const Individual entry = m;
        s.engine.RemovingStep(&m, &s.data, n);
        ExpectSameModel(m, entry);
    }
}

TEST(PostRemoving, PartnerStrandsMakeASiteRemovable) {
    // Both strands, two sequences: strand 2 is the reverse complement of 0.
    // Order by background score: (0,s1) 0.5, (0,s2) 1, (0,s0) 3. Strand 1's
    // partner 3 holds nothing; strand 2's partner 0 does: (0,s2) is tried.
    // All four windows read ACGT, so removing lowers the information content
    // and the site comes back at the end.
    Layer s(">s1\nACGT\n>s2\nACGT\n", 4, true);
    s.FlatPosFreq();  // every window alike would leave no mismatch denominator
    Individual m = SiteModel(s, {Site(0, 0), Site(2, 0), Site(1, 0)});
    m.Sites[0].BGScore = 3;
    m.Sites[1].BGScore = 1;
    m.Sites[2].BGScore = 0.5;
    const int n = 2;
    s.engine.RemovingStep(&m, &s.data, n);
    EXPECT_EQ(Places(m.Sites), (std::vector<Place>{{1, 0}, {0, 0}, {2, 0}}));

    // One strand only: the same sites (strand 2 then has no partner) stay put.
    // (Here strand 2 is a third sequence.)
    Layer one(">s1\nACGT\n>s2\nACGT\n>s3\nACGT\n", 4, false);
    one.FlatPosFreq();
    Individual m1 = SiteModel(one, {Site(0, 0), Site(2, 0), Site(1, 0)});
    m1.setMAPS(42.0);
    const Individual entry = m1;
    one.engine.RemovingStep(&m1, &one.data, n);
    ExpectSameModel(m1, entry);
}

TEST(PostRemoving, NoLimitAndNoSitesChangeNothing) {
    Layer s(">s1\nACGTACGT\n>s2\nACGTCC\n", 4, false);
    Individual m = SiteModel(s, {Site(0, 0), Site(0, 4), Site(1, 0)});
    m.setMAPS(42.0);
    const Individual entry = m;
    for (int n : {0, -1}) {
        s.engine.RemovingStep(&m, &s.data, n);
        ExpectSameModel(m, entry);
    }
    Individual empty;
    empty.setConLen(4);
    const int n = 2;
    s.engine.RemovingStep(&empty, &s.data, n);
    EXPECT_TRUE(empty.Sites.empty());
    EXPECT_EQ(empty.getMAPS(), 0.0);
}

// ============================================================ driver

// Checks that hold for every model the driver returns.
void ExpectPostProcessed(Layer& s, const std::vector<Individual>& pop, int sitesPerStrand) {
    for (size_t r = 0; r < pop.size(); ++r) {
        const Individual& m = pop[r];
        EXPECT_TRUE(m.Genes.empty()) << r;
        ASSERT_FALSE(m.Sites.empty()) << r;
        EXPECT_EQ(m.getGeneNo(), static_cast<int>(m.Sites.size())) << r;
        EXPECT_EQ(m.getConLen(), s.k) << r;
        std::map<int, int> perStrand;
        for (const kmer& x : m.Sites) {
            ASSERT_GE(x.Pos, 0);
            ASSERT_LE(x.Pos + s.k, s.data.Seqs[x.Strand].len);
            ++perStrand[x.Strand];
        }
        for (const auto& e : perStrand) EXPECT_LE(e.second, sitesPerStrand) << r << " strand " << e.first;
        // The scores are those of the sites the model lists.
        EXPECT_NEAR(m.getIC(), HandColumns(Words(s, m.Sites), s.data.GetFreqInfo()).IC, 1e-9) << r;
        ExpectSameModel(m, SiteModel(s, m.Sites));
        if (r > 0) {
            EXPECT_GE(pop[r - 1].getMAPS(), m.getMAPS()) << r;
        }
    }
}

TEST(PostDriver, EmptyPopulationStaysEmpty) {
    Layer s(kChainFasta, 4, false);
    std::vector<Individual> pop;
    s.engine.PostProcessing(&s.data, &pop, 2);
    EXPECT_TRUE(pop.empty());
}

TEST(PostDriver, OneConsensusGivesOneModelWithinTheSiteLimit) {
    // Four models with consensus ACGT that differ on strand 0: merged, strand
    // 0 holds four sites; refinement trims it to the limit.
    Layer s(">s1\nACGTACGAACGCACGG\n>s2\nACGTCCCC\n>s3\nGGACGTGG\n>s4\nTTACGTTT\n", 4, false);
    std::vector<Individual> pop;
    for (int p : {0, 4, 8, 12}) pop.push_back(GeneticModel(s, {p, 0, 2, 2}));
    for (const Individual& m : pop) ASSERT_STREQ(m.getCons(), "ACGT");
    for (int limit : {2, 3}) {
        std::vector<Individual> work = pop;
        s.engine.PostProcessing(&s.data, &work, limit);
        ASSERT_EQ(work.size(), 1u) << limit;
        ExpectPostProcessed(s, work, limit);
    }
}

TEST(PostDriver, TheSiteLimitReachesEveryRemoval) {
    // Three models with consensus ACGT that differ on strand 0, where ACGT
    // stands at 0, 4 and 8: merged, strand 0 holds three copies. Nothing can
    // be added (every copy is a site) and removing any copy lowers the
    // information content, so only the trimming to the limit takes sites away.
    Layer s(">s1\nACGTACGTACGT\n>s2\nACGTCC\n>s3\nGGACGT\n>s4\nTTACGTTT\n", 4, false);
    std::vector<Individual> pop;
    for (int p : {0, 4, 8}) pop.push_back(GeneticModel(s, {p, 0, 2, 2}));
    for (int limit : {2, 3}) {
        std::vector<Individual> work = pop;
        s.engine.PostProcessing(&s.data, &work, limit);
        ASSERT_EQ(work.size(), 1u) << limit;
        ExpectPostProcessed(s, work, limit);
        int onZero = 0;
        for (const kmer& x : work[0].Sites) onZero += x.Strand == 0;
        EXPECT_EQ(onZero, limit);
        EXPECT_EQ(work[0].Sites.size(), static_cast<size_t>(3 + limit));
    }
}

TEST(PostDriver, RefinementRepeatsWhileInformationRises) {
    // Every sequence holds ACGT at 0 and 6; the model starts with the copies
    // at 0. Each cycle adds one more copy (its information content rises) and
    // the removal it then tries is undone, until every copy is a site.
    Layer s(">s1\nACGTCCACGT\n>s2\nACGTGGACGT\n>s3\nACGTTAACGT\n>s4\nACGTAAACGT\n", 4, false);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0, 0})};
    const int limit = 2;
    s.engine.PostProcessing(&s.data, &pop, limit);
    ASSERT_EQ(pop.size(), 1u);
    ExpectPostProcessed(s, pop, limit);
    std::vector<Place> places = Places(pop[0].Sites);
    std::sort(places.begin(), places.end());
    EXPECT_EQ(places, (std::vector<Place>{{0, 0}, {0, 6}, {1, 0}, {1, 6}, {2, 0}, {2, 6}, {3, 0}, {3, 6}}));
    EXPECT_NEAR(pop[0].getIC(), HandColumns(std::vector<std::string>(8, "ACGT"), kFlat).IC, 1e-12);
}

TEST(PostDriver, ModelsComeBackByMapScoreHighestFirst) {
    // A, B, C of the chain set rank by MAP score in the opposite order (on a
    // flat background the MAP score of four sites is half the information
    // content). A small delta keeps them apart.
    Layer s(kChainFasta, 4, false);
    s.data.SetDelta(0.01);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0, 0}), GeneticModel(s, {4, 4, 4, 4}),
                                   GeneticModel(s, {8, 8, 8, 8})};
    const int limit = 2;
    s.engine.PostProcessing(&s.data, &pop, limit);
    ASSERT_EQ(pop.size(), 3u);
    ExpectPostProcessed(s, pop, limit);
    EXPECT_GT(pop[0].getMAPS(), pop[2].getMAPS());
}

TEST(PostDriver, AModelThatCannotChangeComesBackAsMerged) {
    // Every window is a site of the model: nothing to add, one site per strand
    // on one strand: nothing to remove.
    Layer s(">s1\nACGT\n>s2\nACGT\n>s3\nACGA\n", 4, false);
    std::vector<Individual> pop = {GeneticModel(s, {0, 0, 0})};
    std::vector<Individual> merged = pop;
    s.engine.MergingStep(&s.data, &merged);
    s.engine.PostProcessing(&s.data, &pop, 2);
    ASSERT_EQ(pop.size(), 1u);
    ExpectSameModel(pop[0], merged[0]);
    EXPECT_TRUE(pop[0].Genes.empty());
}

}  // namespace
