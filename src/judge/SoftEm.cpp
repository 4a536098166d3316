#include "judge/SoftEm.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Shares stay off 0 and 1, where the cut would be infinite.
const double kMinShare = 1e-6;
// A window whose posterior weight is below this adds nothing measurable to
// the letters; skipping it keeps the M-step to the few windows that count.
const double kNegligibleWeight = 1e-9;
const double kNoScore = -std::numeric_limits<double>::infinity();
// Where the words of one to four letters start in the dense table, by length.
const int kWordOffset[5] = {0, 0, 4, 20, 84};

double ClampShare(double s) { return std::min(std::max(s, kMinShare), 1.0 - kMinShare); }

// The posterior of a site given its evidence and the cut, both in bits.
double Posterior(double evidence, double cut) { return 1.0 / (1.0 + std::exp2(cut - evidence)); }

// Every window's ratio in bits on each strand (sr: -infinity on one strand).
void ScoreWindows(const double (&lp)[MAX_K][B], const std::vector<SeqRecord>& seqs, const EmWindows& w,
                  std::vector<double>& sf, std::vector<double>& sr) {
    const int k = w.k;
    for (size_t i = 0; i + 1 < w.first.size(); ++i) {
        const uint8_t* c = seqs[i].code.data();
        for (int t = w.first[i]; t < w.first[i + 1]; ++t) {
            const uint8_t* x = c + w.pos[static_cast<size_t>(t)];
            double f = 0.0;
            for (int j = 0; j < k; ++j) f += lp[j][x[j]];
            sf[static_cast<size_t>(t)] = f - w.bgBits[static_cast<size_t>(t)];
            if (!w.bothStrands) {
                sr[static_cast<size_t>(t)] = kNoScore;
                continue;
            }
            double r = 0.0;
            for (int j = 0; j < k; ++j) r += lp[j][3 - x[k - 1 - j]];
            sr[static_cast<size_t>(t)] = r - w.bgBits[static_cast<size_t>(t)];
        }
    }
}

// Adds weight z of a window's letters, read on its strand, to the letter counts.
void AddLetters(const uint8_t* x, int k, bool forward, double z, double (*count)[MAX_K]) {
    if (z < kNegligibleWeight) return;
    for (int j = 0; j < k; ++j) count[forward ? x[j] : 3 - x[k - 1 - j]][j] += z;
}

// ZOOPS: a sequence's evidence (log2 of its mean ratio over its positions)
// and the largest ratio it was scaled by; S = sum of 2^(s - top).
double SequenceEvidence(const std::vector<double>& sf, const std::vector<double>& sr, int from, int to,
                        bool bothStrands, double& top, double& sum) {
    top = kNoScore;
    for (int t = from; t < to; ++t) top = std::max(top, std::max(sf[static_cast<size_t>(t)], sr[static_cast<size_t>(t)]));
    sum = 0.0;
    for (int t = from; t < to; ++t) {
        sum += std::exp2(sf[static_cast<size_t>(t)] - top);
        if (bothStrands) sum += std::exp2(sr[static_cast<size_t>(t)] - top);
    }
    const double positions = static_cast<double>(to - from) * (bothStrands ? 2.0 : 1.0);
    return top + std::log2(sum) - std::log2(positions);
}

// TCM: a place's evidence (log2 of its mean ratio over its strands), with
// the larger ratio and the scaled sum as SequenceEvidence gives them.
double PlaceEvidence(double f, double r, bool bothStrands, double& top, double& sum) {
    if (!bothStrands) {
        top = f;
        sum = 1.0;
        return f;
    }
    top = std::max(f, r);
    sum = std::exp2(f - top) + std::exp2(r - top);
    return top + std::log2(sum) - 1.0;
}

// Posterior mass of one E-step and the units it is over (ZOOPS: sequences
// with a window; TCM: places); letters, when given, gets the weighted letters.
struct Mass {
    double posterior = 0.0, units = 0.0, sequences = 0.0;
};

Mass Expect(SiteRule rule, double cut, const std::vector<SeqRecord>& seqs, const EmWindows& w,
            const std::vector<double>& sf, const std::vector<double>& sr, double (*letters)[MAX_K]) {
    Mass m;
    const int k = w.k;
    for (size_t i = 0; i + 1 < w.first.size(); ++i) {
        const int from = w.first[i], to = w.first[i + 1];
        if (from == to) continue;
        m.sequences += 1.0;
        const uint8_t* c = seqs[i].code.data();
        double top = 0.0, sum = 0.0;
        if (rule == SiteRule::kZoops) {
            const double q = Posterior(SequenceEvidence(sf, sr, from, to, w.bothStrands, top, sum), cut);
            m.posterior += q;
            m.units += 1.0;
            if (letters == nullptr) continue;
            for (int t = from; t < to; ++t) {
                const uint8_t* x = c + w.pos[static_cast<size_t>(t)];
                AddLetters(x, k, true, q * std::exp2(sf[static_cast<size_t>(t)] - top) / sum,
                           letters);
                if (w.bothStrands)
                    AddLetters(x, k, false, q * std::exp2(sr[static_cast<size_t>(t)] - top) / sum,
                               letters);
            }
            continue;
        }
        for (int t = from; t < to; ++t) {
            const double f = sf[static_cast<size_t>(t)], r = sr[static_cast<size_t>(t)];
            const double z = Posterior(PlaceEvidence(f, r, w.bothStrands, top, sum), cut);
            m.posterior += z;
            m.units += 1.0;
            if (letters == nullptr) continue;
            const uint8_t* x = c + w.pos[static_cast<size_t>(t)];
            AddLetters(x, k, true, z * std::exp2(f - top) / sum, letters);
            if (w.bothStrands)
                AddLetters(x, k, false, z * std::exp2(r - top) / sum, letters);
        }
    }
    return m;
}

