#include "report/BedFormat.h"

#include <algorithm>

#include "report/HtmlParts.h"

bool ParseRegionName(const std::string& name, int length, GenomicRegion& region) {
    std::string text = name;
    bool minus = false;
    if (text.size() > 3 && (text.compare(text.size() - 3, 3, "(+)") == 0 || text.compare(text.size() - 3, 3, "(-)") == 0)) {
        minus = text[text.size() - 2] == '-';
        text.erase(text.size() - 3);
    }
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    const size_t dash = text.find('-', colon + 1);
    if (dash == std::string::npos) return false;
    const std::string a = text.substr(colon + 1, dash - colon - 1), b = text.substr(dash + 1);
    auto digits = [](const std::string& w) {
        return !w.empty() && w.size() <= 12 && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(a) || !digits(b)) return false;
    const long start = std::stol(a), end = std::stol(b);
    if (end - start == length) {
        region.start = start;  // 0-based, half-open (BED style)
    } else if (end - start + 1 == length && start >= 1) {
        region.start = start - 1;  // 1-based, inclusive
    } else {
        return false;
    }
    region.chrom = text.substr(0, colon);
    region.minus = minus;
    return true;
}

void WriteBed(std::ostream& out, const std::vector<ModelView>& models) {
    for (const ModelView& m : models) {
        for (const SiteView& s : m.sites) {
            std::string chrom = s.sequence;
            long start = s.start;
            bool plus = s.forward;
            GenomicRegion region;
            if (ParseRegionName(s.sequence, s.length, region)) {
                chrom = region.chrom;
                if (region.minus) {
                    // The sequence reads the region backwards.
                    start = region.start + (s.length - s.start - m.width);
                    plus = !plus;
                } else {
                    start = region.start + s.start;
                }
            }
            out << chrom << "\t" << start << "\t" << start + m.width << "\t" << m.rank << "\t0\t" << (plus ? '+' : '-')
                << "\t" << s.letters << "\t" << Plain(s.score) << "\n";
        }
    }
}
