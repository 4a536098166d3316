// Hand-made motifs for the tests and benchmarks of motif comparison and
// naming: from a consensus, or with random columns.
#ifndef QIRO_TESTS_MOTIF_FIXTURE_H
#define QIRO_TESTS_MOTIF_FIXTURE_H

#include <random>
#include <string>

#include "motif/MotifCompare.h"

namespace motiffixture {

// A motif from a consensus: 0.7 on the letter, 0.1 on each other; N is flat.
inline MotifColumns Consensus(const std::string& s) {
    MotifColumns m(s.size(), {0.25, 0.25, 0.25, 0.25});
    for (size_t j = 0; j < s.size(); ++j)
        if (s[j] != 'N') m[j] = {0.1, 0.1, 0.1, 0.1}, m[j][std::string("ACGT").find(s[j])] = 0.7;
    return m;
}

// Random columns: letters drawn from a flat Dirichlet distribution.
inline MotifColumns RandomMotif(std::mt19937& rng, int width) {
    std::exponential_distribution<double> draw(1.0);
    MotifColumns m(static_cast<size_t>(width));
    for (auto& c : m) {
        double sum = 0.0;
        for (double& p : c) sum += p = draw(rng);
        for (double& p : c) p /= sum;
    }
    return m;
}

}  // namespace motiffixture

#endif
