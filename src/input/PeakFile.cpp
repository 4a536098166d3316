#include "input/PeakFile.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

// Columns split at tabs (BED's separator); a line without a tab is split at
// runs of spaces, as hand-written files often are.
std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> cols;
    const bool tabs = line.find('\t') != std::string::npos;
    size_t from = 0;
    while (from <= line.size()) {
        size_t to = tabs ? line.find('\t', from) : line.find(' ', from);
        if (to == std::string::npos) to = line.size();
        if (tabs || to > from) cols.push_back(line.substr(from, to - from));
        from = to + 1;
    }
    return cols;
}

bool WholeNumber(const std::string& w, long long& v) {
    size_t i = w.size() > 1 && w[0] == '-' ? 1 : 0;
    if (w.size() == i || w.size() - i > 15) return false;
    for (size_t j = i; j < w.size(); ++j)
        if (w[j] < '0' || w[j] > '9') return false;
    v = std::stoll(w);
    return true;
}

bool Skipped(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') return true;
    return line.compare(0, 5, "track") == 0 || line.compare(0, 7, "browser") == 0;
}

std::string At(int line) { return "line " + std::to_string(line) + ": "; }

}  // namespace

bool ReadPeaks(const std::string& text, std::vector<Peak>& peaks, std::string& error) {
    size_t from = 0;
    int number = 0;
    while (from < text.size()) {
        size_t to = text.find('\n', from);
        if (to == std::string::npos) to = text.size();
        std::string line = text.substr(from, to - from);
        from = to + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Skipped(line)) continue;
        const std::vector<std::string> cols = Columns(line);
        Peak p;
        p.line = number;
        if (cols.size() < 3) {
            error = At(number) + "a peak needs at least three columns (chromosome, start, end)";
            return false;
        }
        p.chrom = cols[0];
        if (!WholeNumber(cols[1], p.start) || !WholeNumber(cols[2], p.end)) {
            error = At(number) + "the start \"" + cols[1] + "\" and end \"" + cols[2] + "\" must be whole numbers";
            return false;
        }
        if (p.start < 0) {
            error = At(number) + "the start " + cols[1] + " is negative";
            return false;
        }
        if (p.end <= p.start) {
            error = At(number) + "the end " + cols[2] + " is not past the start " + cols[1];
            return false;
        }
        // narrowPeak: ten columns, the tenth the summit's offset (-1: not called).
        if (cols.size() == 10) {
            long long summit = 0;
            if (!WholeNumber(cols[9], summit) || summit < -1 || summit >= p.end - p.start) {
                error = At(number) + "the summit offset \"" + cols[9] + "\" is outside its peak (0 to " +
                        std::to_string(p.end - p.start - 1) + ")";
                return false;
            }
            p.summit = summit;
        }
        peaks.push_back(p);
    }
    return true;
}

bool PeakWindows::Overlaps(int c, long long from, long long to) const {
    const std::vector<std::pair<long long, long long>>& s = covered[static_cast<size_t>(c)];
    // The first stretch ending after `from`; it meets the window when it starts before `to`.
    auto it = std::upper_bound(s.begin(), s.end(), from,
                               [](long long x, const std::pair<long long, long long>& r) { return x < r.second; });
    return it != s.end() && it->first < to;
}

bool PlacePeaks(const std::vector<Peak>& peaks, const Genome& genome, int size, PeakWindows& out, std::string& error) {
    out.covered.assign(static_cast<size_t>(genome.Count()), {});
    std::set<std::tuple<std::string, long long, long long, long long>> seen;
    for (const Peak& p : peaks) {
        const int c = genome.Find(p.chrom);
        if (c < 0) {
            error = At(p.line) + "the chromosome " + p.chrom + " is not in the genome " + genome.Path();
            return false;
        }
        const long long length = genome.Length(c);
        if (p.start >= length) {
            error = At(p.line) + "the start " + std::to_string(p.start) + " is at or past the end of " + p.chrom +
                    " (" + std::to_string(length) + " letters)";
            return false;
        }
        if (p.summit >= 0 && p.start + p.summit >= length) {
            error = At(p.line) + "the summit " + std::to_string(p.start + p.summit) + " is past the end of " + p.chrom +
                    " (" + std::to_string(length) + " letters)";
            return false;
        }
        if (!seen.emplace(p.chrom, p.start, p.end, p.summit).second) {
            if (out.duplicates++ == 0) out.firstDuplicate = p.line;
            continue;
        }
        GenomeWindow w;
        w.chrom = c;
        if (size == 0) {
            w.from = p.start;
            w.to = p.end;
        } else {
            const long long centre = p.summit >= 0 ? p.start + p.summit : p.start + (p.end - p.start) / 2;
            w.from = centre - size / 2;
            w.to = w.from + size;
        }
        if (w.from < 0 || w.to > length) {
            w.from = std::max(0LL, w.from);
            w.to = std::min(length, w.to);
            ++out.cutShort;
        }
        if (p.summit >= 0) ++out.summits;
        out.windows.push_back(w);
        out.covered[static_cast<size_t>(c)].emplace_back(std::min(w.from, p.start), std::max(w.to, p.end));
    }
    for (std::vector<std::pair<long long, long long>>& s : out.covered) {
        std::sort(s.begin(), s.end());
        std::vector<std::pair<long long, long long>> merged;
        for (const auto& r : s) {
            if (!merged.empty() && r.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, r.second);
            else
                merged.push_back(r);
        }
        s.swap(merged);
    }
    return true;
}

std::string WindowName(const Genome& genome, const GenomeWindow& w) {
    return genome.Name(w.chrom) + ":" + std::to_string(w.from) + "-" + std::to_string(w.to);
}
