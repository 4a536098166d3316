// Command-line tests of whole runs: the result file line by line, sites on
// reverse strands reported on forward coordinates, the fallback result file,
// repeatable seeded runs and the recovery of a planted motif.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_util.h"
#include "planted.h"

namespace {

using clitest::Result;
using clitest::WorkDir;

const std::string kRule(79, '#');

struct SiteLine {
    std::string name;
    std::string letters;
    int flag = -1;
    int start = 0;
    int end = 0;
    double score = 0.0;
};

struct Rank {
    int number = 0;
    double mismatch = 0, ic = 0, complexity = 0;
    std::string cons;
    bool hasMAP = false;
    int sites = 0;
    double matrix[4][40] = {};
    std::vector<SiteLine> lines;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> v;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) v.push_back(line);
    return v;
}

// Reads a result file of motif width k, checking its layout line by line.
std::vector<Rank> ParseReport(const std::string& text, int k) {
    std::vector<Rank> ranks;
    const std::vector<std::string> L = Lines(text);
    size_t i = 0;
    auto next = [&]() -> std::string {
        if (i >= L.size()) {
            ADD_FAILURE() << "report ends early";
            return std::string();
        }
        return L[i++];
    };
    auto expectEmpty = [&](const char* where) {
        std::string s = next();
        EXPECT_EQ(s, "") << "line " << i << ", " << where;
    };
    // Banner and heading.
    expectEmpty("banner start");
    EXPECT_EQ(next().rfind("QIRO -- ", 0), 0u) << "banner title";
    expectEmpty("after title");
    EXPECT_EQ(next().rfind("\t\t\t ", 0), 0u) << "credit line";
    expectEmpty("after credit");
    expectEmpty("before heading");
    EXPECT_EQ(next(), "The Final Results:");
    expectEmpty("after heading");

    const std::regex head1(R"(Motif Model Mismatch Score: (\S+)\tInformation Content: (\S+))");
    const std::regex head2(R"(Complexity: (\S+)\tConsensus: ([ACGT]+)( MAP Score: (\S+))?)");
    const std::regex count(R"(No\. of sites: (\d+))");
    const std::regex site(R"(>(\S+)\t([ACGTacgtN]+)\t([01])\t(\d+)\t(\d+)\t(\S+))");
    std::string columns = " \t";
    for (int j = 1; j <= k; ++j) columns += std::to_string(j) + "  ";

    while (i < L.size() && !L[i].empty()) {
        Rank r;
        std::smatch m;
        const std::string title = next();
        if (title.rfind("Motif Rank #", 0) != 0) {
            ADD_FAILURE() << "expected a rank title at line " << i << ": " << title;
            break;
        }
        r.number = std::atoi(title.c_str() + 12);
        EXPECT_EQ(title, "Motif Rank #" + std::to_string(r.number));
        std::string s = next();
        if (std::regex_match(s, m, head1)) {
            r.mismatch = std::stod(m[1]);
            r.ic = std::stod(m[2]);
        } else {
            ADD_FAILURE() << "score line: " << s;
        }
        s = next();
        if (std::regex_match(s, m, head2)) {
            r.complexity = std::stod(m[1]);
            r.cons = m[2];
            r.hasMAP = m[3].matched;
        } else {
            ADD_FAILURE() << "complexity line: " << s;
        }
        s = next();
        if (std::regex_match(s, m, count))
            r.sites = std::stoi(m[1]);
        else
            ADD_FAILURE() << "site count line: " << s;
        expectEmpty("after the summary block");
        expectEmpty("before the matrix title");
        EXPECT_EQ(next(), "Position Frequency Matrix ");
        expectEmpty("after the matrix title");
        EXPECT_EQ(next(), columns);
        expectEmpty("after the column header");
        const char* labels = "ACGT";
        for (int b = 0; b < 4; ++b) {
            s = next();
            EXPECT_EQ(s.substr(0, 2), std::string(1, labels[b]) + "\t") << s;
            std::vector<std::string> cells;
            size_t at = 2;
            while (true) {
                size_t sep = s.find("  ", at);
                cells.push_back(s.substr(at, sep == std::string::npos ? std::string::npos : sep - at));
                if (sep == std::string::npos) break;
                at = sep + 2;
            }
            EXPECT_EQ(static_cast<int>(cells.size()), k) << s;
            for (int j = 0; j < k && j < static_cast<int>(cells.size()); ++j) r.matrix[b][j] = std::stod(cells[j]);
            expectEmpty("after a matrix row");
        }
        for (int n = 0; n < r.sites; ++n) {
            s = next();
            SiteLine x;
            if (std::regex_match(s, m, site)) {
                x.name = m[1];
                x.letters = m[2];
                x.flag = std::stoi(m[3]);
                x.start = std::stoi(m[4]);
                x.end = std::stoi(m[5]);
                x.score = std::stod(m[6]);
            } else {
                ADD_FAILURE() << "site line: " << s;
            }
            r.lines.push_back(x);
        }
        EXPECT_EQ(next(), kRule);
        expectEmpty("after the rule");
        ranks.push_back(r);
    }
    EXPECT_EQ(i, L.size()) << "text after the last rank";
    return ranks;
}

