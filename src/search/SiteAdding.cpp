#include "search/SiteAdding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// The largest float not above x (the bounds kept in floats must stay bounds).
float FloatBelow(double x) {
    const double most = std::numeric_limits<float>::max();
    if (x < -most) return -std::numeric_limits<float>::infinity();
    if (x > most) return std::numeric_limits<float>::max();
    float f = static_cast<float>(x);
    if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}
bool ContenderBelow(const Contender& a, const Contender& b) { return a.bound < b.bound; }
}  // namespace

void SiteAdder::MarkSite(AddingMemo* memo, const kmer& site, int by) const {
    const WindowLogP* windows = SharedLogP();
    auto rule = [&](int g, int p) {
        // A mirror position can fall outside a strand of another length: nothing to rule out there.
        if (p < 0 || p + K > tables_->length[g]) return;
        const size_t at = windows->offset[g] + p;
        uint8_t& n = memo->blockCount[at];
        n = static_cast<uint8_t>(n + by);
        const uint64_t bit = uint64_t(1) << (at & 63);
        memo->blockedBits[at >> 6] = n != 0 ? memo->blockedBits[at >> 6] | bit : memo->blockedBits[at >> 6] & ~bit;
    };
    // The same positions as AddBlocked gives.
    rule(site.Strand, site.Pos);
    const int t = tables_->twin[site.Strand];
    if (t >= 0) {
        rule(t, tables_->twinLength[site.Strand] - site.Pos - K);
    } else if (t == -2) {
        for (int u : tables_->sameName[site.Strand])
            if (u != site.Strand) rule(u, data_->Seqs[std::min(u, static_cast<int>(site.Strand))].len - site.Pos - K);
    }
}

void SiteAdder::Blocked(AddingMemo* memo, const kmer& site, bool added) const {
    if (memo == nullptr || !memo->blockValid || SharedLogP() == nullptr) return;
    MarkSite(memo, site, added ? 1 : -1);
    memo->blockPrint += added ? SiteMix(site) : -SiteMix(site);
}

// One call of Best: the model's scorer and limits, the positions its sites
// rule out, and the best window met so far.
struct SiteAdder::Look {
    Look(const Individual& m, AddingMemo* mm, const Midlayer* data, int k, const WindowLogP* w)
        : model(m),
          memo(mm),
          windows(w),
          bitmap(mm != nullptr && w != nullptr),
          scorer(m.MismatchMatrix, data->PosFreq, k),
          limit(m.getMismatch() + m.getSTD()),
          quickLimit(limit * (1 + APPROX_MARGIN)) {}

    bool IsBlocked(int g, int p) const {
        if (!bitmap) return std::binary_search(blocked.begin(), blocked.end(), SiteKey(g, p));
        const size_t at = windows->offset[g] + p;
        return ((memo->blockedBits[at >> 6] >> (at & 63)) & 1) != 0;
    }

    const Individual& model;
    AddingMemo* memo;
    const WindowLogP* windows;  // the shared window tables, when there are
    // With a memo and the window tables, the ruled-out positions are the
    // memo's bits; else the sorted list `blocked`.
    const bool bitmap;
    std::vector<uint64_t> blocked;
    const MismatchScorer scorer;
    const double limit, quickLimit;
    // The candidate with the lowest background score wins; of equal ones the
    // first met, and one whose score is undefined only when all are.
    bool found = false;
    kmer best{0, 0, 0.0, 0.0};
};

void SiteAdder::RuleOutSites(Look& look) const {
    const Individual& model = look.model;
    AddingMemo* memo = look.memo;
    if (look.bitmap) {
        // Kept from call to call and changed site by site; made afresh when
        // the sites are not the ones it was made for.
        uint64_t print = 0;
        for (const kmer& site : model.Sites) print += SiteMix(site);
        if (!memo->blockValid || print != memo->blockPrint) {
            memo->blockCount.assign(look.windows->value.size(), 0);
            memo->blockedBits.assign((look.windows->value.size() + 63) / 64, 0);
            memo->blockValid = true;
            for (const kmer& site : model.Sites) MarkSite(memo, site, 1);
            memo->blockPrint = print;
            ++memo->counts.blockMade;
        }
        return;
    }
    std::vector<std::vector<int>> ownSameName;
    if (tables_ == nullptr) ownSameName = SameNameStrands(data_);
    const std::vector<std::vector<int>>& sameName = tables_ ? tables_->sameName : ownSameName;
    look.blocked.reserve(2 * model.Sites.size());
    for (const kmer& s : model.Sites) AddBlocked(data_, sameName, s, K, look.blocked);
    std::sort(look.blocked.begin(), look.blocked.end());
}

