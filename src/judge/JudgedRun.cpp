#include "judge/JudgedRun.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/Console.h"
#include "judge/Controls.h"
#include "judge/SearchPlan.h"

using std::cout;
using std::endl;

namespace {

std::vector<SeqRecord> Pick(const std::vector<SeqRecord>& forward, const std::vector<int>& which) {
    std::vector<SeqRecord> out;
    out.reserve(which.size());
    for (int i : which) out.push_back(forward[static_cast<size_t>(i)]);
    return out;
}

}  // namespace

void HoldStrands(Midlayer* data, std::vector<SeqRecord> forward) {
    data->NumSeq = static_cast<int>(forward.size());
    data->BigK = 0;
    for (const SeqRecord& r : forward) data->BigK += r.len;
    data->Seqs = std::move(forward);
    if (data->GetDoubleStrand()) AddReverseStrands(data->Seqs, data->NumSeq);
}

std::string ConsensusOf(const Candidate& c) {
    std::string text;
    for (int j = 0; j < c.width; ++j) {
        int best = 0;
        for (int b = 1; b < B; ++b)
            if (c.count[b][j] > c.count[best][j]) best = b;
        text += "ACGT"[best];
    }
    return text;
}

Split SplitForJudging(int total, int controls, bool generated, bool whole, uint32_t seed) {
    Split split;
    if (whole) {
        // Too few to hold any back: every sequence is searched and judged.
        for (int i = 0; i < total; ++i) split.train.push_back(i);
        for (int i = 0; i < controls; ++i) split.trainC.push_back(i);
        split.held = split.train;
        split.heldC = split.trainC;
        return split;
    }
    SplitSequences(total, kHeldBackShare, seed, 0, split.train, split.held);
    if (generated) {
        // Each control goes with the sequence it was shuffled from (copies of one sequence are adjacent).
        const int copies = ControlCopies(total);
        for (int i : split.train)
            for (int c = 0; c < copies; ++c) split.trainC.push_back(i * copies + c);
        for (int i : split.held)
            for (int c = 0; c < copies; ++c) split.heldC.push_back(i * copies + c);
    } else {
        SplitSequences(controls, kHeldBackShare, seed, 1, split.trainC, split.heldC);
    }
    return split;
}

JudgeSets MakeJudgeSets(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                        const Split& split, bool bothStrands) {
    JudgeSets sets;
    sets.bothStrands = bothStrands;
    sets.trainInput = Pick(input, split.train);
    sets.heldInput = Pick(input, split.held);
    sets.trainControl = Pick(controls, split.trainC);
    sets.heldControl = Pick(controls, split.heldC);
    return sets;
}

std::vector<int> PlanWidths(const RunSettings& s, int round, bool whole) {
    const bool known = s.pkFlag && s.perPK != 0;
    if (known && round == 0) return {0};
    if (s.kLow <= 0) return {s.k};
    return whole ? SmallRangeSearchWidths(s.kLow, s.kHigh) : RangeSearchWidths(s.kLow, s.kHigh);
}

bool SettlesWidths(const JudgedRun& run) { return run.s.kLow > 0; }

int WidthTests(const JudgedRun& run) {
    return run.s.kLow > 0 ? run.s.kHigh - run.s.kLow + 1 : static_cast<int>(run.widths.size());
}

void AnnounceSplit(const JudgedRun& run) {
    const RunSettings& s = run.s;
    if (!run.gc.Empty()) {
        char share[32];
        std::snprintf(share, sizeof share, "%.1f%%", 100 * run.gc.LargestDifference());
        std::ostream& say = Say();
        say << "Control sequences: " << run.controls.size() << " (random windows of the genome away from the peaks, "
            << "matched to the input's GC content in bins of " << static_cast<int>(100 * kGcBinWidth + 0.5)
            << "%: " << run.controls.size() - static_cast<size_t>(run.gc.offBin)
            << " in their sequence's bin; the shares per bin of input and controls differ by at most " << share;
        if (run.gc.maskMatched)
            say << "; with -mask T also to each sequence's share of lower-case letters in bins of "
                << 100 / kMaskBins << "%: " << run.controls.size() - static_cast<size_t>(run.gc.maskOffBin)
                << " in their sequence's bin";
        say << ")" << endl;
    } else {
        Say() << "Control sequences: " << run.controls.size()
             << (s.negFile.empty() ? " (the input shuffled, letter triplets kept)" : " (from " + s.negFile + ")")
             << endl;
    }
    if (s.nmotifs == 0) {
        Say() << "No motif is sought (-nmotifs 0): the database's motifs are tested on all " << run.distinct.size()
             << " input sequences." << endl;
        return;
    }
    if (run.whole)
        Say() << "Searched and judged on all " << run.split.train.size() << " input sequences (fewer than "
             << kWholeJudgeBelow << ": none held back); E-values from each model's alignment of its best sites."
             << endl;
    else
        Say() << "Searched on " << run.split.train.size() << " input sequences; judged on " << run.split.held.size()
             << " input and " << run.split.heldC.size() << " control sequences held back." << endl;
    if (run.sample.size() < run.split.train.size())
        Say() << "The searches run on a sample of " << run.sample.size() << " of the " << run.split.train.size()
             << " searched sequences (-searchsize " << s.searchSize << " letters)." << endl;
}

void ExplainOutOfReach(int total, size_t held, size_t heldControls, size_t judged, double limit) {
    const FisherResult best = FisherEnrichment(static_cast<int>(held), static_cast<int>(held), 0,
                                               static_cast<int>(heldControls));
    const double log10e = best.log10p + std::log10(static_cast<double>(judged > 0 ? judged : 1));
    if (log10e <= std::log10(limit)) return;
    Say() << "With " << total << " input sequences, the judge holds back " << held << ": even a motif in every held-back"
         << " input sequence and in none of the " << heldControls << " held-back control sequences would have an E-value of "
         << FormatEvalue(log10e) << ", above " << limit
         << (heldControls < held ? ". Give more control sequences (-neg): fewer are held back than input sequences"
                                 : ". Give more sequences (the judge needs a few dozen)")
         << ", or run without -evalue to see the search's models"
         << " unjudged." << endl;
}

void JudgeFrom(JudgedRun& run, size_t first) {
    const std::vector<Verdict> more =
        run.whole ? JudgeOnEverySequence(run.candidates, first, run.candidates.size(), run.sets.heldInput,
                                         run.sets.heldControl, run.sets.bothStrands, WidthTests(run),
                                         *run.null, run.threads)
                  : JudgeCandidates(run.candidates, first, run.candidates.size(), run.sets, run.threads);
    run.verdicts.insert(run.verdicts.end(), more.begin(), more.end());
}