std::string RevComp(const std::string& s) {
    std::string r(s.rbegin(), s.rend());
    for (char& c : r) {
        switch (c) {
            case 'A': c = 'T'; break;
            case 'T': c = 'A'; break;
            case 'C': c = 'G'; break;
            case 'G': c = 'C'; break;
            case 'a': c = 't'; break;
            case 't': c = 'a'; break;
            case 'c': c = 'g'; break;
            case 'g': c = 'c'; break;
            default: c = 'N';
        }
    }
    return r;
}

int Hamming(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return 1 << 20;
    int d = 0;
    for (size_t i = 0; i < a.size(); ++i) d += a[i] != b[i];
    return d;
}

struct Fasta {
    std::vector<std::string> names;
    std::vector<std::string> seqs;
};

Fasta ReadFasta(const std::string& text) {
    Fasta f;
    for (const std::string& line : Lines(text)) {
        if (line.empty()) continue;
        if (line[0] == '>') {
            f.names.push_back(line.substr(1));
            f.seqs.emplace_back();
        } else {
            f.seqs.back() += line;
        }
    }
    return f;
}

// Checks one rank of a run without post-processing against its input: one
// site per strand in strand order, forward letters at forward coordinates,
// the matrix counting the strands' letters, the consensus and the mean score.
void CheckGeneticRank(const Rank& r, const Fasta& in, int k) {
    const int n = static_cast<int>(in.seqs.size());
    ASSERT_EQ(r.sites, 2 * n);
    ASSERT_EQ(static_cast<int>(r.lines.size()), 2 * n);
    EXPECT_FALSE(r.hasMAP);
    double counts[4][40] = {};
    double sum = 0;
    for (int s = 0; s < 2 * n; ++s) {
        const SiteLine& x = r.lines[s];
        const int seq = s % n;
        EXPECT_EQ(x.name, in.names[seq]);
        EXPECT_EQ(x.flag, s < n ? 1 : 0);
        EXPECT_EQ(x.end, x.start + k - 1);
        EXPECT_GE(x.start, 1);
        EXPECT_LE(x.end, static_cast<int>(in.seqs[seq].size()));
        if (x.start >= 1 && x.end <= static_cast<int>(in.seqs[seq].size())) {
            EXPECT_EQ(x.letters, in.seqs[seq].substr(x.start - 1, k)) << "site " << s;
        }
        // The strand itself holds the reverse complement of the reported letters.
        const std::string onStrand = x.flag == 1 ? x.letters : RevComp(x.letters);
        for (int j = 0; j < k && j < static_cast<int>(onStrand.size()); ++j) {
            const char c = static_cast<char>(std::toupper(onStrand[j]));
            const int b = c == 'A' ? 0 : c == 'C' ? 1 : c == 'G' ? 2 : 3;
            counts[b][j] += 1;
        }
        EXPECT_GE(x.score, 0.0);
        sum += x.score;
    }
    for (int j = 0; j < k; ++j) {
        int best = 0;
        for (int b = 0; b < 4; ++b) {
            EXPECT_NEAR(r.matrix[b][j], counts[b][j], 1e-4) << "base " << b << " column " << j;
            if (counts[b][j] > counts[best][j]) best = b;
        }
        EXPECT_EQ(r.cons[j], "ACGT"[best]) << "column " << j;
    }
    EXPECT_NEAR(r.mismatch, sum / (2 * n), 1e-4 + 1e-5 * r.mismatch);
    EXPECT_GT(r.ic, 0.0);
    EXPECT_GT(r.complexity, 0.01);
    EXPECT_LE(r.complexity, 1.0);
}

planted::Set Planted(int sequences, int length, uint32_t seed) {
    planted::Options o;
    o.sequences = sequences;
    o.length = length;
    o.motif = "ATGCAAGGTC";
    o.seed = seed;
    return planted::Make(o);
}

// ---------------------------------------------------------------- the result file

