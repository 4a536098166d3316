// The judge of small inputs: an A/T-rich word in the A/T-rich half of a mixed
// input is what those sequences' make-up gives, and does not pass; the same
// word planted in sequences of even make-up does.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "judge/MotifScan.h"
#include "judge/WholeJudge.h"
#include "motif/MotifCompare.h"

namespace {

// n sequences of 300 letters, A or T with chance `at` (each half and half).
std::vector<SeqRecord> Make(int n, double at, unsigned seed, const std::string& plant = "") {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<SeqRecord> out;
    for (int i = 0; i < n; ++i) {
        std::string s(300, 'A');
        for (char& c : s) c = u(rng) < at ? (u(rng) < 0.5 ? 'A' : 'T') : (u(rng) < 0.5 ? 'C' : 'G');
        if (!plant.empty()) s.replace(100 + rng() % 100, plant.size(), plant);
        SeqRecord r;
        r.Assign("s" + std::to_string(i), s.data(), s.size());
        out.push_back(r);
    }
    return out;
}

double Log10E(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls, const std::string& word) {
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    Candidate c;
    c.width = static_cast<int>(word.size());
    for (int j = 0; j < c.width; ++j)
        for (int b = 0; b < B; ++b) c.count[b][j] = "ACGT"[b] == word[static_cast<size_t>(j)] ? 9.0 : 1.0;
    c.nsites = 12;
    c.scores = LogOddsFromCounts(c.count, c.width, bg);
    c.columns = ColumnsFromCounts(c.count, c.width);
    LlrNull null(bg);
    const std::vector<Verdict> v = JudgeOnEverySequence({c}, 0, 1, input, controls, true, 1, null, 1);
    return v.at(0).held.log10p;
}

TEST(WholeJudge, AWordOfTheInputsOwnMakeUpDoesNotPassWhereAPlantedOneDoes) {
    const std::string word = "AATTAATTAATA";
    // Controls of even make-up, so that the input against controls alone would pass:
    // only the alignment's own likelihood ratio can hold the word back.
    const std::vector<SeqRecord> controls = Make(120, 0.5, 3);
    std::vector<SeqRecord> mixed = Make(6, 0.9, 1);
    for (const SeqRecord& r : Make(6, 0.1, 2)) mixed.push_back(r);
    EXPECT_GT(Log10E(mixed, controls, word), std::log10(0.05));
    const std::vector<SeqRecord> planted = Make(12, 0.5, 4, word);
    EXPECT_LT(Log10E(planted, controls, word), -5.0);
}

}  // namespace
