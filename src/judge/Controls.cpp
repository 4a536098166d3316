#include "judge/Controls.h"

#include <algorithm>
#include <iostream>

#include "core/Robust.h"
#include "input/Midlayer.h"
#include "judge/Shuffle.h"

using std::cout;
using std::endl;

int ControlCopies(int n) {
    const int copies = n > 0 ? (kControlTarget + n - 1) / n : 1;
    return std::max(1, std::min(kMaxControlCopies, copies));
}

std::vector<SeqRecord> CutRecord(const SeqRecord& r, int length) {
    const int pieces = std::max(1, (r.len + length / 2) / std::max(1, length));
    std::vector<SeqRecord> out;
    for (int i = 0; i < pieces; ++i) {
        const int from = static_cast<int>(static_cast<long long>(r.len) * i / pieces);
        const int to = static_cast<int>(static_cast<long long>(r.len) * (i + 1) / pieces);
        const std::string letters = r.Letters(from, to - from);
        SeqRecord piece;
        piece.Assign(r.Name() + ":" + std::to_string(from + 1) + "-" + std::to_string(to), letters.data(),
                     letters.size());
        out.push_back(std::move(piece));
    }
    return out;
}

bool HasScannableWindow(const SeqRecord& r, int k) {
    int run = 0;  // letters with a code ending at i
    for (int i = 0; i < r.len; ++i) {
        run = r.code[static_cast<size_t>(i)] == BASE_NONE ? 0 : run + 1;
        if (run >= k && !r.WindowMasked(i - k + 1, k)) return true;
    }
    return false;
}

std::vector<SeqRecord> LoadControls(const std::string& negFile, const std::vector<SeqRecord>& input, uint32_t seed,
                                    const MaskSettings& masking, int width) {
    if (negFile.empty())
        return MakeControls(input, static_cast<int>(input.size()), ControlCopies(static_cast<int>(input.size())),
                            kControlWord, seed);
    Midlayer neg;
    neg.SetDoubleStrand(false);
    neg.SetMasking(masking);
    neg.OpenSeqFile(negFile);
    neg.LoadSeqs();
    if (neg.NumSeq == 0) {
        cout << "Error: the control file " << negFile
             << " holds no FASTA record (a record starts with a '>' header line). System aborted. " << endl;
        FatalExit(1);
    }
    std::vector<SeqRecord> controls(neg.Seqs.begin(), neg.Seqs.begin() + neg.NumSeq);
    std::vector<int> lengths;
    for (const SeqRecord& r : input) lengths.push_back(r.len);
    std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
    const int median = lengths.empty() ? 0 : lengths[lengths.size() / 2];
    bool cut = false;
    for (const SeqRecord& r : controls) cut = cut || (median > 0 && r.len > kLongControl * median);
    if (cut) {
        // Cut from the letters as read, then masked afresh, piece by piece.
        std::vector<SeqRecord> pieces;
        for (const SeqRecord& r : controls) {
            if (r.len > kLongControl * median) {
                for (SeqRecord& p : CutRecord(r, median)) pieces.push_back(std::move(p));
            } else {
                const std::string letters = r.Letters(0, r.len);
                SeqRecord whole;
                whole.Assign(r.Name(), letters.data(), letters.size());
                pieces.push_back(std::move(whole));
            }
        }
        MaskSequences(pieces, static_cast<int>(pieces.size()), masking);
        cout << "The control sequences longer than " << kLongControl * median << " letters were cut into pieces of"
             << " about " << median << " (the input's median length): " << controls.size() << (controls.size() == 1 ? " sequence became " : " sequences became ")
             << pieces.size() << "." << endl;
        controls.swap(pieces);
    }
    bool any = false;
    for (const SeqRecord& r : controls) any = any || HasScannableWindow(r, width);
    if (!any) {
        cout << "Error: the control file " << negFile << " holds no window of " << width
             << " letters to judge against (every window holds a letter other than A, C, G, T"
             << (masking.Active() ? ", or a masked letter" : "") << "). System aborted. " << endl;
        FatalExit(1);
    }
    return controls;
}
