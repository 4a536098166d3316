// Site adding's search: the admissible window a refined model would take
// next (unblocked, within the model's mismatch limit, of lowest background
// score), found by looking at windows in the order of a bound of their score
// where the memo of earlier calls allows, else by a scan of every window.
#ifndef QIRO_SITEADDING_H
#define QIRO_SITEADDING_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Constants.h"
#include "input/Midlayer.h"
#include "search/Individual.h"
#include "search/RefineTables.h"

// A window and a lower bound of its background score (log2 probability
// over mismatch) that holds while the model's rows stay within the memo's
// drift cap of those of the last full scan.
struct Contender {
    float bound;
    int window;  // flat index
    int strand, pos;
};

// How site adding found its candidates: full scans, looks by bound that
// settled it (and the windows they went through), scans of the windows
// near the limit.
struct RefineCounts {
    size_t full = 0, bounded = 0, looked = 0, ratio = 0;
    size_t late = 0;  // times the bounds past the sorted head were sorted
    size_t blockMade = 0;  // times the ruled-out positions were made afresh
};

// What site adding remembers of one model between its calls.
struct AddingMemo {
    RefineCounts counts;
    bool valid = false;
    double rows[MAX_K][5] = {};  // the model's estimate rows at the last full scan
    std::vector<float> ratio;    // estimate / denominator at that scan (rounded down), by window
    std::vector<int> order;      // the windows by ascending ratio, made when first needed
    std::vector<float> sortedRatio;     // the ratios in that order
    std::vector<Contender> contenders;  // every window, by ascending bound ...
    size_t contendersSorted = 0;        // ... up to here; the rest all lie above
    double driftCap = 0.0;              // the row change the bounds allow for
    std::vector<uint64_t> marks; // scratch: windows to look at, one bit each
    // Positions the model's sites rule out: how many sites rule out each
    // window, one bit each for the windows ruled out, and the sum of
    // SiteMix over the sites they were made for.
    std::vector<uint8_t> blockCount;
    std::vector<uint64_t> blockedBits;
    uint64_t blockPrint = 0;
    bool blockValid = false;
};
// How site adding looks by bound. DriftCap: how far (summed over the
// offsets) the model's estimate rows may move from those of a full scan
// before the bounds it made no longer hold and the next call scans in full
// again. A look by bound goes through at most Look windows plus PerSite per
// site of the model (the sites themselves come first); at a full scan the
// lowest Head plus as many per site are sorted, the rest when first reached.
struct AddingLooks {
    double DriftCap = 1.0;
    size_t Look = 4096;
    size_t Head = 8192;
    size_t PerSite = 4;
};

// Finds additions for the models of one data layer and width; with the
// tables of a post-processing call (else nullptr: every call scans plainly).
class SiteAdder {
public:
    SiteAdder(Midlayer* data, int k, const RefineTables* tables, const AddingLooks& looks)
        : data_(data), K(k), tables_(tables), looks_(looks) {}
    // The window site adding would take for the model (false when none
    // qualifies): unblocked, within the model's mismatch limit, of lowest
    // background score, the first in scan order of equal ones. The memo, when
    // given, carries what one call leaves for the next on the same model.
    bool Best(const Individual& model, AddingMemo* memo, kmer* pick);
    // A site added to (or taken from) the model: its ruled-out positions
    // counted in (or out) of the memo's, when the memo keeps them.
    void Blocked(AddingMemo* memo, const kmer& site, bool added) const;

private:
    struct Look;  // one call's scorer, limits, ruled-out positions and best window
    // The positions the model's sites rule out: the memo's bits, brought up
    // to date, or a sorted list made for this call.
    void RuleOutSites(Look& look) const;
    // A window whose numerator estimate over den is known: taken when it
    // passes the limit, is not ruled out and scores best so far.
    void Consider(Look& look, int g, int p, double estimate, double den) const;
    // The windows in the order of the memo's bounds, while the model has not
    // drifted past them; false when the look is given up.
    bool LookByBound(Look& look) const;
    // Only the windows whose last ratio lies within the drift of the limit,
    // in scan order; false when they are too many to pay.
    bool LookNearLimit(Look& look, double drift) const;
    // Every admissible window; with tracked, the memo's ratios and bounds
    // are made afresh.
    void ScanAll(Look& look, bool tracked) const;
    // A site's positions counted in (by 1) or out (by -1) of the memo's ruled-out windows.
    void MarkSite(AddingMemo* memo, const kmer& site, int by) const;
    const WindowLogP* SharedLogP() const {
        return tables_ != nullptr && !tables_->logP.value.empty() ? &tables_->logP : nullptr;
    }

    Midlayer* data_;
    int K;
    const RefineTables* tables_;
    AddingLooks looks_;
};

#endif
