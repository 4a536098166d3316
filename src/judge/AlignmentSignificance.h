// The significance of a motif's site alignment as a whole, for inputs too
// small to hold sequences back: the p-value of the alignment's log-likelihood
// ratio (its information content times the sites) when every column's letters
// were drawn from the background, times the number of alignments of as many
// sites a search could have picked among the input's windows (Hertz & Stormo
// 1999; the E-value MEME reports). It judges the very sites reported, on
// every sequence, and needs no control sequences.
#ifndef QIRO_ALIGNMENTSIGNIFICANCE_H
#define QIRO_ALIGNMENTSIGNIFICANCE_H

#include <map>
#include <vector>

#include "core/Constants.h"

// The log-likelihood ratio, in nats, of w columns of letter counts
// (count[b][j], n sites each) against the background bg[0..3] (normalised
// here): the sum over letters and columns of c ln(c / (n bg)).
double AlignmentLlr(const double (&count)[B][MAX_K], int w, int n, const double* bg);

// The null distribution of an alignment's log-likelihood ratio for a given
// background: each column a multinomial draw of n letters, the columns
// independent. A column's distribution is exact (every composition of n
// letters), put on a grid of kLlrBins steps from 0 to its largest value; the
// w columns are convolved on that grid. Computed once per (n, w) and kept.
class LlrNull {
public:
    static constexpr int kLlrBins = 100;

    // bg: the A, C, G, T background frequencies (normalised here; each must
    // be positive).
    explicit LlrNull(const double* bg);
    // log10 of P(LLR >= llr) for n sites of w columns (n >= 1, 1 <= w <= MAX_K).
    double Log10PValue(double llr, int n, int w);

private:
    // What is kept for one site count n: the grid step (nats), one column's
    // distribution, the distribution of the sum of the columns convolved so
    // far, and log10 of its upper tails for every width reached.
    struct PerCount {
        double step = 0.0;
        std::vector<long double> column;
        std::vector<long double> sum;
        std::vector<std::vector<double>> tails;  // tails[w - 1][i]: log10 P(grid sum >= i)
    };
    PerCount& Count(int n);

    double bg_[B];
    std::map<int, PerCount> counts_;
};

// log10 of the number of ways to place n sites, at most one per sequence,
// among sequences with windows[i] possible site starts each (both strands
// counted): C(N, n) times the geometric mean of the windows to the n-th power.
double Log10Alignments(const std::vector<long long>& windows, int n);

#endif
