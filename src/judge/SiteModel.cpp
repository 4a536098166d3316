#include "judge/SiteModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/Parallel.h"
#include "judge/Judge.h"

namespace {

// Scores are binned at kBin bits; the controls' density is smoothed by a
// Gaussian kernel of Silverman's bandwidth, at least kMinBandwidth bits.
const double kBin = 0.02;
const double kMinBandwidth = 0.1;

// EM stops when the share moves by less than kEmTolerance (relative) or after
// kMaxEmRounds; shares stay off 0 and 1, the sites' spread above kMinSd.
const double kEmTolerance = 1e-9;
const int kMaxEmRounds = 1000;
const double kMinShare = 1e-9;
const double kMinSd = 0.25;
// The sites' spread is estimated with a prior worth kSpreadPriorSites sites
// at the controls' spread (the conjugate, scaled inverse chi-square prior on
// a normal's variance). A matrix built from a handful of sites scores those
// very sites alike, often to the same bit; fitted alone, the spread of a
// few such scores collapses onto them, and every true site the matrix
// scores a little lower falls outside the component. The controls' spread
// is the scale of the scores themselves, and the prior's weight fades as
// the sites grow in number.
const double kSpreadPriorSites = 5.0;
const double kPi = 3.14159265358979323846;

// The scores a mixture is fitted on: ZOOPS, each sequence's best window; TCM,
// every window (the higher of its two strands). Sequences without an
// admissible window give none.
void Scores(const LogOdds& m, SiteRule rule, const std::vector<SeqRecord>& seqs, bool bothStrands, int threads,
            std::vector<float>& out, long long& windows, int& sequences) {
    std::vector<std::vector<float>> per(seqs.size());
    std::vector<long long> count(seqs.size(), 0);
    ParallelFor(static_cast<int>(seqs.size()), threads, [&](int i) {
        std::vector<WindowScore> w;
        WindowScores(m, seqs[static_cast<size_t>(i)], bothStrands, w);
        count[static_cast<size_t>(i)] = static_cast<long long>(w.size());
        std::vector<float>& mine = per[static_cast<size_t>(i)];
        if (rule == SiteRule::kZoops) {
            if (!w.empty()) mine.push_back(BestScore(m, seqs[static_cast<size_t>(i)], bothStrands));
            return;
        }
        for (const WindowScore& s : w) mine.push_back(static_cast<float>(std::max(s.fw, s.rv)));
    });
    out.clear();
    windows = 0;
    sequences = 0;
    for (size_t i = 0; i < seqs.size(); ++i) {
        out.insert(out.end(), per[i].begin(), per[i].end());
        windows += count[i];
        sequences += count[i] > 0 ? 1 : 0;
    }
}

double Normal(double x, double mean, double sd) {
    const double z = (x - mean) / sd;
    return std::exp(-0.5 * z * z) / (sd * std::sqrt(2.0 * kPi));
}

// A histogram smoothed by a Gaussian kernel of bandwidth h (bits), as a
// density per bit over `total` values.
std::vector<double> Smooth(const std::vector<double>& raw, double h, double total) {
    const int reach = static_cast<int>(std::ceil(4.0 * h / kBin));
    std::vector<double> kernel(static_cast<size_t>(2 * reach + 1));
    for (int d = -reach; d <= reach; ++d) kernel[static_cast<size_t>(d + reach)] = Normal(d * kBin, 0.0, h);
    std::vector<double> out(raw.size(), 0.0);
    total = std::max(total, 1.0);
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == 0.0) continue;
        for (int d = -reach; d <= reach; ++d) {
            const long j = static_cast<long>(i) + d;
            if (j >= 0 && static_cast<size_t>(j) < raw.size())
                out[static_cast<size_t>(j)] += raw[i] * kernel[static_cast<size_t>(d + reach)] / total;
        }
    }
    return out;
}

// Input and control scores binned on one grid from lo, and the controls'
// smoothed density (per bit) in every bin.
struct Binned {
    double lo = 0.0;
    double nullSd = 1.0;  // the controls' scores' standard deviation
    std::vector<double> input, null;
};