double Information(const double (&lp)[MAX_K][B], int k, const double* q) {
    double bits = 0.0;
    for (int j = 0; j < k; ++j)
        for (int b = 0; b < B; ++b) bits += std::exp2(lp[j][b]) * (lp[j][b] - std::log2(q[b]));
    return bits;
}

// The next share from an E-step's mass, as the guard says. The controls'
// mass, all of it false, estimates how much of the input's comes from
// sequences without a site: input mass = s + (1 - s) * control mass.
double NextShare(const SoftEmStart& start, const Mass& in, const Mass* ctl) {
    const double mean = in.units > 0.0 ? in.posterior / in.units : start.share;
    switch (start.guard) {
        case ShareGuard::kHeld: return ClampShare(start.share);
        case ShareGuard::kPrior: {
            // Worth kSharePriorSequences sequences: for TCM, their places.
            const double weight = kSharePriorSequences * (in.sequences > 0.0 ? in.units / in.sequences : 1.0);
            return ClampShare((in.posterior + weight * start.share) / (in.units + weight));
        }
        case ShareGuard::kControls: {
            if (ctl == nullptr || ctl->units <= 0.0) return ClampShare(mean);
            const double falseShare = ctl->posterior / ctl->units;
            if (1.0 - falseShare < kMinShare) return ClampShare(start.share);
            return ClampShare(std::min(mean, (mean - falseShare) / (1.0 - falseShare)));
        }
        default: return ClampShare(mean);
    }
}

}  // namespace

const char* ShareGuardName(ShareGuard guard) {
    switch (guard) {
        case ShareGuard::kHeld: return "held";
        case ShareGuard::kPrior: return "prior";
        case ShareGuard::kControls: return "controls";
        default: return "free";
    }
}

double SoftEmFit::Cut() const { return std::log2((1.0 - share) / share); }

double WindowBackgroundBits(const uint8_t* w, int k, const BackgroundTables& bg) {
    auto bits = [&](const uint8_t* x, int len) {
        int idx = 0;
        for (int p = 0; p < len; ++p) idx = idx * 4 + x[p];
        return std::log2(std::max(bg.dense[kWordOffset[len] + idx], kLeastWordProbability));
    };
    double s = 0.0;
    const int head = std::min(k, 4);
    for (int len = 1; len <= head; ++len) s += bits(w, len);
    for (int i = 4; i < k; ++i) s += bits(w + i - 3, 4);
    return s;
}

EmWindows IndexWindows(const std::vector<SeqRecord>& seqs, int k, bool bothStrands, const BackgroundTables& bg) {
    EmWindows w;
    w.k = k;
    w.bothStrands = bothStrands;
    w.first.reserve(seqs.size() + 1);
    for (const SeqRecord& r : seqs) {
        w.first.push_back(static_cast<int>(w.pos.size()));
        const uint8_t* c = r.code.data();
        ForEachOpenWindow(r, k, [&](int p) {
            w.pos.push_back(p);
            w.bgBits.push_back(WindowBackgroundBits(c + p, k, bg));
        });
    }
    w.first.push_back(static_cast<int>(w.pos.size()));
    return w;
}

bool RefinementHasSites(SiteRule rule, double share, const EmWindows& win) {
    double units = 0.0;
    if (rule == SiteRule::kZoops) {
        for (size_t i = 0; i + 1 < win.first.size(); ++i) units += win.first[i + 1] > win.first[i] ? 1.0 : 0.0;
    } else {
        units = static_cast<double>(win.pos.size());
    }
    return share * units >= kSitesPerProbability * 3.0 * win.k;
}

void ProbabilitiesOf(const LogOdds& m, const double* q, double (&prob)[MAX_K][B]) {
    for (int j = 0; j < m.k; ++j) {
        double total = 0.0;
        for (int b = 0; b < B; ++b) total += prob[j][b] = q[b] * std::exp2(m.score[j][b]);
        for (int b = 0; b < B; ++b) prob[j][b] /= total;
    }
}

