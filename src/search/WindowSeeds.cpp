#include "search/WindowSeeds.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/Parallel.h"

namespace {

// One sequence's admissible windows: their letters, forward and reverse
// complemented, 2 bits per letter, and where they start.
struct SeqWindows {
    std::vector<uint64_t> fwd, rev;
    std::vector<int> pos;
};

SeqWindows WindowsOf(const SeqRecord& r, int w) {
    SeqWindows out;
    int lastBad = -1;
    const std::vector<uint64_t>& m = r.shared->masked;
    for (int i = 0; i < r.len; ++i) {
        const bool bad = r.code[static_cast<size_t>(i)] == BASE_NONE ||
                         (!m.empty() && ((m[static_cast<size_t>(i) >> 6] >> (i & 63)) & 1u));
        if (bad) lastBad = i;
        if (i < w - 1 || lastBad > i - w) continue;
        const int p = i - w + 1;
        const uint64_t x = r.Bits(p, w);
        out.fwd.push_back(x);
        out.rev.push_back(SeqRecord::ReverseComplementBits(x, w));
        out.pos.push_back(p);
    }
    return out;
}

// The closest window of one sequence to the seed: its distance (w + 1 when
// the sequence has none), index and strand.
struct Closest {
    int d = 0, at = -1;
    bool reverse = false;
};

Closest ClosestWindow(const SeqWindows& s, uint64_t seed, int w, bool both) {
    Closest c;
    c.d = w + 1;
    for (size_t j = 0; j < s.fwd.size() && c.d > 0; ++j) {
        const int f = PackedDifferences(s.fwd[j], seed);
        if (f < c.d) c = Closest{f, static_cast<int>(j), false};
        if (!both) continue;
        const int r = PackedDifferences(s.rev[j], seed);
        if (r < c.d) c = Closest{r, static_cast<int>(j), true};
    }
    return c;
}

// log10 of P(X >= k) for X binomial(n, q).
double Log10BinomialTail(int k, int n, double q) {
    if (k <= 0) return 0.0;
    if (q <= 0.0) return -INFINITY;
    if (q >= 1.0) return 0.0;
    double top = -INFINITY;
    std::vector<double> terms;
    for (int i = k; i <= n; ++i) {
        terms.push_back(LogChoose(n, i) + i * std::log(q) + (n - i) * std::log1p(-q));
        top = std::max(top, terms.back());
    }
    double sum = 0.0;
    for (double t : terms) sum += std::exp(t - top);
    return (top + std::log(sum)) / std::log(10.0);
}

// P(a random window is within d letters of the seed), d = 0 .. w, for
// letters drawn from `share`: the distribution of the mismatch count, summed.
std::vector<double> WithinChance(const std::vector<uint8_t>& letters, const double share[4]) {
    std::vector<double> dist(letters.size() + 1, 0.0);
    dist[0] = 1.0;
    for (size_t i = 0; i < letters.size(); ++i) {
        const double miss = 1.0 - share[letters[i]];
        for (size_t d = i + 1; d > 0; --d) dist[d] = dist[d] * (1.0 - miss) + dist[d - 1] * miss;
        dist[0] *= 1.0 - miss;
    }
    for (size_t d = 1; d < dist.size(); ++d) dist[d] += dist[d - 1];
    return dist;
}

struct Scored {
    size_t seq = 0;
    int at = 0;          // window index in its sequence
    double first = 0.0;  // first pass: best log10 binomial tail
    WindowSeed seed;
    std::vector<Closest> closest;  // per input sequence
};

// First pass: the seed's best binomial tail over d = 0 .. dMax among the
// other input sequences.
double FirstPassScore(const std::vector<SeqWindows>& in, size_t own, uint64_t x, int w, int dMax, bool both,
                      const std::vector<double>& within) {
    std::vector<int> closest;
    std::vector<size_t> lengths;
    for (size_t t = 0; t < in.size(); ++t) {
        if (t == own || in[t].fwd.empty()) continue;
        closest.push_back(ClosestWindow(in[t], x, w, both).d);
        lengths.push_back(in[t].fwd.size() * (both ? 2 : 1));
    }
    double best = 0.0;
    for (int d = 0; d <= dMax; ++d) {
        int k = 0;
        double q = 0.0;
        for (size_t t = 0; t < closest.size(); ++t) {
            k += closest[t] <= d;
            q += 1.0 - std::pow(1.0 - within[static_cast<size_t>(d)], static_cast<double>(lengths[t]));
        }
        if (closest.empty()) break;
        best = std::min(best, Log10BinomialTail(k, static_cast<int>(closest.size()), q / closest.size()));
    }
    return best;
}

std::string Upper(const SeqRecord& r, int pos, int w, bool reverse) {
    std::string s = r.Letters(pos, w);
    for (char& c : s) c = static_cast<char>(c & ~0x20);
    return reverse ? ReverseComplement(s) : s;
}

// Counts in input and controls of the seed x at each d, the d of the best
// Fisher p kept.
void Count(Scored& s, uint64_t x, const std::vector<SeqWindows>& in, const std::vector<SeqWindows>& ctl, int w,
           int dMax, bool both) {
    std::vector<int> cd;
    int n1 = 0, n2 = 0;
    s.closest.clear();
    for (const SeqWindows& t : in) {
        s.closest.push_back(ClosestWindow(t, x, w, both));
        n1 += !t.fwd.empty();
    }
    for (const SeqWindows& t : ctl) {
        cd.push_back(ClosestWindow(t, x, w, both).d);
        n2 += !t.fwd.empty();
    }
    WindowSeed& seed = s.seed;
    seed = WindowSeed();
    for (int d = 0; d <= dMax; ++d) {
        int a = 0, b = 0;
        for (const Closest& c : s.closest) a += c.d <= d;
        for (int c : cd) b += c <= d;
        const FisherResult p = FisherEnrichment(a, n1, b, n2);
        if (d > 0 && p.log10p >= seed.p.log10p) continue;
        seed.mismatches = d;
        seed.a = a, seed.n1 = n1, seed.b = b, seed.n2 = n2, seed.p = p;
    }
    seed.consensus.assign(static_cast<size_t>(w), 'A');
    for (int j = 0; j < w; ++j) seed.consensus[static_cast<size_t>(j)] = "ACGT"[(x >> (2 * j)) & 3u];
}

// The commonest letter of each column among the seed's sites: a consensus
// nearer the motif than the one window it started from.
uint64_t Consensus(const Scored& s, const std::vector<SeqWindows>& in, int w) {
    std::vector<int> n(static_cast<size_t>(4 * w), 0);
    for (size_t t = 0; t < in.size(); ++t) {
        const Closest& c = s.closest[t];
        if (c.d > s.seed.mismatches) continue;
        const uint64_t y = (c.reverse ? in[t].rev : in[t].fwd)[static_cast<size_t>(c.at)];
        for (int j = 0; j < w; ++j) ++n[static_cast<size_t>(4 * j + static_cast<int>((y >> (2 * j)) & 3u))];
    }
    uint64_t x = 0;
    for (int j = 0; j < w; ++j) {
        int best = 0;
        for (int b = 1; b < 4; ++b)
            if (n[static_cast<size_t>(4 * j + b)] > n[static_cast<size_t>(4 * j + best)]) best = b;
        x |= static_cast<uint64_t>(best) << (2 * j);
    }
    return x;
}

// Second pass: the seed counted in the controls too, then moved to its
// sites' consensus while that lowers the Fisher p-value.
void Rescore(Scored& s, const std::vector<SeqWindows>& in, const std::vector<SeqWindows>& ctl, int w, int dMax,
             bool both) {
    uint64_t x = in[s.seq].fwd[static_cast<size_t>(s.at)];
    Count(s, x, in, ctl, w, dMax, both);
    for (int round = 0; round < kSeedRefinements; ++round) {
        const uint64_t y = Consensus(s, in, w);
        if (y == x) break;
        Scored moved = s;
        Count(moved, y, in, ctl, w, dMax, both);
        if (moved.seed.p.log10p >= s.seed.p.log10p) break;
        s = std::move(moved);
        x = y;
    }
}

// Whether half or more of s's sites sit on (overlap by more than half a
// width) a kept seed's site in the same sequence.
bool Repeats(const Scored& s, const std::vector<Scored>& kept, const std::vector<SeqWindows>& in, int w) {
    for (const Scored& k : kept) {
        int mine = 0, shared = 0;
        for (size_t t = 0; t < in.size(); ++t) {
            const Closest& c = s.closest[t];
            if (c.d > s.seed.mismatches) continue;
            ++mine;
            const Closest& o = k.closest[t];
            if (o.d > k.seed.mismatches) continue;
            const int gap = std::abs(in[t].pos[static_cast<size_t>(c.at)] - in[t].pos[static_cast<size_t>(o.at)]);
            shared += 2 * gap < w;
        }
        if (mine > 0 && 2 * shared >= mine) return true;
    }
    return false;
}

}  // namespace

