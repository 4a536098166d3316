// Hand-built data layers and models shared by the post-processing tests: a
// background whose word values follow a Markov rule, a layer loaded from a
// FASTA text, site-list and genetic models on it, and hand-worked columns.
#ifndef QIRO_TESTS_POST_FIXTURE_H
#define QIRO_TESTS_POST_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_util.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

namespace posttest {

using clitest::WorkDir;

// A background file in which every word's value is q of its last letter, so
// that the probability of a word is the product of q over its letters. Words in
// `changed` take the given value instead; words in `left` are left out.
inline std::string MarkovBackground(const double q[4], const std::map<std::string, double>& changed = {},
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

inline kmer Site(int strand, int pos) { return kmer{pos, strand, 0.0, 0.0}; }

// A site-list model over the given sites, scored.
inline Individual SiteModel(Layer& s, const std::vector<kmer>& sites) {
    Individual m;
    m.setConLen(s.k);
    m.Sites = sites;
    m.setGeneNo(static_cast<int>(sites.size()));
    m.CalculateIndiFitness_vector(&s.data, s.data.GetFreqInfo());
    return m;
}

// A model in genetic form, one start per strand, scored as the search scores it.
inline Individual GeneticModel(Layer& s, const std::vector<int>& starts) {
    Individual m;
    m.setValues(static_cast<int>(starts.size()), s.k);
    m.CalculateIndiFitness(&s.data, s.data.GetFreqInfo(), starts);
    return m;
}

using Place = std::pair<int, int>;  // (strand, position)

inline std::vector<Place> Places(const std::vector<kmer>& sites) {
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
inline Columns HandColumns(const std::vector<std::string>& words, const double* bg) {
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

inline std::vector<std::string> Words(const Layer& s, const std::vector<kmer>& sites) {
    std::vector<std::string> out;
    for (const kmer& x : sites) out.push_back(s.Window(x.Strand, x.Pos));
    return out;
}

inline constexpr double kFlat[4] = {0.25, 0.25, 0.25, 0.25};

// Every field that scoring or a post-processing step may change.
inline void ExpectSameModel(const Individual& a, const Individual& b) {
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

// Four sequences (one strand searched, k = 4) with three blocks of windows:
// A at 0 (columns of 4, 3-1, 2-2 and 2-1-1 letters), B at 4 (four 3-1
// columns) and C at 8 (one column of 4 and three of 2-2). With bg 0.25 their
// information contents are about 1.76635, 1.79561 and 1.84241: B lies 0.029
// from A and 0.047 from C, C lies 0.076 from A.
inline constexpr char kChainFasta[] =
    ">s1\nACGAACGTTAGC\n"
    ">s2\nACGAACGTTAGC\n"
    ">s3\nACTCACGTTCAT\n"
    ">s4\nAGTGCTAGTCAT\n";

}  // namespace posttest

#endif  // QIRO_TESTS_POST_FIXTURE_H
