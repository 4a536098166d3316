#include "judge/GenomicControls.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/Robust.h"
#include "core/StageRandom.h"
#include "judge/Controls.h"

using std::cout;
using std::endl;

namespace {

int BinOf(int gc, int acgt) {
    if (acgt == 0) return 0;
    return std::min(kGcBins - 1, static_cast<int>(static_cast<double>(gc) / acgt / kGcBinWidth));
}

int MaskBinOf(int lower, int len) {
    if (len == 0) return 0;
    return std::min(kMaskBins - 1, lower * kMaskBins / len);
}

// The bins of a window's letters (GC; masked share with softMask, else 0).
struct Bins {
    int gc = 0;
    int mask = 0;
    int Distance(const Bins& o) const { return std::abs(gc - o.gc) + std::abs(mask - o.mask); }
};

// Its bins, false for letters holding one other than A, C, G, T. With
// softMask, GC is measured on the upper-case letters, those left to scan.
bool LettersBins(const std::string& letters, bool softMask, Bins& bins) {
    int gc = 0, lower = 0;
    for (char c : letters) {
        switch (c) {
            case 'C': case 'G': ++gc; break;
            case 'c': case 'g': ++lower; gc += !softMask; break;
            case 'A': case 'T': break;
            case 'a': case 't': ++lower; break;
            default: return false;
        }
    }
    const int len = static_cast<int>(letters.size());
    bins.gc = BinOf(gc, softMask ? len - lower : len);
    bins.mask = softMask ? MaskBinOf(lower, len) : 0;
    return true;
}

// Draws windows of the genome for one control at a time.
class WindowDraw {
public:
    WindowDraw(const Genome& genome, const PeakWindows& peaks, uint32_t seed, bool softMask)
        : genome_(genome), peaks_(peaks), random_(seed, kStageGenomicControls), softMask_(softMask) {
        long long sum = 0;
        for (int c = 0; c < genome.Count(); ++c) {
            sum += genome.Length(c);
            ends_.push_back(sum);
        }
    }

    // A window of `length` letters free of N and of the peaks, of the bins
    // `want` or, after kGcTries draws, the closest one drawn (the sum of the
    // two bins' distances). False when no draw gave one.
    bool Draw(int length, const Bins& want, GenomeWindow& best, std::string& bestLetters, Bins& bestBins) {
        const int none = kGcBins + kMaskBins + 1;
        int bestDistance = none;
        Bins b;
        for (int t = 0; t < kGcTries && bestDistance > 0; ++t) {
            // A letter of the genome, every one as likely; the window starts there.
            const long long p = Position();
            const int c = static_cast<int>(std::upper_bound(ends_.begin(), ends_.end(), p) - ends_.begin());
            const long long from = p - (ends_[static_cast<size_t>(c)] - genome_.Length(c));
            if (from + length > genome_.Length(c) || peaks_.Overlaps(c, from, from + length)) continue;
            if (!genome_.Fetch(c, from, from + length, letters_)) continue;
            if (!LettersBins(letters_, softMask_, b) || b.Distance(want) >= bestDistance) continue;
            bestDistance = b.Distance(want);
            best = GenomeWindow{c, from, from + length, false};
            bestLetters = letters_;
            bestBins = b;
        }
        return bestDistance < none;
    }

private:
    long long Position() {
        const long long total = ends_.empty() ? 0 : ends_.back();
        // Below32 takes genomes of up to 2^32 - 1 letters (human: 3.1e9); a
        // larger one is drawn in 2^15 pieces and the piece's letter.
        if (total < (1LL << 32)) return random_.Below32(static_cast<uint32_t>(total));
        const long long high = random_.Below32(static_cast<uint32_t>((total >> 15) + 1));
        return std::min(total - 1, (high << 15) | random_.Below(32768));
    }

    const Genome& genome_;
    const PeakWindows& peaks_;
    StageRandom random_;
    bool softMask_;
    std::vector<long long> ends_;  // each chromosome's end in the genome's letters laid end to end
    std::string letters_;
};

}  // namespace