int SeedMismatches(int width) { return std::max(1, (width + 2) / 4); }

std::vector<WindowSeed> EnrichedWindows(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        int width, bool bothStrands, int keep, int threads) {
    const int w = width;
    if (w < 2 || w > kMaxSeedWidth) throw std::invalid_argument("seed width out of range");
    const int dMax = SeedMismatches(w);
    std::vector<SeqWindows> in, ctl;
    size_t windows = 0;
    for (const SeqRecord& r : input) {
        in.push_back(WindowsOf(r, w));
        windows += in.back().fwd.size();
    }
    for (const SeqRecord& r : controls) ctl.push_back(WindowsOf(r, w));
    if (windows == 0 || keep <= 0) return {};

    // The input's letter shares (both strands' when both are read): the
    // chance of a letter matching in the first pass.
    double share[4] = {0, 0, 0, 0}, total = 0;
    for (const SeqRecord& r : input)
        for (uint8_t c : r.code) {
            if (c >= 4) continue;
            share[c] += 1;
            total += 1;
            if (!bothStrands) continue;
            share[3 - c] += 1;
            total += 1;
        }
    for (double& f : share) f = total > 0 ? f / total : 0.25;

    // Seeds evenly spaced over the input's windows, few enough that the
    // first pass stays within kSeedComparisons.
    const long long byWork = std::max<long long>(1, kSeedComparisons / static_cast<long long>(windows));
    const size_t seeds = static_cast<size_t>(std::min<long long>({static_cast<long long>(windows), kMaxSeeds, byWork}));
    std::vector<Scored> scored;
    size_t index = 0, next = 0;
    for (size_t s = 0; s < in.size(); ++s) {
        for (size_t j = 0; j < in[s].fwd.size(); ++j, ++index) {
            if (index * seeds < next * windows) continue;
            ++next;
            Scored sc;
            sc.seq = s;
            sc.at = static_cast<int>(j);
            scored.push_back(std::move(sc));
        }
    }
    // Each seed's score depends on no other: the passes run on up to
    // `threads` threads, and their results do not depend on the count.
    ParallelFor(static_cast<int>(scored.size()), threads, [&](int i) {
        Scored& sc = scored[static_cast<size_t>(i)];
        const SeqWindows& own = in[sc.seq];
        std::vector<uint8_t> letters(static_cast<size_t>(w));
        for (int k = 0; k < w; ++k)
            letters[static_cast<size_t>(k)] = input[sc.seq].code[static_cast<size_t>(own.pos[static_cast<size_t>(sc.at)] + k)];
        sc.first = FirstPassScore(in, sc.seq, own.fwd[static_cast<size_t>(sc.at)], w, dMax, bothStrands,
                                  WithinChance(letters, share));
    });
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& x, const Scored& y) { return x.first < y.first; });
    if (scored.size() > static_cast<size_t>(kSeedsRescored)) scored.resize(static_cast<size_t>(kSeedsRescored));
    ParallelFor(static_cast<int>(scored.size()), threads,
                [&](int i) { Rescore(scored[static_cast<size_t>(i)], in, ctl, w, dMax, bothStrands); });
    std::stable_sort(scored.begin(), scored.end(),
                     [](const Scored& x, const Scored& y) { return x.seed.p.log10p < y.seed.p.log10p; });

    std::vector<Scored> kept;
    for (Scored& s : scored) {
        if (static_cast<int>(kept.size()) >= keep) break;
        const WindowSeed& e = s.seed;
        if (e.a == 0 || static_cast<long long>(e.a) * e.n2 <= static_cast<long long>(e.b) * e.n1) continue;
        if (Repeats(s, kept, in, w)) continue;
        kept.push_back(std::move(s));
    }
    std::vector<WindowSeed> out;
    for (Scored& s : kept) {
        for (size_t t = 0; t < in.size(); ++t) {
            const Closest& c = s.closest[t];
            if (c.d > s.seed.mismatches) continue;
            s.seed.sites.push_back(Upper(input[t], in[t].pos[static_cast<size_t>(c.at)], w, c.reverse));
        }
        out.push_back(std::move(s.seed));
    }
    return out;
}