SoftEmFit RefineBySoftEm(const SoftEmStart& start, const std::vector<SeqRecord>& input, const EmWindows& inWin,
                         const std::vector<SeqRecord>& controls, const EmWindows& ctlWin) {
    SoftEmFit fit;
    fit.rule = start.rule;
    fit.k = start.k;
    fit.share = fit.startShare = ClampShare(start.share);
    fit.fixedMatrix = start.fixedMatrix;
    for (int j = 0; j < fit.k; ++j)
        for (int b = 0; b < B; ++b) {
            fit.logProb[j][b] = std::log2(start.prob[j][b]);
            fit.startProb[j][b] = start.prob[j][b];
        }
    fit.startBits = Information(fit.logProb, fit.k, start.letters);
    std::vector<double> sf(inWin.pos.size()), sr(inWin.pos.size());
    std::vector<double> cf, cr;
    if (start.guard == ShareGuard::kControls) {
        cf.resize(ctlWin.pos.size());
        cr.resize(ctlWin.pos.size());
    }
    for (fit.rounds = 1; fit.rounds <= kMaxEmRounds; ++fit.rounds) {
        ScoreWindows(fit.logProb, input, inWin, sf, sr);
        for (double(&col)[MAX_K] : fit.expected) std::fill(col, col + MAX_K, 0.0);
        const Mass in = Expect(fit.rule, fit.Cut(), input, inWin, sf, sr, fit.expected);
        Mass ctl;
        if (start.guard == ShareGuard::kControls) {
            ScoreWindows(fit.logProb, controls, ctlWin, cf, cr);
            ctl = Expect(fit.rule, fit.Cut(), controls, ctlWin, cf, cr, nullptr);
        }
        const double share = NextShare(start, in, &ctl);
        double moved = std::fabs(share - fit.share);
        fit.share = share;
        fit.sites = 0.0;
        for (int b = 0; b < B; ++b) fit.sites += fit.expected[b][0];
        if (!start.fixedMatrix) {
            for (int j = 0; j < fit.k; ++j) {
                double n = 0.0;
                for (int b = 0; b < B; ++b) n += fit.expected[b][j];
                for (int b = 0; b < B; ++b) {
                    const double p = (fit.expected[b][j] + kStartMatrixSites * start.prob[j][b]) / (n + kStartMatrixSites);
                    moved = std::max(moved, std::fabs(p - std::exp2(fit.logProb[j][b])));
                    fit.logProb[j][b] = std::log2(p);
                }
            }
        }
        if (moved < kEmStep) {
            fit.converged = true;
            break;
        }
    }
    fit.rounds = std::min(fit.rounds, kMaxEmRounds);
    fit.bits = Information(fit.logProb, fit.k, start.letters);
    fit.kept = start.fixedMatrix || fit.bits >= kKeptInformation * fit.startBits;
    return fit;
}

void CallBySoftEm(const SoftEmFit& fit, const std::vector<SeqRecord>& seqs, const EmWindows& win,
                  std::vector<std::vector<ScanHit>>& calls) {
    std::vector<double> sf(win.pos.size()), sr(win.pos.size());
    ScoreWindows(fit.logProb, seqs, win, sf, sr);
    const double cut = fit.Cut();
    const int k = win.k;
    calls.assign(seqs.size(), std::vector<ScanHit>());
    std::vector<ScanHit> places;  // pos here: the forward start, resolved below
    for (size_t i = 0; i + 1 < win.first.size(); ++i) {
        const int from = win.first[i], to = win.first[i + 1];
        if (from == to) continue;
        places.clear();
        double top = 0.0, sum = 0.0;
        if (fit.rule == SiteRule::kZoops) {
            if (SequenceEvidence(sf, sr, from, to, win.bothStrands, top, sum) < cut) continue;
            ScanHit best{0, true, kNoScore};
            // The first of equal windows wins, forward before reverse, as SitesAbove orders them.
            for (int t = from; t < to; ++t) {
                if (sf[static_cast<size_t>(t)] > best.score) best = {win.pos[static_cast<size_t>(t)], true, sf[static_cast<size_t>(t)]};
                if (sr[static_cast<size_t>(t)] > best.score) best = {win.pos[static_cast<size_t>(t)], false, sr[static_cast<size_t>(t)]};
            }
            places.push_back(best);
        } else {
            for (int t = from; t < to; ++t) {
                const double f = sf[static_cast<size_t>(t)], r = sr[static_cast<size_t>(t)];
                if (PlaceEvidence(f, r, win.bothStrands, top, sum) < cut) continue;
                places.push_back({win.pos[static_cast<size_t>(t)], f >= r, std::max(f, r)});
            }
            // Of overlapping sites the higher scoring stays, the earlier on ties.
            std::stable_sort(places.begin(), places.end(),
                             [](const ScanHit& a, const ScanHit& b) { return a.score > b.score; });
            size_t kept = 0;
            for (size_t h = 0; h < places.size(); ++h) {
                bool clear = true;
                for (size_t o = 0; o < kept && clear; ++o) clear = std::abs(places[o].pos - places[h].pos) >= k;
                if (clear) places[kept++] = places[h];
            }
            places.resize(kept);
            std::sort(places.begin(), places.end(), [](const ScanHit& a, const ScanHit& b) { return a.pos < b.pos; });
        }
        const int len = seqs[i].len;
        for (ScanHit h : places) {
            if (!h.forward) h.pos = len - h.pos - k;
            calls[i].push_back(h);
        }
    }
}
