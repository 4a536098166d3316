#include "input/PeakFile.h"

#include <algorithm>
#include <map>
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
    // A byte-order mark (files saved by some Windows editors) would otherwise
    // become part of the first chromosome's name, invisibly.
    size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int number = 0;
    size_t format = 0;  // the first peak line's column count; 0 before it
    int formatLine = 0;
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
        // One format for the whole file: a line of another width would have
        // its columns read as something else (a BED12 block count as a summit,
        // a lost summit), without a word.
        if (format == 0) {
            format = cols.size();
            formatLine = number;
        } else if (cols.size() != format) {
            error = At(number) + "it has " + std::to_string(cols.size()) + " columns, but the first peak line (line " +
                    std::to_string(formatLine) + ") has " + std::to_string(format) + (format == 10 ? " (narrowPeak)" : "") +
                    "; every line of a peak file must have as many";
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
        if (cols.size() >= 6) {
            if (cols[5] != "+" && cols[5] != "-" && cols[5] != ".") {
                error = At(number) + "the strand \"" + cols[5] + "\" (column 6) must be +, - or .";
                return false;
            }
            p.strand = cols[5][0];
        }
        // narrowPeak: ten columns, the tenth the summit's offset (-1: not called).
        if (cols.size() == 10) {
            long long summit = 0;
            if (!WholeNumber(cols[9], summit)) {
                error = At(number) + "the summit offset \"" + cols[9] + "\" is not a whole number";
                return false;
            }
            if (summit < -1 || summit >= p.end - p.start) {
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

namespace {

// Joins the overlapping windows of each peak (several summits of one peak, as
// MACS --call-summits writes them): one genomic site would otherwise count
// in two sequences and be reported twice. A joined window keeps the place
// of its peak's first window; windows of different peaks are left alone.
void JoinSummitWindows(const std::vector<Peak>& peaks, const std::vector<size_t>& peakOf, PeakWindows& out,
                       std::vector<bool>& onSummit) {
    std::map<std::tuple<std::string, long long, long long, char>, std::vector<size_t>> byPeak;
    for (size_t i = 0; i < out.windows.size(); ++i) {
        const Peak& p = peaks[peakOf[i]];
        byPeak[std::make_tuple(p.chrom, p.start, p.end, p.strand)].push_back(i);
    }
    std::vector<bool> gone(out.windows.size(), false);
    for (auto& entry : byPeak) {
        std::vector<size_t>& group = entry.second;
        if (group.size() < 2) continue;
        std::sort(group.begin(), group.end(),
                  [&](size_t a, size_t b) { return out.windows[a].from < out.windows[b].from; });
        size_t keep = group[0];
        for (size_t g = 1; g < group.size(); ++g) {
            GenomeWindow& k = out.windows[keep];
            const GenomeWindow& w = out.windows[group[g]];
            if (w.from >= k.to) {
                keep = group[g];
                continue;
            }
            // The union, held by whichever came first in the file.
            const size_t first = std::min(keep, group[g]), other = std::max(keep, group[g]);
            out.windows[first].from = std::min(k.from, w.from);
            out.windows[first].to = std::max(k.to, w.to);
            gone[other] = true;
            keep = first;
            ++out.merged;
        }
    }
    if (out.merged == 0) return;
    size_t n = 0;
    for (size_t i = 0; i < out.windows.size(); ++i) {
        if (gone[i]) continue;
        out.windows[n] = out.windows[i];
        out.lines[n] = out.lines[i];
        onSummit[n] = onSummit[i];
        ++n;
    }
    out.windows.resize(n);
    out.lines.resize(n);
    onSummit.resize(n);
}

}  // namespace

bool PlacePeaks(const std::vector<Peak>& peaks, const Genome& genome, int size, PeakWindows& out, std::string& error) {
    out = PeakWindows();
    out.covered.assign(static_cast<size_t>(genome.Count()), {});
    std::set<std::tuple<std::string, long long, long long, long long, char>> seen;
    std::vector<size_t> peakOf;
    std::vector<bool> onSummit;
    for (size_t i = 0; i < peaks.size(); ++i) {
        const Peak& p = peaks[i];
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
        if (!seen.emplace(p.chrom, p.start, p.end, p.summit, p.strand).second) {
            if (out.duplicates++ == 0) out.firstDuplicate = p.line;
            continue;
        }
        GenomeWindow w;
        w.chrom = c;
        w.minus = p.strand == '-';
        long long centre = 0;
        if (size == 0) {
            w.from = p.start;
            w.to = p.end;
        } else {
            centre = p.summit >= 0 ? p.start + p.summit : p.start + (p.end - p.start) / 2;
            w.from = centre - size / 2;
            w.to = w.from + size;
        }
        if (w.from >= length) {
            // Nothing of it is on the chromosome: no window to cut short.
            error = At(p.line) + "its window of " + std::to_string(size) + " letters around " + std::to_string(centre) +
                    " (" + std::to_string(w.from) + "-" + std::to_string(w.to) + ") lies wholly past the end of " +
                    p.chrom + " (" + std::to_string(length) + " letters); the peaks may be of another assembly than the genome " +
                    genome.Path();
            return false;
        }
        if (w.from < 0 || w.to > length) {
            w.from = std::max(0LL, w.from);
            w.to = std::min(length, w.to);
            ++out.cutShort;
        }
        out.windows.push_back(w);
        out.lines.push_back(p.line);
        peakOf.push_back(i);
        onSummit.push_back(p.summit >= 0);
        out.covered[static_cast<size_t>(c)].emplace_back(std::min(w.from, p.start), std::max(w.to, p.end));
    }
    JoinSummitWindows(peaks, peakOf, out, onSummit);
    out.summits = static_cast<int>(std::count(onSummit.begin(), onSummit.end(), true));
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
    return genome.Name(w.chrom) + ":" + std::to_string(w.from) + "-" + std::to_string(w.to) + (w.minus ? "(-)" : "");
}