Binned Bin(const std::vector<float>& input, const std::vector<float>& controls) {
    Binned b;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const std::vector<float>* v : {&input, &controls})
        for (float x : *v) {
            lo = std::min(lo, static_cast<double>(x));
            hi = std::max(hi, static_cast<double>(x));
        }
    if (!(lo <= hi)) return b;
    double mean = 0.0, sq = 0.0;
    for (float y : controls) mean += y;
    mean /= std::max<size_t>(controls.size(), 1);
    for (float y : controls) sq += (y - mean) * (y - mean);
    const double sd = controls.size() > 1 ? std::sqrt(sq / (controls.size() - 1)) : 1.0;
    b.nullSd = sd;
    const double h = std::max(kMinBandwidth, 1.06 * sd * std::pow(std::max<double>(controls.size(), 1), -0.2));
    const int reach = static_cast<int>(std::ceil(4.0 * h / kBin));
    b.lo = lo - (reach + 1) * kBin;
    const size_t bins = static_cast<size_t>(std::ceil((hi - b.lo) / kBin)) + reach + 2;
    b.input.assign(bins, 0.0);
    b.null.assign(bins, 0.0);
    std::vector<double> raw(bins, 0.0);
    auto at = [&](double x) { return static_cast<size_t>(std::floor((x - b.lo) / kBin)); };
    for (float x : input) b.input[at(x)] += 1.0;
    for (float y : controls) raw[at(y)] += 1.0;
    b.null = Smooth(raw, h, static_cast<double>(controls.size()));
    return b;
}

double Clamp(double share) { return std::min(std::max(share, kMinShare), 1.0 - kMinShare); }

// EM of the share, the sites' mean and spread over the binned input; then
// the threshold: from the top bin down, as far as the posterior stays at
// one half or more.
void FitMixture(const Binned& b, double start, SiteModelFit& fit) {
    fit.threshold = std::numeric_limits<double>::infinity();
    double n = 0.0, top = -std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < b.input.size(); ++i)
        if (b.input[i] > 0) {
            n += b.input[i];
            top = b.lo + (i + 0.5) * kBin;
        }
    if (n == 0.0) return;
    // The sites start above the controls: a bit over the top percent of the null's mass.
    double cum = 0.0, mean = top;
    for (size_t i = 0; i < b.null.size(); ++i) {
        cum += b.null[i] * kBin;
        if (cum >= 0.99) {
            mean = std::min(top, b.lo + (i + 0.5) * kBin + 1.0);
            break;
        }
    }
    double share = Clamp(start), sd = 2.0;
    auto posterior = [&](size_t i) {
        const double x = b.lo + (i + 0.5) * kBin;
        const double site = share * Normal(x, mean, sd), back = (1.0 - share) * b.null[i];
        return site + back > 0.0 ? site / (site + back) : (x > mean ? 1.0 : 0.0);
    };
    for (fit.emRounds = 1; fit.emRounds <= kMaxEmRounds; ++fit.emRounds) {
        double r = 0.0, rx = 0.0, rxx = 0.0;
        for (size_t i = 0; i < b.input.size(); ++i) {
            if (b.input[i] == 0.0) continue;
            const double x = b.lo + (i + 0.5) * kBin, w = b.input[i] * posterior(i);
            r += w;
            rx += w * x;
            rxx += w * x * x;
        }
        const double next = Clamp(r / n);
        if (r > 0.0) {
            mean = rx / r;
            const double prior = kSpreadPriorSites * b.nullSd * b.nullSd;
            sd = std::max(kMinSd, std::sqrt(std::max(0.0, rxx - r * mean * mean + prior) / (r + kSpreadPriorSites)));
        }
        const bool done = std::fabs(next - share) <= kEmTolerance * share;
        share = next;
        if (done) break;
    }
    fit.share = share;
    fit.siteMean = mean;
    fit.siteSd = sd;
    for (size_t i = b.input.size(); i-- > 0;) {
        if (b.input[i] == 0.0) continue;
        if (posterior(i) < 0.5) break;
        fit.threshold = static_cast<double>(static_cast<float>(b.lo + i * kBin));
    }
}

// controlWindows, when given, gets the controls' admissible windows.
SiteModelFit FitOn(const LogOdds& m, SiteRule rule, const std::vector<SeqRecord>& input,
                   const std::vector<SeqRecord>& controls, bool bothStrands, int threads,
                   long long* controlWindows = nullptr) {
    SiteModelFit fit;
    fit.rule = rule;
    std::vector<float> in, ctl;
    long long ctlWindows = 0;
    int ctlSequences = 0;
    Scores(m, rule, input, bothStrands, threads, in, fit.windows, fit.sequences);
    Scores(m, rule, controls, bothStrands, threads, ctl, ctlWindows, ctlSequences);
    if (controlWindows != nullptr) *controlWindows = ctlWindows;
    const double start = rule == SiteRule::kZoops ? 0.5
                                                  : static_cast<double>(fit.sequences) / std::max<long long>(fit.windows, 1);
    FitMixture(Bin(in, ctl), start, fit);
    return fit;
}