void SiteAdder::Consider(Look& look, int g, int p, double estimate, double den) const {
    // Most windows are far from the model: the estimate rules them out.
    if (estimate > look.quickLimit * den) return;
    const SeqRecord& r = data_->Seqs[g];
    const double mm = look.scorer.Exact(r.code.data() + p);
    if (!(look.limit >= mm)) return;
    if (look.IsBlocked(g, p)) return;
    const WindowLogP* logP = SharedLogP();
    const double L = logP ? logP->value[logP->offset[g] + p] : std::log2(data_->BackgroundProb(r.code.data() + p, K));
    const kmer candidate{p, g, mm, L / mm};
    if (!look.found || BComp()(candidate, look.best) || (std::isnan(look.best.BGScore) && !std::isnan(candidate.BGScore))) {
        look.best = candidate;
        look.found = true;
    }
}

bool SiteAdder::LookByBound(Look& look) const {
    // The winner is usually among the few windows of lowest bound: go
    // through them in that order and stop at the first bound above the
    // best score met, which no later window can reach or tie. Ties
    // between scores go to the earlier window in scan order, as in a
    // scan. The model's own sites come first in that order, so the
    // look is given up (for the scans below) only well past their number.
    AddingMemo* memo = look.memo;
    int bestWindow = -1;
    bool undefined = false;
    bool past = false;  // a bound above the best score was met
    size_t i = 0;
    const size_t n = memo->contenders.size();
    const size_t budget = looks_.Look + looks_.PerSite * look.model.Sites.size();
    for (; i < n && i < budget; ++i) {
        if (i == memo->contendersSorted) {
            std::sort(memo->contenders.begin() + i, memo->contenders.end(), ContenderBelow);
            memo->contendersSorted = n;
            ++memo->counts.late;
        }
        const Contender& c = memo->contenders[i];
        if (look.found && c.bound > look.best.BGScore) {
            past = true;
            break;
        }
        const int w = c.window;
        const int g = c.strand;
        const int p = c.pos;
        if (look.IsBlocked(g, p)) continue;
        const uint8_t* code = data_->Seqs[g].code.data() + p;
        if (look.scorer.ApproxNum(code) > look.quickLimit * tables_->flatDen[w]) continue;
        const double mm = look.scorer.Exact(code);
        if (!(look.limit >= mm)) continue;
        const double L = look.windows->value[look.windows->offset[g] + p];
        const double score = L / mm;
        if (std::isnan(score)) {
            undefined = true;
            continue;
        }
        if (!look.found || score < look.best.BGScore || (score == look.best.BGScore && w < bestWindow)) {
            look.best = kmer{p, g, mm, score};
            bestWindow = w;
            look.found = true;
        }
    }
    memo->counts.looked += i;
    if (past || (i == n && (look.found || !undefined))) {
        ++memo->counts.bounded;
        return true;
    }
    look.found = false;
    return false;
}

bool SiteAdder::LookNearLimit(Look& look, double drift) const {
    // Only windows whose earlier ratio lies within the drift of the
    // limit can pass it now; when they are few, look at them in scan
    // order, as a full scan meets them.
    AddingMemo* memo = look.memo;
    const size_t total = memo->ratio.size();
    if (memo->order.size() != total) {
        memo->order.resize(total);
        for (size_t w = 0; w < total; ++w) memo->order[w] = static_cast<int>(w);
        std::sort(memo->order.begin(), memo->order.end(),
                  [&](int a, int b) { return memo->ratio[a] < memo->ratio[b]; });
        memo->sortedRatio.resize(total);
        for (size_t w = 0; w < total; ++w) memo->sortedRatio[w] = memo->ratio[memo->order[w]];
    }
    const double slack = (drift * (1 + APPROX_MARGIN) + K * 1e-12) / tables_->minDen;
    const double cutoff = look.quickLimit + slack;
    const size_t count =
        std::upper_bound(memo->sortedRatio.begin(), memo->sortedRatio.end(), cutoff) - memo->sortedRatio.begin();
    if (count * 8 > total) return false;
    std::vector<uint64_t>& marks = memo->marks;
    marks.assign((total + 63) / 64, 0);
    for (size_t i = 0; i < count; ++i) marks[memo->order[i] >> 6] |= uint64_t(1) << (memo->order[i] & 63);
    for (size_t word = 0; word < marks.size(); ++word) {
        for (uint64_t bits = marks[word]; bits != 0; bits &= bits - 1) {
            const int w = static_cast<int>(word * 64 + __builtin_ctzll(bits));
            const int g = tables_->flatStrand[w];
            const int p = tables_->flatPos[w];
            Consider(look, g, p, look.scorer.ApproxNum(data_->Seqs[g].code.data() + p), tables_->flatDen[w]);
        }
    }
    ++memo->counts.ratio;
    return true;
}

