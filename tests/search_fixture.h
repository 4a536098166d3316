// Data layers, engines and seed finders shared by the genetic search tests:
// strands with every window admissible, and seeds whose draws are known.
#ifndef QIRO_TESTS_SEARCH_FIXTURE_H
#define QIRO_TESTS_SEARCH_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli_util.h"
#include "core/Constants.h"
#include "input/Midlayer.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

namespace searchtest {

using clitest::WorkDir;

// A data layer holding the strands of a FASTA text, motif width k, flat base
// frequencies and window statistics, and every window admissible.
struct Strands {
    WorkDir dir;
    Midlayer data;

    Strands(const std::string& fasta, int k, bool both) {
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
        AllWindows();
    }
    void AllWindows() {
        data.Candidates.assign(data.GetNumStrands(), {});
        for (int g = 0; g < data.GetNumStrands(); ++g)
            for (int p = 0; p + data.GetK() <= data.Seqs[g].len; ++p) data.Candidates[g].push_back(p);
    }
};

// An engine with the given population and width; the other settings default.
inline GAFrame Engine(int population, int k) {
    GAFrame e;
    const int generations = 10;
    const double replacement = DFLT_SUB, winner = DFLT_WIN, pk = DFLT_PKPER;
    e.setParameters(population, generations, replacement, winner, pk, k);
    return e;
}

inline std::vector<int> Draws(uint32_t seed, int n) {
    SeedRandom(seed);
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(Random());
    return v;
}

// The first seed from 1 on whose draws satisfy ok.
template <typename Pred>
uint32_t SeedWhere(int n, Pred ok) {
    for (uint32_t seed = 1;; ++seed)
        if (ok(Draws(seed, n))) return seed;
}

inline uint32_t SeedForFirstDraw(int value) {
    return SeedWhere(1, [value](const std::vector<int>& d) { return d[0] == value; });
}

// Members with the given mismatch scores, IDs 0, 1, ... in order.
inline std::vector<Individual> Members(const std::vector<double>& mismatches, int firstID = 0) {
    std::vector<Individual> v(mismatches.size());
    for (size_t i = 0; i < v.size(); ++i) {
        v[i].setMismatch(mismatches[i]);
        v[i].setID(firstID + static_cast<int>(i));
    }
    return v;
}

// Four strands of 30 letters.
inline constexpr char kFourSeqs[] =
    ">s1\nACGTTGCAAGCTTACGGATCCATGCAGTCA\n"
    ">s2\nTTGACCATGGCAACGTTAGCCTAGGATCCA\n"
    ">s3\nGGCATCGATCGTACGATGCAATTCGGACTA\n"
    ">s4\nCATGCATGCGTAGCTAGCTTAACGGTACCG\n";

}  // namespace searchtest

#endif  // QIRO_TESTS_SEARCH_FIXTURE_H