TEST(RunReport, LayoutOfTheFirstFiveRanksWithoutPostProcessing) {
    WorkDir w;
    const planted::Set set = Planted(8, 60, 11);
    w.write("in.fa", set.fasta);
    w.write("bg.freq", clitest::FlatBackground());
    w.write("res.out", "stale text of an earlier run\n");
    Result r = w.qiro("-i in.fa -freq bg.freq -k 8 -p 10 -g 10 -post F -seed 5 -o res.out");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string text = w.read("res.out");
    EXPECT_EQ(text.find("stale"), std::string::npos);
    // The banner is the one the run printed first.
    const size_t heading = text.find("\nThe Final Results:\n\n");
    ASSERT_NE(heading, std::string::npos);
    EXPECT_EQ(r.out.substr(0, heading), text.substr(0, heading));

    const std::vector<Rank> ranks = ParseReport(text, 8);
    // A population of 10 gives ranks 1 to 5 only.
    ASSERT_EQ(ranks.size(), 5u);
    const Fasta in = ReadFasta(set.fasta);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("rank " + std::to_string(i + 1));
        EXPECT_EQ(ranks[i].number, i + 1);
        CheckGeneticRank(ranks[i], in, 8);
        // Without post-processing the models come in ascending mismatch order.
        if (i > 0) {
            EXPECT_LE(ranks[i - 1].mismatch, ranks[i].mismatch);
        }
    }
}

TEST(RunReport, SitesOnReverseStrandsGetForwardLettersAndCoordinates) {
    // Every sequence has exactly 8 letters: one admissible start per strand, so
    // every model holds the same sites.
    const std::vector<std::string> words = {"ACGTTGCA", "GATTACAG", "CCTAGGAT", "TTGACGCA", "AGCTCAGT",
                                            "CATGGTAC", "gtcaAGTC", "TACGCTGA", "GGATCCAT", "CAGTTGAC"};
    std::string fasta;
    for (size_t i = 0; i < words.size(); ++i) fasta += ">w" + std::to_string(i + 1) + "\n" + words[i] + "\n";
    WorkDir w;
    w.write("in.fa", fasta);
    w.write("bg.freq", clitest::FlatBackground());
    Result r = w.qiro("-i in.fa -freq bg.freq -k 8 -p 10 -g 10 -post F -seed 3 -o res.out");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<Rank> ranks = ParseReport(w.read("res.out"), 8);
    ASSERT_EQ(ranks.size(), 5u);
    const Fasta in = ReadFasta(fasta);
    for (const Rank& rank : ranks) {
        CheckGeneticRank(rank, in, 8);
        ASSERT_EQ(rank.lines.size(), 20u);
        for (int s = 0; s < 20; ++s) {
            const SiteLine& x = rank.lines[s];
            // The reverse strand's only window is the whole reverse complement;
            // the report turns it back into the letters of the forward sequence.
            EXPECT_EQ(x.letters, words[s % 10]) << s;
            EXPECT_EQ(x.flag, s < 10 ? 1 : 0) << s;
            EXPECT_EQ(x.start, 1) << s;
            EXPECT_EQ(x.end, 8) << s;
        }
        // All models are the same model.
        EXPECT_EQ(rank.cons, ranks[0].cons);
        EXPECT_EQ(rank.mismatch, ranks[0].mismatch);
    }
}

TEST(RunReport, ReverseStrandSiteInsideALongerSequence) {
    // Nine sequences are exactly the palindrome ACGTACGT; the tenth holds it at
    // 0-based 10 of 20 letters, so on its reverse strand at 0-based 2. Every
    // other window of the tenth sequence differs from it in at least 5 letters.
    std::string fasta;
    for (int i = 1; i <= 9; ++i) fasta += ">p" + std::to_string(i) + "\nACGTACGT\n";
    fasta += ">long\nTTTTTTTTTTACGTACGTTT\n";
    WorkDir w;
    w.write("in.fa", fasta);
    w.write("bg.freq", clitest::FlatBackground());
    Result r = w.qiro("-i in.fa -freq bg.freq -k 8 -p 20 -g 30 -post F -seed 2 -o res.out");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<Rank> ranks = ParseReport(w.read("res.out"), 8);
    ASSERT_FALSE(ranks.empty());
    const Rank& best = ranks[0];
    CheckGeneticRank(best, ReadFasta(fasta), 8);
    EXPECT_EQ(best.cons, "ACGTACGT");
    EXPECT_EQ(best.mismatch, 0.0);
    ASSERT_EQ(best.lines.size(), 20u);
    const SiteLine& fwd = best.lines[9];
    const SiteLine& rev = best.lines[19];
    EXPECT_EQ(fwd.name, "long");
    EXPECT_EQ(fwd.flag, 1);
    EXPECT_EQ(fwd.start, 11);
    EXPECT_EQ(fwd.end, 18);
    EXPECT_EQ(fwd.letters, "ACGTACGT");
    // Reverse strand, position 2 of 20: 20 - 2 - 8 + 1 = 11 to 18 on the forward sequence.
    EXPECT_EQ(rev.name, "long");
    EXPECT_EQ(rev.flag, 0);
    EXPECT_EQ(rev.start, 11);
    EXPECT_EQ(rev.end, 18);
    EXPECT_EQ(rev.letters, "ACGTACGT");
}