// Upper tail P(X >= x) of a Poisson count of mean mu.
double PoissonAtLeast(int x, double mu) {
    if (x <= 0) return 1.0;
    if (mu <= 0.0) return 0.0;
    double term = std::exp(-mu + x * std::log(mu) - std::lgamma(x + 1.0));
    double total = 0.0;
    for (int i = x; i < x + 100000 && term > total * 1e-16; ++i) {
        total += term;
        term *= mu / (i + 1.0);
    }
    return std::min(total, 1.0);
}

// The calls of one sequence: every window at the threshold (overlaps resolved
// as CallSites does); ZOOPS keeps only the best of them.
void CallOne(const LogOdds& m, const SiteModelFit& fit, const SeqRecord& r, bool bothStrands,
             std::vector<ScanHit>& kept) {
    kept.clear();
    if (!std::isfinite(fit.threshold)) return;
    CallSites(m, r, fit.threshold, bothStrands, kept);
    if (fit.rule != SiteRule::kZoops || kept.size() < 2) return;
    size_t best = 0;
    for (size_t i = 1; i < kept.size(); ++i)
        if (kept[i].score > kept[best].score) best = i;
    const ScanHit one = kept[best];
    kept.assign(1, one);
}

// How alike the flanks of the fit's calls are (SiteModelFit::flankBits):
// kFlankLetters letters on either side, kFlankGap letters away from the site,
// read on the site's strand. Columns of fewer than five letters are left out;
// 0 without any.
double FlankBits(const LogOdds& m, const SiteModelFit& fit, const std::vector<SeqRecord>& input, bool bothStrands) {
    const int columns = 2 * kFlankLetters;
    std::vector<std::array<double, B>> count(static_cast<size_t>(columns), std::array<double, B>{});
    std::vector<ScanHit> kept;
    for (const SeqRecord& r : input) {
        CallOne(m, fit, r, bothStrands, kept);
        for (const ScanHit& h : kept)
            for (int c = 0; c < columns; ++c) {
                const int off = c < kFlankLetters ? c - kFlankGap - kFlankLetters : m.k + kFlankGap + c - kFlankLetters;
                const int code = LetterOnSiteStrand(r, h, off);
                if (code >= 0) count[static_cast<size_t>(c)][static_cast<size_t>(code)] += 1.0;
            }
    }
    double pooled[B] = {0, 0, 0, 0}, all = 0.0;
    for (const std::array<double, B>& col : count)
        for (int b = 0; b < B; ++b) pooled[b] += col[static_cast<size_t>(b)];
    for (double x : pooled) all += x;
    double sum = 0.0;
    int used = 0;
    for (const std::array<double, B>& col : count) {
        double n = 0.0;
        for (double x : col) n += x;
        if (n < 5.0) continue;
        double kl = 0.0;
        for (int b = 0; b < B; ++b) {
            const double p = col[static_cast<size_t>(b)] / n;
            if (p > 0.0) kl += p * std::log2(p / (pooled[b] / all));
        }
        // A column of n letters drawn from the pooled shares: 3 / (2 n ln 2) bits.
        sum += kl - 3.0 / (2.0 * n * std::log(2.0));
        ++used;
    }
    return used > 0 ? sum / used : 0.0;
}

int CountCalls(const LogOdds& m, const SiteModelFit& fit, const std::vector<SeqRecord>& seqs, bool bothStrands,
               int threads, int& sequences) {
    std::vector<int> per(seqs.size(), 0);
    ParallelFor(static_cast<int>(seqs.size()), threads, [&](int i) {
        std::vector<ScanHit> kept;
        CallOne(m, fit, seqs[static_cast<size_t>(i)], bothStrands, kept);
        per[static_cast<size_t>(i)] = static_cast<int>(kept.size());
    });
    int calls = 0;
    sequences = 0;
    for (int c : per) {
        calls += c;
        sequences += c > 0 ? 1 : 0;
    }
    return calls;
}

}  // namespace

const char* SiteRuleName(SiteRule rule) {
    switch (rule) {
        case SiteRule::kZoops: return "zoops";
        case SiteRule::kTcm: return "tcm";
        case SiteRule::kThreshold: return "threshold";
        default: return "auto";
    }
}

bool ParseSiteCalling(const std::string& word, SiteCalling& calling) {
    struct Word {
        const char* word;
        SiteRule rule;
        bool refined;
    };
    static const Word kWords[] = {
        {"em", SiteRule::kAuto, true},          {"em-zoops", SiteRule::kZoops, true},
        {"em-tcm", SiteRule::kTcm, true},       {"fitted", SiteRule::kAuto, false},
        {"fitted-zoops", SiteRule::kZoops, false}, {"fitted-tcm", SiteRule::kTcm, false},
        {"threshold", SiteRule::kThreshold, false}, {"auto", SiteRule::kAuto, false},
        {"zoops", SiteRule::kZoops, false},     {"tcm", SiteRule::kTcm, false},
    };
    for (const Word& w : kWords)
        if (word == w.word) {
            calling = {w.rule, w.refined};
            return true;
        }
    return false;
}

