// The genetic search engine: search parameters, initialization, selection,
// crossover, re-alignment, the forming of each generation, and post-processing.
#ifndef QIRO_GAFRAME_H
#define QIRO_GAFRAME_H

#include <vector>

#include "Constants.h"
#include "Individual.h"
#include "Midlayer.h"

class GAFrame {
public:
    int Population = DFLT_POP;
    int Iteration = DFLT_GEN;
    double Winner = DFLT_WIN;
    double Replacement = DFLT_SUB;
    double PKRate = DFLT_PKPER;
    double PKProfile[B][MAX_K] = {};
    int K = DFLT_K;

    GAFrame() {}
    ~GAFrame() {}

    int getPopulation() const { return Population; }
    void setPopulation(int v) { Population = v; }
    int getIteration() const { return Iteration; }
    void setIteration(int v) { Iteration = v; }
    double getReplacement() const { return Replacement; }
    void setReplacement(double v) { Replacement = v; }
    double getWinner() const { return Winner; }
    void setWinner(double v) { Winner = v; }

    void setParameters(const int& population, const int& generations, const double& replacement,
                       const double& winner, const double& pkRate, const int& k);

    // (0, 1]: R / 32767, drawn again while 0.
    static double rand_gen();
    // 1..n.
    static int rand_gen(int n);
    static int LookupCode(char c) { return Midlayer::LookupCode(c); }
};

#endif
