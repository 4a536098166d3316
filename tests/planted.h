// Deterministic planted-motif data sets for tests and benchmarks: random
// sequences with one copy of a known motif in some of them, on a random strand.
#ifndef QIRO_TESTS_PLANTED_H
#define QIRO_TESTS_PLANTED_H

#include <cstdint>
#include <string>
#include <vector>

namespace planted {

struct Site {
    std::string name;
    int start;        // 0-based start on the sequence as written
    bool forward;     // the motif reads forward (else its reverse complement is written)
    std::string text; // the letters written at start .. start + width - 1
};

struct Set {
    std::string fasta;
    std::vector<Site> sites;
    std::vector<std::string> names;
};

struct Options {
    int sequences = 20;
    int length = 150;
    std::string motif = "TGACGTCATG";
    double share = 1.0;     // share of sequences that receive a copy
    int maxMutations = 0;   // each copy gets 0..maxMutations changed letters (at least 1 when above 0)
    uint32_t seed = 1;
};

// Its own generator, so that making a data set never disturbs the program's random source.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state_;
};

inline std::string ReverseComplement(const std::string& s) {
    std::string r(s.rbegin(), s.rend());
    for (char& c : r) c = c == 'A' ? 'T' : c == 'T' ? 'A' : c == 'C' ? 'G' : 'C';
    return r;
}

inline Set Make(const Options& o) {
    Set set;
    Lcg rng(o.seed);
    const char* L = "ACGT";
    const int w = static_cast<int>(o.motif.size());
    for (int i = 0; i < o.sequences; ++i) {
        std::string seq(o.length, 'A');
        for (char& c : seq) c = L[rng.Below(4)];
        std::string name = "seq" + std::to_string(i + 1);
        set.names.push_back(name);
        if (rng.Below(1000) < static_cast<int>(o.share * 1000)) {
            std::string copy = o.motif;
            if (o.maxMutations > 0) {
                int changes = 1 + rng.Below(o.maxMutations);
                for (int m = 0; m < changes; ++m) {
                    int p = rng.Below(w);
                    char old = copy[p];
                    while (copy[p] == old) copy[p] = L[rng.Below(4)];
                }
            }
            bool forward = rng.Below(2) == 0;
            std::string text = forward ? copy : ReverseComplement(copy);
            int start = rng.Below(o.length - w + 1);
            seq.replace(start, w, text);
            set.sites.push_back({name, start, forward, text});
        }
        set.fasta += ">" + name + "\n";
        for (int p = 0; p < o.length; p += 60) set.fasta += seq.substr(p, 60) + "\n";
    }
    return set;
}

}  // namespace planted

#endif
