// Where a motif's sites sit in their sequences: the distribution of site
// centres around the sequence centre (the summit, for summit-centred peaks)
// and a test of whether the sites gather in the middle, as a factor's own
// motif does in its ChIP-seq peaks.
#ifndef QIRO_SITEPOSITIONS_H
#define QIRO_SITEPOSITIONS_H

#include <vector>

// One site: the length of its sequence and its 0-based start on the sequence
// as given (a site on the reverse strand counts by the letters it covers).
struct SitePlace {
    int length = 0;
    int start = 0;
};

// Bars of the histogram of site centres.
const int kPositionBins = 20;

struct SitePositions {
    // Histogram of site centres, in letters from the sequence centre: bin i
    // covers [from + i * binWidth, from + (i + 1) * binWidth); the last bin
    // also holds its right edge. The bins span the centres a window of the
    // motif's width can have in the longest sequence.
    double from = 0.0;
    double binWidth = 1.0;
    std::vector<int> counts;
    // Centrality: of `sites` sites, `central` have their centre in the central
    // fifth of the centres possible in their sequence; `expected` is the share
    // expected if sites fell anywhere (about 0.2, exactly what the window
    // counts give); the one-sided binomial p-value of at least `central`.
    int sites = 0;
    int central = 0;
    double expected = 0.0;
    double log10p = 0.0;
};

// The histogram and the centrality test of sites of a motif of `width`
// letters. Sites that do not fit their sequence are left out.
SitePositions PlaceSites(const std::vector<SitePlace>& sites, int width);

// log10 of P(X >= k) for X ~ Binomial(n, p); 0 for k <= 0.
double Log10BinomialUpperTail(int n, int k, double p);

#endif
