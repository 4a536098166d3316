// Reading genome coordinates out of sequence names (the BED output) and the
// letter shares of a model view.
#include <gtest/gtest.h>

#include <sstream>

#include <string>

#include "report/BedFormat.h"
#include "report/JasparFormat.h"
#include "report/MemeFormat.h"

namespace {

struct RegionCase {
    std::string name;
    int length;
    bool genomic;
    std::string chrom;
    long start;
    bool minus;
};

TEST(UnitOutputs, RegionNamesInTheStylesOfGenomeTools) {
    const RegionCase cases[] = {
        {"chr1:100-200", 100, true, "chr1", 100, false},          // 0-based half-open
        {"chr1:101-200", 100, true, "chr1", 100, false},          // 1-based inclusive
        {"chr7:100-200(-)", 100, true, "chr7", 100, true},        // read backwards
        {"chr7:100-200(+)", 100, true, "chr7", 100, false},
        {"HLA:01:02:0-10", 10, true, "HLA:01:02", 0, false},      // the last colon counts
        {"chr1:1-1", 1, true, "chr1", 0, false},
        {"chr1:100-200", 50, false, "", 0, false},                // length fits neither reading
        {"chr1:0-9", 10, false, "", 0, false},                    // 1-based starts at 1
        {"chr1:200-100", 100, false, "", 0, false},
        {"chr1:1e2-200", 100, false, "", 0, false},
        {"chr1:100-", 100, false, "", 0, false},
        {":100-200", 100, false, "", 0, false},
        {"seq1", 100, false, "", 0, false},
        {"chr1:100-200(-", 100, false, "", 0, false},
    };
    for (const RegionCase& c : cases) {
        GenomicRegion r;
        ASSERT_EQ(ParseRegionName(c.name, c.length, r), c.genomic) << c.name;
        if (!c.genomic) continue;
        EXPECT_EQ(r.chrom, c.chrom) << c.name;
        EXPECT_EQ(r.start, c.start) << c.name;
        EXPECT_EQ(r.minus, c.minus) << c.name;
    }
}

TEST(UnitOutputs, SharesAreCountsOverTheColumnTotal) {
    ModelView m;
    m.width = 2;
    m.counts = {{3, 0}, {1, 0}, {0, 0}, {4, 0}};
    const auto p = m.Probabilities();
    EXPECT_DOUBLE_EQ(p[0][0], 0.375);
    EXPECT_DOUBLE_EQ(p[1][0], 0.125);
    EXPECT_DOUBLE_EQ(p[2][0], 0.0);
    EXPECT_DOUBLE_EQ(p[3][0], 0.5);
    // A column without letters has no preference.
    for (int b = 0; b < 4; ++b) EXPECT_DOUBLE_EQ(p[b][1], 0.25);
}

TEST(UnitOutputs, AMatrixThatIsNotItsSitesLettersSaysSoInMemeAndJaspar) {
    ModelView m;
    m.id = "QIRO-1";
    m.consensus = "AT";
    m.width = 2;
    m.judged = true;
    m.evalue = "0.01";
    m.counts = {{3, 0}, {0, 0}, {0, 0}, {0, 3}};
    const double bg[4] = {0.25, 0.25, 0.25, 0.25};
    for (bool settled : {true, false}) {
        m.settled = settled;
        m.refits = settled ? 2 : 10;
        std::ostringstream meme, jaspar;
        WriteMeme(meme, {m}, bg, true);
        WriteJaspar(jaspar, {m});
        const bool memeNote = meme.str().find("# QIRO-1: the matrix that called the sites; their own letters differ "
                                              "(not settled after 10 refits)\n") != std::string::npos;
        const bool jasparNote = jaspar.str().find(">QIRO-1\tAT (the matrix that called the sites)\n") != std::string::npos;
        EXPECT_EQ(memeNote, !settled);
        EXPECT_EQ(jasparNote, !settled);
    }
}

}  // namespace
