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

// Its bin, or -1 for letters holding one other than A, C, G, T.
int LettersBin(const std::string& letters) {
    int gc = 0;
    for (char c : letters) {
        switch (c) {
            case 'C': case 'G': case 'c': case 'g': ++gc; break;
            case 'A': case 'T': case 'a': case 't': break;
            default: return -1;
        }
    }
    return BinOf(gc, static_cast<int>(letters.size()));
}

// Draws windows of the genome for one control at a time.
class WindowDraw {
public:
    WindowDraw(const Genome& genome, const PeakWindows& peaks, uint32_t seed)
        : genome_(genome), peaks_(peaks), random_(seed, kStageGenomicControls) {
        long long sum = 0;
        for (int c = 0; c < genome.Count(); ++c) {
            sum += genome.Length(c);
            ends_.push_back(sum);
        }
    }

    // A window of `length` letters free of N and of the peaks, of GC bin `bin`
    // or, after kGcTries draws, the closest one drawn. False when no draw gave one.
    bool Draw(int length, int bin, GenomeWindow& best, std::string& bestLetters, int& bestBin) {
        int bestDistance = kGcBins + 1;
        for (int t = 0; t < kGcTries && bestDistance > 0; ++t) {
            // A letter of the genome, every one as likely; the window starts there.
            const long long p = Position();
            const int c = static_cast<int>(std::upper_bound(ends_.begin(), ends_.end(), p) - ends_.begin());
            const long long from = p - (ends_[static_cast<size_t>(c)] - genome_.Length(c));
            if (from + length > genome_.Length(c) || peaks_.Overlaps(c, from, from + length)) continue;
            if (!genome_.Fetch(c, from, from + length, letters_)) continue;
            const int b = LettersBin(letters_);
            if (b < 0 || std::abs(b - bin) >= bestDistance) continue;
            bestDistance = std::abs(b - bin);
            best = GenomeWindow{c, from, from + length};
            bestLetters = letters_;
            bestBin = b;
        }
        return bestDistance <= kGcBins;
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

int GcBin(const SeqRecord& r) {
    int gc = 0, acgt = 0;
    for (uint8_t c : r.code) {
        if (c == BASE_NONE) continue;
        ++acgt;
        if (c == 1 || c == 2) ++gc;
    }
    return BinOf(gc, acgt);
}

std::vector<SeqRecord> GenomicControls(const std::vector<SeqRecord>& input, const Genome& genome,
                                       const PeakWindows& peaks, uint32_t seed, const MaskSettings& masking,
                                       GcHistograms& gc) {
    const int copies = ControlCopies(static_cast<int>(input.size()));
    gc.input.assign(kGcBins, 0);
    gc.control.assign(kGcBins, 0);
    gc.offBin = 0;
    WindowDraw draw(genome, peaks, seed);
    std::vector<SeqRecord> controls;
    controls.reserve(input.size() * static_cast<size_t>(copies));
    GenomeWindow w;
    std::string letters;
    for (const SeqRecord& r : input) {
        const int bin = GcBin(r);
        ++gc.input[static_cast<size_t>(bin)];
        for (int c = 0; c < copies; ++c) {
            int got = 0;
            // A failed round of draws is tried again a few times before the genome is given up on.
            bool found = false;
            for (int round = 0; round < 5 && !found; ++round) found = draw.Draw(r.len, bin, w, letters, got);
            if (!found) {
                cout << "Error: the genome " << genome.Path() << " gave no window of " << r.len
                     << " letters free of N and of the peaks in " << 5 * kGcTries
                     << " draws; give control sequences with -neg. System aborted. " << endl;
                FatalExit(1);
            }
            if (got != bin) ++gc.offBin;
            ++gc.control[static_cast<size_t>(got)];
            SeqRecord control;
            control.Assign(WindowName(genome, w), letters.data(), letters.size());
            controls.push_back(std::move(control));
        }
    }
    if (masking.Active()) MaskSequences(controls, static_cast<int>(controls.size()), masking);
    return controls;
}
