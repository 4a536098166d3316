// Exact tests for judging a motif model by how much more often its sites occur
// in the input sequences than in control sequences: log factorials and
// binomials, and the one-sided Fisher exact test of a 2x2 table.
#ifndef QIRO_STATISTICS_H
#define QIRO_STATISTICS_H

// Natural log of n!, n >= 0 (throws std::invalid_argument for n < 0).
// n <= 256 reads a table of long-double running sums of log i; larger n use
// Stirling's series to the 1/n^7 term in long double, whose truncation error
// is below 1e-25. Both come out within one double rounding of the true value.
// Thread-safe (unlike lgamma, which writes the global signgam).
double LogFactorial(int n);
// Natural log of the binomial coefficient C(n, k); -infinity when k < 0 or
// k > n (an empty count), for n >= 0.
double LogChoose(int n, int k);

struct FisherResult {
    double p = 1.0;       // underflows to 0 below about 1e-308
    double log10p = 0.0;  // stays exact when p underflows (e.g. -400 for 1e-400)
};

// One-sided Fisher exact test of enrichment (Fisher 1922): a of the n1 input
// sequences hold a site, b of the n2 control sequences do. Given the margins
// (a + b sequences with a site among n1 + n2, n1 of them input), the count of
// input sequences with a site X follows the hypergeometric distribution
//   P(X = x) = C(a + b, x) C(n1 + n2 - a - b, n1 - x) / C(n1 + n2, n1),
// and p = P(X >= a): how often the input would hold at least a of the sites
// if input and control were alike.
//
// The terms are summed in long double relative to the largest one, each from
// its neighbour by the ratio of consecutive probabilities, walking away from
// the mode and stopping once they fall below 1e-30 of the sum: a log-sum-exp
// that costs O(tail length) and does not lose tiny p-values to underflow.
// When a lies past the mode the tail itself is summed from its largest term,
// at a; otherwise p is large and is taken as 1 - P(X <= a - 1), the lower
// tail summed down from a - 1, which stays accurate (and monotone in a) as p
// nears 1.
//
// Edge cases: a = 0 (so also a + b = 0 and an empty input group) gives p = 1;
// an empty control group gives p = 1 as well (every sequence is input, so
// X = a surely). Throws std::invalid_argument unless 0 <= a <= n1 and
// 0 <= b <= n2.
FisherResult FisherEnrichment(int a, int n1, int b, int n2);

#endif
