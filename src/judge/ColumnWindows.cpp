#include "judge/ColumnWindows.h"

#include "core/Parallel.h"

namespace {

// Running sums of the wide matrix's columns along every diagonal of one
// strand's codes, column-major: sums[j * D + d + W - 1] (D = len + W - 1
// diagonals) is the sum of columns 0 .. j - 1 placed from letter d on
// (letters off the strand or without a code add 0). A window's scores at
// consecutive places then read two consecutive runs of it.
void DiagonalSums(const LogOdds& wide, const std::vector<uint8_t>& codes, std::vector<double>& sums) {
    const int w = wide.k, len = static_cast<int>(codes.size());
    const size_t diagonals = static_cast<size_t>(len + w - 1);
    sums.assign(diagonals * static_cast<size_t>(w + 1), 0.0);
    for (int d = -(w - 1); d < len; ++d) {
        const size_t t = static_cast<size_t>(d + w - 1);
        double acc = 0.0;
        for (int j = 0; j < w; ++j) {
            const int at = d + j;
            if (at >= 0 && at < len && codes[static_cast<size_t>(at)] < B)
                acc += wide.score[j][codes[static_cast<size_t>(at)]];
            sums[static_cast<size_t>(j + 1) * diagonals + t] = acc;
        }
    }
}

}  // namespace

std::vector<std::vector<BestPlace>> BestPlaces(const LogOdds& wide, const std::vector<ColumnWindow>& windows,
                                               const std::vector<SeqRecord>& forward, bool bothStrands, int threads) {
    std::vector<std::vector<BestPlace>> best(windows.size(), std::vector<BestPlace>(forward.size()));
    const int big = wide.k;
    ParallelFor(static_cast<int>(forward.size()), threads, [&](int s) {
        const SeqRecord& r = forward[static_cast<size_t>(s)];
        const int len = r.len;
        const size_t diagonals = static_cast<size_t>(len + big - 1);
        // Letters a window may not hold, counted from the start.
        std::vector<int> bad(static_cast<size_t>(len) + 1, 0);
        for (int i = 0; i < len; ++i)
            bad[static_cast<size_t>(i) + 1] =
                bad[static_cast<size_t>(i)] + (r.code[static_cast<size_t>(i)] >= B || r.WindowMasked(i, 1) ? 1 : 0);
        std::vector<uint8_t> mirror(static_cast<size_t>(len));
        for (int i = 0; i < len; ++i) {
            const uint8_t c = r.code[static_cast<size_t>(len - 1 - i)];
            mirror[static_cast<size_t>(i)] = c < B ? static_cast<uint8_t>(3 - c) : c;
        }
        std::vector<double> fwSums, rvSums, fw(static_cast<size_t>(len)), rv(static_cast<size_t>(len));
        DiagonalSums(wide, r.code, fwSums);
        if (bothStrands) DiagonalSums(wide, mirror, rvSums);
        for (size_t i = 0; i < windows.size(); ++i) {
            const int from = windows[i].first, w = windows[i].second;
            const int places = len - w + 1;
            if (places <= 0) continue;
            // The window at forward start q reads diagonal q - from; on the
            // other strand it starts at len - w - q of the mirror.
            const double* fHi = &fwSums[static_cast<size_t>(from + w) * diagonals + static_cast<size_t>(big - 1 - from)];
            const double* fLo = &fwSums[static_cast<size_t>(from) * diagonals + static_cast<size_t>(big - 1 - from)];
            for (int q = 0; q < places; ++q) fw[static_cast<size_t>(q)] = fHi[q] - fLo[q];
            if (bothStrands) {
                const size_t top = static_cast<size_t>(len - w - from + big - 1);
                const double* mHi = &rvSums[static_cast<size_t>(from + w) * diagonals + top];
                const double* mLo = &rvSums[static_cast<size_t>(from) * diagonals + top];
                for (int q = 0; q < places; ++q) rv[static_cast<size_t>(q)] = mHi[-q] - mLo[-q];
            }
            BestPlace& place = best[i][static_cast<size_t>(s)];
            bool any = false;
            for (int q = 0; q < places; ++q) {
                if (bad[static_cast<size_t>(q + w)] != bad[static_cast<size_t>(q)]) continue;
                double v = fw[static_cast<size_t>(q)];
                bool onForward = true;
                if (bothStrands && rv[static_cast<size_t>(q)] > v) {
                    v = rv[static_cast<size_t>(q)];
                    onForward = false;
                }
                // The first place of the highest score, as the judge takes it.
                if (!any || v > place.exact) {
                    any = true;
                    place.exact = v;
                    place.forward = onForward;
                    place.pos = onForward ? q : len - w - q;
                }
            }
            if (any) place.score = static_cast<float>(place.exact);
        }
    });
    return best;
}
