#include "GAFrame.h"

#include <algorithm>
#include <cmath>
#include <iostream>

using std::cout;
using std::endl;

void GAFrame::setParameters(const int& population, const int& generations, const double& replacement,
                            const double& winner, const double& pkRate, const int& k) {
    Population = population;
    if (population <= 9) {
        cout << "Number of population is too small: " << population
             << " QIRO set the population number by default: " << DFLT_POP << endl;
        Population = DFLT_POP;
    }
    Iteration = generations;
    if (generations <= 9) {
        cout << "Number of generation is too small: " << generations << " QIRO set the generation by default: "
             << DFLT_GEN << endl;
        Iteration = DFLT_GEN;
    }
    Replacement = replacement;
    if (replacement > 1) {
        cout << "The substitution rate is large than 1: " << replacement
             << " QIRO set the substitution rate by default: " << DFLT_SUB << endl;
        Replacement = DFLT_SUB;
    }
    Winner = winner;
    if (winner > 1) {
        cout << "The winner-take-all rate is large than 1: " << winner
             << " QIRO set the winner-take-all rate by default: " << DFLT_WIN << endl;
        Winner = DFLT_WIN;
    }
    PKRate = pkRate;
    if (pkRate > 1) {
        cout << "The PK rate is large than 1: " << pkRate << " QIRO set it by default: " << DFLT_PKPER << endl;
        PKRate = DFLT_PKPER;
    }
    K = k;
}

double GAFrame::rand_gen() {
    double r = Random() / 32767.0;
    while (r == 0.0) r = Random() / 32767.0;
    return r;
}

int GAFrame::rand_gen(int n) { return Random() % n + 1; }
