#include "input/Masking.h"

#include <memory>

#include "input/Dust.h"

size_t MaskSequences(std::vector<SeqRecord>& seqs, int numSeq, const MaskSettings& settings) {
    size_t total = 0;
    if (!settings.Active()) return 0;
    std::vector<uint64_t> bits, dust;
    for (int s = 0; s < numSeq; ++s) {
        SeqRecord& r = seqs[static_cast<size_t>(s)];
        const size_t n = static_cast<size_t>(r.len);
        bits.assign((n + 63) / 64 + 1, 0);
        // Letters without a code could not be scored: masked under either option.
        for (size_t i = 0; i < n; ++i)
            if (r.code[i] == BASE_NONE) bits[i >> 6] |= uint64_t(1) << (i & 63);
        const std::vector<uint64_t>& lower = r.shared->lower;
        if (settings.softMask)
            for (size_t w = 0; w < lower.size() && w < bits.size(); ++w) bits[w] |= lower[w];
        if (settings.dust > 0) {
            DustMask(r.code.data(), n, settings.dust, dust);
            for (size_t w = 0; w < bits.size() && w < dust.size(); ++w) bits[w] |= dust[w];
        }
        size_t count = 0;
        for (uint64_t w : bits) count += static_cast<size_t>(__builtin_popcountll(w));
        if (count == 0) continue;
        total += count;
        std::shared_ptr<SeqShared> marked = std::make_shared<SeqShared>(*r.shared);
        marked->masked = bits;
        r.shared = std::move(marked);
    }
    return total;
}

void OpenWindows(const SeqRecord& r, int k, std::vector<int>& starts) {
    starts.clear();
    for (int p = 0; p + k <= r.len; ++p)
        if (!r.WindowMasked(p, k)) starts.push_back(p);
}

bool HasOpenWindow(const SeqRecord& r, int k) {
    for (int p = 0; p + k <= r.len; ++p)
        if (!r.WindowMasked(p, k)) return true;
    return false;
}