TEST(RunReport, UnopenableResultFileFallsBackToQiroOut) {
    WorkDir w;
    const planted::Set set = Planted(6, 40, 4);
    w.write("in.fa", set.fasta);
    w.write("bg.freq", clitest::FlatBackground());
    w.write("qiro.out", "stale text of an earlier run\n");
    Result r = w.qiro("-i in.fa -freq bg.freq -k 8 -p 10 -g 10 -post F -seed 1 -o missing/folder/res.out");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("ERROR: Cannot open file named missing/folder/res.out\n"
                         "Using Default output file \"qiro.out\" instead\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(w.exists("missing"));
    const std::string text = w.read("qiro.out");
    EXPECT_EQ(text.find("stale"), std::string::npos);
    const std::vector<Rank> ranks = ParseReport(text, 8);
    ASSERT_EQ(ranks.size(), 5u);
    CheckGeneticRank(ranks[0], ReadFasta(set.fasta), 8);
}

// ---------------------------------------------------------------- repeatable runs

// The standard output of a run without its elapsed-time line.
std::string WithoutTime(const std::string& out) {
    std::string kept;
    for (const std::string& line : Lines(out))
        if (line.rfind("Time taken: ", 0) != 0) kept += line + "\n";
    return kept;
}

TEST(RunRepeat, SameSeedGivesByteIdenticalResults) {
    const planted::Set set = Planted(10, 80, 6);
    for (const char* post : {"-post F", "-post T"}) {
        SCOPED_TRACE(post);
        std::string reports[2], outs[2];
        for (int run = 0; run < 2; ++run) {
            WorkDir w;
            w.write("in.fa", set.fasta);
            w.write("bg.freq", clitest::FlatBackground());
            Result r = w.qiro(std::string("-i in.fa -freq bg.freq -k 8 -p 20 -g 15 -seed 12345 -o res.out ") + post);
            ASSERT_EQ(r.status, 0) << r.out;
            reports[run] = w.read("res.out");
            outs[run] = WithoutTime(r.out);
        }
        EXPECT_NE(reports[0].find("Motif Rank #1"), std::string::npos);
        EXPECT_EQ(reports[0], reports[1]);
        EXPECT_EQ(outs[0], outs[1]);
    }
}

TEST(RunRepeat, ADifferentSeedGivesADifferentSearch) {
    const planted::Set set = Planted(10, 80, 6);
    WorkDir w;
    w.write("in.fa", set.fasta);
    w.write("bg.freq", clitest::FlatBackground());
    std::string reports[2];
    const char* seeds[2] = {"1", "2"};
    for (int run = 0; run < 2; ++run) {
        Result r = w.qiro(std::string("-i in.fa -freq bg.freq -k 8 -p 10 -g 10 -post F -o res.out -seed ") +
                          seeds[run]);
        ASSERT_EQ(r.status, 0) << r.out;
        reports[run] = w.read("res.out");
    }
    EXPECT_NE(reports[0], reports[1]);
}

// ---------------------------------------------------------------- planted motif

TEST(PlantedMotif, DefaultSettingsRankThePlantedMotifFirst) {
    // 20 sequences of 150 letters, one copy of ATGCAAGGTC each on a random strand.
    const planted::Set set = Planted(20, 150, 2);
    ASSERT_EQ(set.sites.size(), 20u);
    WorkDir w;
    w.write("in.fa", set.fasta);
    w.write("bg.freq", clitest::FlatBackground());
    Result r = w.qiro("-i in.fa -freq bg.freq -k 10 -post F -seed 1 -o res.out");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<Rank> ranks = ParseReport(w.read("res.out"), 10);
    ASSERT_EQ(ranks.size(), 5u);
    const Rank& best = ranks[0];
    CheckGeneticRank(best, ReadFasta(set.fasta), 10);

    const std::string motif = "ATGCAAGGTC";
    const bool asWritten = Hamming(best.cons, motif) <= 1;
    const bool asReverse = Hamming(best.cons, RevComp(motif)) <= 1;
    ASSERT_TRUE(asWritten || asReverse) << "consensus " << best.cons;

    // A planted copy that reads like the consensus lies on the strand the
    // model uses in that orientation.
    int found = 0;
    for (size_t i = 0; i < set.sites.size(); ++i) {
        const planted::Site& p = set.sites[i];
        const bool onForwardStrand = p.forward == asWritten;
        const SiteLine& x = best.lines[onForwardStrand ? i : i + 20];
        EXPECT_EQ(x.name, p.name);
        if (x.start == p.start + 1) {
            ++found;
            EXPECT_EQ(x.letters, p.text) << p.name;
        }
    }
    EXPECT_GE(found, 15) << "planted sites found on " << found << " of 20 sequences";
    std::printf("planted sites found on %d of 20 sequences\n", found);
}

}  // namespace