SiteModelFit FitSiteModel(const LogOdds& m, SiteRule asked, const std::vector<SeqRecord>& input,
                          const std::vector<SeqRecord>& controls, bool bothStrands, int threads) {
    if (asked == SiteRule::kZoops || asked == SiteRule::kTcm)
        return FitOn(m, asked, input, controls, bothStrands, threads);
    long long ctlWindows = 0;
    SiteModelFit tcm = FitOn(m, SiteRule::kTcm, input, controls, bothStrands, threads, &ctlWindows);
    int inSeqs = 0, ctlSeqs = 0;
    const int calls = CountCalls(m, tcm, input, bothStrands, threads, inSeqs);
    const int ctlCalls = CountCalls(m, tcm, controls, bothStrands, threads, ctlSeqs);
    tcm.extraCalls = calls - inSeqs;
    tcm.extraExpected = ctlWindows > 0 ? ctlCalls * static_cast<double>(tcm.windows) / ctlWindows : 0.0;
    const bool more = tcm.extraCalls >= kExtraCallsShare * calls &&
                      PoissonAtLeast(tcm.extraCalls, tcm.extraExpected) <= kExtraCallsP;
    const double flank = more ? FlankBits(m, tcm, input, bothStrands) : 0.0;
    const bool several = more && flank <= kRepeatFlankBits;
    SiteModelFit fit = several ? tcm : FitOn(m, SiteRule::kZoops, input, controls, bothStrands, threads);
    fit.automatic = true;
    fit.extraCalls = tcm.extraCalls;
    fit.extraExpected = tcm.extraExpected;
    fit.flankBits = flank;
    fit.repeatLike = more && !several;
    return fit;
}

void CallByModel(const LogOdds& m, const SiteModelFit& fit, const std::vector<SeqRecord>& input, bool bothStrands,
                 int threads, std::vector<std::vector<ScanHit>>& calls) {
    calls.assign(input.size(), std::vector<ScanHit>());
    ParallelFor(static_cast<int>(input.size()), threads, [&](int i) {
        CallOne(m, fit, input[static_cast<size_t>(i)], bothStrands, calls[static_cast<size_t>(i)]);
    });
}

int CalledLetterCounts(const std::vector<std::vector<ScanHit>>& calls, const std::vector<SeqRecord>& input, int k,
                       double (&count)[B][MAX_K]) {
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) count[b][j] = 0.0;
    int sites = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        const SeqRecord& r = input[i];
        for (const ScanHit& h : calls[i]) {
            const int at = h.forward ? h.pos : r.len - h.pos - k;
            for (int j = 0; j < k; ++j) {
                const int code = h.forward ? r.code[static_cast<size_t>(at + j)]
                                           : 3 - r.code[static_cast<size_t>(at + k - 1 - j)];
                count[code][j] += 1.0;
            }
            ++sites;
        }
    }
    return sites;
}

int RefitByModel(Candidate& c, SiteRule asked, const std::vector<SeqRecord>& input,
                 const std::vector<SeqRecord>& controls, bool bothStrands, const double* bg, int threads, int most,
                 SiteModelFit& fit, std::vector<std::vector<ScanHit>>& calls, bool& settled) {
    settled = false;
    fit = FitSiteModel(c.scores, asked, input, controls, bothStrands, threads);
    const SiteModelFit chosen = fit;
    CallByModel(c.scores, fit, input, bothStrands, threads, calls);
    int rounds = 0;
    for (;;) {
        double count[B][MAX_K];
        const int sites = CalledLetterCounts(calls, input, c.width, count);
        bool same = sites == c.nsites;
        for (int b = 0; b < B && same; ++b)
            for (int j = 0; j < c.width && same; ++j) same = count[b][j] == c.count[b][j];
        if (same) {
            settled = true;
            break;
        }
        if (rounds == most || sites < 2) break;
        std::copy(&count[0][0], &count[0][0] + B * MAX_K, &c.count[0][0]);
        c.nsites = sites;
        c.scores = LogOddsFromCounts(c.count, c.width, bg);
        c.columns = ColumnsFromCounts(c.count, c.width, 0.0);
        ++rounds;
        fit = FitSiteModel(c.scores, chosen.rule, input, controls, bothStrands, threads);
        fit.automatic = chosen.automatic;
        fit.extraCalls = chosen.extraCalls;
        fit.extraExpected = chosen.extraExpected;
        fit.flankBits = chosen.flankBits;
        fit.repeatLike = chosen.repeatLike;
        CallByModel(c.scores, fit, input, bothStrands, threads, calls);
    }
    return rounds;
}
