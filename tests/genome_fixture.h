// A small test genome of real fly sequence (tests/data/dm3_upstream_excerpt.fa.gz:
// 100 upstream regions of 2,000 letters, lower case) joined into two
// chromosomes, with a motif planted at known places and a narrowPeak file of
// peaks whose summits lie near the sites.
#ifndef QIRO_TESTS_GENOME_FIXTURE_H
#define QIRO_TESTS_GENOME_FIXTURE_H

#include <zlib.h>

#include <string>
#include <vector>

#include "planted.h"

namespace genometest {

struct PlantedSite {
    std::string chrom;
    long long start;  // 0-based
};

struct PeakSet {
    std::vector<std::string> names;       // chromosome names
    std::vector<std::string> chromosomes; // their letters
    std::vector<PlantedSite> sites;
    std::string narrowPeak;  // one line per peak, summit in column 10
    std::string bed;         // the same peaks as BED6, centred on their middles
    std::vector<long long> summits;  // genome position of each summit (chromosome of sites[i])

    std::string Fasta() const {
        std::string text;
        for (size_t c = 0; c < names.size(); ++c) {
            text += ">" + names[c] + "\n";
            for (size_t i = 0; i < chromosomes[c].size(); i += 60) text += chromosomes[c].substr(i, 60) + "\n";
        }
        return text;
    }
    const std::string& Chrom(const std::string& name) const {
        return chromosomes[name == names[0] ? 0 : 1];
    }
};

// The excerpt's records, in order.
inline std::vector<std::string> ExcerptRecords() {
    std::vector<std::string> records;
    gzFile f = gzopen(QIRO_TEST_DATA "/dm3_upstream_excerpt.fa.gz", "rb");
    if (f == nullptr) return records;
    char line[256];
    while (gzgets(f, line, sizeof line) != nullptr) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (!l.empty() && l[0] == '>')
            records.emplace_back();
        else if (!records.empty())
            records.back() += l;
    }
    gzclose(f);
    return records;
}

// `peaks` peaks per chromosome, one every 6,400 letters from 3,000, the
// motif planted (on alternate strands) within 5 to 80 letters of its
// 100-letter summit window's start.
inline PeakSet MakePeakSet(const std::string& motif = "GTCACGGATTCA", int peaks = 15, uint32_t seed = 3) {
    PeakSet set;
    const std::vector<std::string> records = ExcerptRecords();
    set.names = {"chrA", "chrB"};
    set.chromosomes.assign(2, "");
    for (size_t i = 0; i < records.size(); ++i) set.chromosomes[i < records.size() / 2 ? 0 : 1] += records[i];
    planted::Lcg rng(seed);
    int n = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < peaks; ++i, ++n) {
            const long long summit = 3000 + 6400LL * i + rng.Below(500);
            const long long pos = summit - 50 + 5 + rng.Below(75);
            const std::string text = n % 2 == 0 ? motif : planted::ReverseComplement(motif);
            set.chromosomes[c].replace(static_cast<size_t>(pos), text.size(), text);
            set.sites.push_back({set.names[c], pos});
            const long long from = summit - 60 - rng.Below(140), to = summit + 60 + rng.Below(140);
            set.summits.push_back(summit);
            set.narrowPeak += set.names[c] + "\t" + std::to_string(from) + "\t" + std::to_string(to) + "\tpeak" +
                              std::to_string(n) + "\t0\t.\t1\t1\t1\t" + std::to_string(summit - from) + "\n";
            set.bed += set.names[c] + "\t" + std::to_string(from) + "\t" + std::to_string(to) + "\tpeak" +
                       std::to_string(n) + "\t0\t.\n";
        }
    }
    return set;
}

}  // namespace genometest

#endif
