// Writes the planted-motif benchmark sets into a folder:
//   B1.fa  200 sequences x 300 bp, a 12-bp motif
//   B2.fa  1,000 x 200 bp, a 10-bp motif, and B2.pk with 20 of its planted copies
//   B3.fa  5,000 x 200 bp, the same 10-bp motif
// The motif is planted in 60% of the sequences, each copy with one or two
// changed letters, on a random strand. The same seed always gives the same files.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "planted.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: make_bench_sets <folder> [seed]\n";
        return 1;
    }
    const std::string dir = argv[1];
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 2026;

    struct SetPlan {
        const char* name;
        int sequences;
        int length;
        const char* motif;
    };
    const SetPlan plans[] = {
        {"B1", 200, 300, "ATGCAAGGTCAC"},
        {"B2", 1000, 200, "ATGCAAGGTC"},
        {"B3", 5000, 200, "ATGCAAGGTC"},
    };
    for (const SetPlan& plan : plans) {
        planted::Options o;
        o.sequences = plan.sequences;
        o.length = plan.length;
        o.motif = plan.motif;
        o.share = 0.6;
        o.maxMutations = 2;
        o.seed = seed;
        const planted::Set set = planted::Make(o);
        if (!Write(dir + "/" + plan.name + ".fa", set.fasta)) {
            std::cerr << "make_bench_sets: cannot write into " << dir << "\n";
            return 1;
        }
        if (std::string(plan.name) == "B2") {
            // Known sites as a user would have them: planted copies, read in the motif's orientation.
            std::string pk;
            for (size_t i = 0; i < set.sites.size() && i < 20; ++i) {
                const planted::Site& s = set.sites[i];
                pk += (s.forward ? s.text : planted::ReverseComplement(s.text)) + "\n";
            }
            if (!Write(dir + "/B2.pk", pk)) return 1;
        }
        std::cout << plan.name << ": " << plan.sequences << " x " << plan.length << " bp, " << set.sites.size()
                  << " planted copies of " << plan.motif << "\n";
    }
    return 0;
}