void SiteAdder::ScanAll(Look& look, bool tracked) const {
    AddingMemo* memo = look.memo;
    const WindowLogP* windows = look.windows;
    std::vector<double> estimate;
    if (tracked) {
        memo->ratio.clear();
        memo->order.clear();
        memo->sortedRatio.clear();
        memo->contenders.clear();
        memo->driftCap = looks_.DriftCap;
        ++memo->counts.full;
    }
    const double cap = tracked ? memo->driftCap : 0.0;
    const int S = data_->GetNumStrands();
    for (int g = 0; g < S; ++g) {
        const SeqRecord& r = data_->Seqs[g];
        const std::vector<int>& list = data_->Candidates[g];
        const size_t n = list.size();
        const double* dens = tables_ ? tables_->den[g].data() : nullptr;
        // Estimated numerators of all windows of the strand, one offset at a
        // time: the windows' sums are independent, so they proceed side by side.
        estimate.assign(n, 0.0);
        for (int j = 0; j < K; ++j) {
            const double* row = look.scorer.NumRow(j);
            const uint8_t* code = r.code.data() + j;
            for (size_t i = 0; i < n; ++i) estimate[i] += row[code[list[i]]];
        }
        for (size_t i = 0; i < n; ++i) {
            const double den = dens ? dens[i] : look.scorer.ApproxDen(r.code.data() + list[i]);
            Consider(look, g, list[i], estimate[i], den);
            if (!tracked) continue;
            memo->ratio.push_back(FloatBelow(estimate[i] / den));
            if (windows == nullptr) continue;
            // The mismatch cannot fall below (estimate - cap) / den, less
            // the estimate's own rounding; the score L / mismatch (L <= 0)
            // cannot fall below L over that.
            const double L = windows->value[windows->offset[g] + list[i]];
            const double low = (estimate[i] - cap - K * 1e-12) / den * (1 - 1e-9);
            double bound = -std::numeric_limits<double>::infinity();
            if (low > 0 && !std::isnan(L)) bound = L / low * (1 + 1e-9);
            memo->contenders.push_back({FloatBelow(bound), static_cast<int>(memo->ratio.size() - 1), g, list[i]});
        }
    }
    if (!tracked) return;
    // Only the first few hundred contenders are usually looked at:
    // the lowest ones are sorted now, the rest when first reached.
    std::vector<Contender>& c = memo->contenders;
    const size_t head = std::min(c.size(), looks_.Head + looks_.PerSite * look.model.Sites.size());
    std::nth_element(c.begin(), c.begin() + head, c.end(), ContenderBelow);
    std::sort(c.begin(), c.begin() + head, ContenderBelow);
    memo->contendersSorted = head;
    for (int j = 0; j < K; ++j)
        for (int c5 = 0; c5 < 5; ++c5) memo->rows[j][c5] = look.scorer.NumRow(j)[c5];
    memo->valid = true;
}

bool SiteAdder::Best(const Individual& model, AddingMemo* memo, kmer* pick) {
    Look look(model, memo, data_, K, SharedLogP());
    RuleOutSites(look);

    // With a memo, the windows' estimates from the last full scan bound the
    // present ones: an estimate moves by at most the summed change of the
    // model's rows since then (the drift). Past the drift the bounds were made
    // for, a full scan makes them afresh.
    const bool tracked = memo != nullptr && tables_ != nullptr && tables_->minDen > 0;
    bool scanned = false;
    if (tracked && memo->valid && std::isfinite(look.quickLimit)) {
        double drift = 0.0;
        for (int j = 0; j < K; ++j) {
            double most = 0.0;
            for (int c = 0; c < 5; ++c) most = std::max(most, std::fabs(look.scorer.NumRow(j)[c] - memo->rows[j][c]));
            drift += most;
        }
        const bool bounded = look.windows != nullptr && !memo->contenders.empty();
        if (bounded && drift <= memo->driftCap) scanned = LookByBound(look);
        if (!scanned && (!bounded || drift <= memo->driftCap) && std::isfinite(drift))
            scanned = LookNearLimit(look, drift);
    }
    if (!scanned) ScanAll(look, tracked);
    if (look.found) *pick = look.best;
    return look.found;
}
