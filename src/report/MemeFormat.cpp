#include "report/MemeFormat.h"

#include <cmath>
#include <cstdio>

namespace {

// Letter shares of one column in millionths that add up to exactly one million:
// each share rounded down, then the millionths still missing go one each to the
// shares that lost the most by rounding down (so every share is off by less
// than one millionth).
void RoundedColumn(const double share[4], long micro[4]) {
    double lost[4];
    long sum = 0;
    for (int b = 0; b < 4; ++b) {
        const double exact = share[b] * 1e6;
        micro[b] = static_cast<long>(std::floor(exact + 1e-7));
        lost[b] = exact - static_cast<double>(micro[b]);
        sum += micro[b];
    }
    for (long missing = 1000000 - sum; missing > 0; --missing) {
        int pick = 0;
        for (int b = 1; b < 4; ++b)
            if (lost[b] > lost[pick]) pick = b;
        ++micro[pick];
        lost[pick] -= 1.0;
    }
}

}  // namespace

void WriteMeme(std::ostream& out, const std::vector<ModelView>& models, const double background[4],
               bool doubleStrand) {
    out << "MEME version 4\n\n";
    out << "ALPHABET= ACGT\n\n";
    out << "strands: " << (doubleStrand ? "+ -" : "+") << "\n\n";
    double total = 0.0;
    for (int b = 0; b < 4; ++b) total += background[b];
    double share[4];
    for (int b = 0; b < 4; ++b) share[b] = total > 0 ? background[b] / total : 0.25;
    long micro[4];
    RoundedColumn(share, micro);
    char line[160];
    out << "Background letter frequencies\n";
    std::snprintf(line, sizeof line, "A %.6f C %.6f G %.6f T %.6f\n\n", micro[0] / 1e6, micro[1] / 1e6,
                  micro[2] / 1e6, micro[3] / 1e6);
    out << line;
    for (const ModelView& m : models) {
        out << "MOTIF " << m.id << " " << m.consensus << "\n";
        out << "letter-probability matrix: alength= 4 w= " << m.width << " nsites= " << m.nsites << " E= " << (m.judged ? m.evalue : "0") << "\n";
        const std::vector<std::vector<double>> p = m.Probabilities();
        for (int j = 0; j < m.width; ++j) {
            const double column[4] = {p[0][j], p[1][j], p[2][j], p[3][j]};
            RoundedColumn(column, micro);
            std::snprintf(line, sizeof line, " %.6f  %.6f  %.6f  %.6f\n", micro[0] / 1e6, micro[1] / 1e6,
                          micro[2] / 1e6, micro[3] / 1e6);
            out << line;
        }
        // Kept apart from the matrix lines, which readers take as they are.
        if (!m.settled)
            out << "# " << m.id << ": the matrix that called the sites; their own letters differ (not settled after "
                << m.refits << " refits)\n";
        out << "\n";
    }
}