double GcHistograms::LargestDifference() const {
    long long ni = 0, nc = 0;
    for (int b = 0; b < static_cast<int>(input.size()); ++b) {
        ni += input[static_cast<size_t>(b)];
        nc += control[static_cast<size_t>(b)];
    }
    double worst = 0;
    for (size_t b = 0; b < input.size(); ++b)
        worst = std::max(worst, std::abs(static_cast<double>(input[b]) / std::max(1LL, ni) -
                                         static_cast<double>(control[b]) / std::max(1LL, nc)));
    return worst;
}

int GcBin(const SeqRecord& r, bool upperOnly) {
    int gc = 0, acgt = 0;
    const std::vector<uint64_t>& lower = r.shared->lower;
    for (size_t i = 0; i < r.code.size(); ++i) {
        const uint8_t c = r.code[i];
        if (c == BASE_NONE) continue;
        if (upperOnly && !lower.empty() && ((lower[i >> 6] >> (i & 63)) & 1)) continue;
        ++acgt;
        if (c == 1 || c == 2) ++gc;
    }
    return BinOf(gc, acgt);
}

int LowerBin(const SeqRecord& r) {
    int count = 0;
    for (uint64_t w : r.shared->lower) count += __builtin_popcountll(w);
    return MaskBinOf(count, r.len);
}

std::vector<SeqRecord> GenomicControls(const std::vector<SeqRecord>& input, const Genome& genome,
                                       const PeakWindows& peaks, uint32_t seed, const MaskSettings& masking,
                                       int width, GcHistograms& gc) {
    const int copies = ControlCopies(static_cast<int>(input.size()));
    gc.input.assign(kGcBins, 0);
    gc.control.assign(kGcBins, 0);
    gc.offBin = 0;
    gc.maskMatched = masking.softMask;
    gc.maskOffBin = 0;
    WindowDraw draw(genome, peaks, seed, masking.softMask);
    std::vector<SeqRecord> controls;
    controls.reserve(input.size() * static_cast<size_t>(copies));
    GenomeWindow w;
    std::string letters;
    for (const SeqRecord& r : input) {
        Bins want;
        want.gc = GcBin(r, masking.softMask);
        want.mask = masking.softMask ? LowerBin(r) : 0;
        ++gc.input[static_cast<size_t>(want.gc)];
        for (int c = 0; c < copies; ++c) {
            Bins got;
            // A failed round of draws is tried again a few times before the genome is given up on.
            bool found = false;
            for (int round = 0; round < 5 && !found; ++round) found = draw.Draw(r.len, want, w, letters, got);
            if (!found) {
                cout << "Error: the genome " << genome.Path() << " gave no window of " << r.len
                     << " letters free of N and of the peaks in " << 5 * kGcTries
                     << " draws; give control sequences with -neg. System aborted. " << endl;
                FatalExit(1);
            }
            if (got.gc != want.gc) ++gc.offBin;
            if (got.mask != want.mask) ++gc.maskOffBin;
            ++gc.control[static_cast<size_t>(got.gc)];
            SeqRecord control;
            control.Assign(WindowName(genome, w), letters.data(), letters.size());
            controls.push_back(std::move(control));
        }
    }
    if (masking.Active()) MaskSequences(controls, static_cast<int>(controls.size()), masking);
    bool any = false;
    for (const SeqRecord& r : controls) any = any || HasScannableWindow(r, width);
    if (!any) {
        // Judged against nothing, no motif could ever be reported: said now, not after the search.
        cout << "Error: the genome " << genome.Path() << " gave no control window of " << width
             << " letters to judge against (every window drawn away from the peaks holds a letter other than A, C, G, T"
             << (masking.Active() ? ", or a masked letter" : "")
             << (masking.softMask ? "; -mask T masks lower-case letters, and the genome may be in lower case away "
                                    "from the peaks"
                                  : "")
             << "). Give control sequences with -neg. System aborted. " << endl;
        FatalExit(1);
    }
    return controls;
}
