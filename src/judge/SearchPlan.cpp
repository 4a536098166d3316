#include "judge/SearchPlan.h"

#include <algorithm>
#include <numeric>

#include "core/StageRandom.h"

std::vector<int> RangeSearchWidths(int low, int high) {
    if (high - low < 4) return WidthSchedule(low, high);
    return {low, (low + high) / 2, high};
}

std::vector<int> SmallRangeSearchWidths(int low, int high) {
    if (high - low < 4) return WidthSchedule(low, high);
    return {(low + high) / 2};
}

std::vector<int> WidthSchedule(int low, int high) {
    std::vector<int> widths;
    const int step = high - low + 1 <= 4 ? 1 : 2;
    for (int w = low; w <= high; w += step) widths.push_back(w);
    if (widths.back() != high) widths.push_back(high);
    return widths;
}

std::vector<size_t> SearchSample(const std::vector<SeqRecord>& set, long long letters, uint32_t seed) {
    std::vector<size_t> order(set.size());
    std::iota(order.begin(), order.end(), size_t(0));
    long long total = 0;
    for (const SeqRecord& r : set) total += r.len;
    if (letters <= 0 || total <= letters) return order;
    StageRandom rng(seed, kStageSample);
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[rng.Below32(static_cast<uint32_t>(i))]);
    std::vector<size_t> kept;
    long long used = 0;
    for (size_t i : order) {
        if (used + set[i].len > letters) continue;
        used += set[i].len;
        kept.push_back(i);
    }
    if (kept.empty()) kept.push_back(order.front());
    std::sort(kept.begin(), kept.end());
    return kept;
}

int SearchGenerations(const RunSettings& s, long long letters) {
    if (s.generationsGiven) return s.generations;
    const long long afford = letters > 0 ? kSearchWork / letters : s.generations;
    return static_cast<int>(std::max<long long>(kMinSearchGenerations, std::min<long long>(s.generations, afford)));
}
