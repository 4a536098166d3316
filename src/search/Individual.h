// The motif model Individual: its sites, matrix, consensus and scores, and
// the scorer of windows against it.
#ifndef QIRO_INDIVIDUAL_H
#define QIRO_INDIVIDUAL_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "core/Constants.h"
#include "input/Site.h"

class Midlayer;

// log2 of the background probability of every window of every strand.
struct WindowLogP {
    std::vector<size_t> offset;  // strand g's window p is value[offset[g] + p]
    std::vector<double> value;
};

class Individual {
public:
    std::vector<int> Genes;             // genetic form: start of the site on strand g
    std::vector<double> GeneMismatch;   // genetic form: mismatch of the site on strand g
    std::vector<kmer> Sites;            // site-list form
    // Strands by ascending site mismatch, ties by strand, as last worked out
    // for crossover. Models live on for many generations and are copied
    // around; the order is shared by the copies. Whatever changes
    // GeneMismatch must drop it (CalculateIndiFitness does).
    mutable std::shared_ptr<const std::vector<int>> SiteOrder;
    double MismatchMatrix[B][MAX_K];    // share of sites with base b at offset j
    int32_t ID;
    int32_t GeneNo;
    int32_t ConLen;
    double IC;
    double Mismatch;
    double Complexity;
    char Cons[MAX_K + 1];
    double RLFT;
    double CLFT;
    double STD;
    double MAPS;

    Individual();
    Individual(double c, int g);

    double getRLFT() const { return RLFT; }
    void setRLFT(double v) { RLFT = v; }
    double getCLFT() const { return CLFT; }
    void setCLFT(double v) { CLFT = v; }
    double getComplexity() const { return Complexity; }
    void setComplexity(double v) { Complexity = v; }
    double getLC() const { return Complexity; }
    void setLC(double v) { Complexity = v; }
    int getID() const { return ID; }
    void setID(int v) { ID = v; }
    int getGeneNo() const { return GeneNo; }
    void setGeneNo(int v) { GeneNo = v; }
    int getConLen() const { return ConLen; }
    void setConLen(int v) { ConLen = v; }
    double getIC() const { return IC; }
    void setIC(double v) { IC = v; }
    double getMismatch() const { return Mismatch; }
    void setMismatch(double v) { Mismatch = v; }
    double getSTD() const { return STD; }
    void setSTD(double v) { STD = v; }
    double getMAPS() const { return MAPS; }
    void setMAPS(double v) { MAPS = v; }
    char* getCons() { return Cons; }
    const char* getCons() const { return Cons; }
    void setCons(const char* text, int len);
    double* getMismatchMatrix() { return &MismatchMatrix[0][0]; }
    void setValues(int g, int c) { GeneNo = g; ConLen = c; }
    void setFitness(double ic, double mismatch, double complexity, const char* cons, int len);

    bool operator==(Individual const& other) const;
    bool operator<(Individual const& other) const { return Mismatch < other.Mismatch; }

    // Scoring of the genetic form (one site per strand).
    void CalculateIndiFitness(Midlayer* data, const double* bg, const std::vector<int>& starts);
    double CalculateMismatch(const Midlayer* data, const char* word) const;
    // The same score for an encoded window of L letters (codes 0..3).
    double MismatchCodes(const Midlayer* data, const uint8_t* codes, int L) const;
    double LowerComplexity(int k) const;
    void Consensus(int k);
    static int LookupCode(char c);

    // Scoring of the site-list form against the background model.
    // logP, when given, holds log2 of the background probability of every
    // window, strand after strand (strand g starting at logP->offset[g]), so
    // that repeated scoring need not recompute them.
    void CalculateIndiFitness_vector(Midlayer* data, const double* bg, const struct WindowLogP* logP = nullptr);
    // The information content CalculateIndiFitness_vector would give the
    // sites (and extra, when given, after them), to the last bit, without
    // scoring them: whether a change raises it is known before it is made.
    static double SitesIC(Midlayer* data, const double* bg, int k, const std::vector<kmer>& sites,
                          const kmer* extra = nullptr);
    // The same from the letter counts of N sites.
    static double CountsIC(const double (&count)[B][MAX_K], int N, int k, const double* bg);
    // The letter counts of the sites as last scored (valid while Sites is
    // the list CalculateIndiFitness_vector last saw).
    void ScoredCounts(double (&count)[B][MAX_K]) const;
    double CalculateSTD(const double* values, const int& n) const;
    double CalculateMarkvBK(Midlayer* data, const struct WindowLogP* logP = nullptr);

    // Mutated consensus for re-alignment: the consensus of the windows at
    // starts with a drawn number of drawn offsets taking their second choice.
    void ReplaceConsensus(Midlayer* data, char* out, const std::vector<int>& starts);
    // Its two halves: the draws alone (the offsets, last slot first; returns
    // how many), and the rest, which draws nothing and so may run anywhere.
    int DrawReplacedOffsets(int k, int* slots) const;
    void ApplyReplacedOffsets(Midlayer* data, char* out, const std::vector<int>& starts, const int* slots, int m);
    void Consensus_option(int k, int type, char* out) const;
    int NumReplace(const int& k) const;
};

// Letter tallies and site scores of a model use 512-bit instructions where
// the processor has them (set at start-up); the results are the same to the
// last bit either way.
extern bool UseWideCounting;

// Mismatch of windows against one model's matrix, with the terms of every
// offset and letter laid out in advance. Exact() adds the very same terms in
// the very same order as Individual::MismatchCodes, so the two agree to the
// last bit; Approx() adds one pre-summed term per offset instead, which is
// within 1e-12 (relative) of Exact() and serves to rule windows out quickly.
class MismatchScorer {
public:
    MismatchScorer(const double (&matrix)[B][MAX_K], const double (&posFreq)[B][MAX_K], int k);
    double Exact(const uint8_t* codes) const {
        double num = 0.0;
        double den = 0.0;
        for (int p = 0; p < k_; ++p) {
            const double* n = num_[p][codes[p]];
            const double* d = den_[p][codes[p]];
            num += n[0];
            num += n[1];
            num += n[2];
            num += n[3];
            den += d[0];
            den += d[1];
            den += d[2];
            den += d[3];
        }
        return num / den;
    }
    // Four windows side by side: for each, the very sums of Exact().
    void Exact4(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2, const uint8_t* c3, double* out) const {
        double n0 = 0.0, n1 = 0.0, n2 = 0.0, n3 = 0.0;
        double d0 = 0.0, d1 = 0.0, d2 = 0.0, d3 = 0.0;
        for (int p = 0; p < k_; ++p) {
            const double* a = num_[p][c0[p]];
            const double* b = num_[p][c1[p]];
            const double* c = num_[p][c2[p]];
            const double* d = num_[p][c3[p]];
            const double* e = den_[p][c0[p]];
            const double* f = den_[p][c1[p]];
            const double* g = den_[p][c2[p]];
            const double* h = den_[p][c3[p]];
            for (int i = 0; i < B; ++i) {
                n0 += a[i];
                n1 += b[i];
                n2 += c[i];
                n3 += d[i];
                d0 += e[i];
                d1 += f[i];
                d2 += g[i];
                d3 += h[i];
            }
        }
        out[0] = n0 / d0;
        out[1] = n1 / d1;
        out[2] = n2 / d2;
        out[3] = n3 / d3;
    }
    double Approx(const uint8_t* codes) const { return ApproxNum(codes) / ApproxDen(codes); }
    double ApproxNum(const uint8_t* codes) const {
        double num = 0.0;
        for (int p = 0; p < k_; ++p) num += numRow_[p][codes[p]];
        return num;
    }
    double ApproxDen(const uint8_t* codes) const {
        double den = 0.0;
        for (int p = 0; p < k_; ++p) den += denRow_[p][codes[p]];
        return den;
    }
    // The pre-summed numerator terms of offset p, by letter code.
    const double* NumRow(int p) const { return numRow_[p]; }
    // True when the estimated numerator already exceeds bound part way through
    // the window (every term is non-negative, so it can only grow).
    bool NumExceeds(const uint8_t* codes, double bound) const {
        double num = 0.0;
        for (int p = 0; p < k_; ++p) {
            num += numRow_[p][codes[p]];
            if (num > bound) return true;
        }
        return false;
    }

    // Term of offset p, letter code c and base b (numerator or denominator).
    double NumTerm(int p, int c, int b) const { return num_[p][c][b]; }
    double DenTerm(int p, int c, int b) const { return den_[p][c][b]; }
    int Width() const { return k_; }

private:
    int k_;
    // [offset][letter code, 4 = no base][base]
    double num_[MAX_K][5][B];
    double den_[MAX_K][5][B];
    double numRow_[MAX_K][5];
    double denRow_[MAX_K][5];
};

// Relative margin by which an estimate must exceed a limit before a window is
// ruled out without its exact score.
const double APPROX_MARGIN = 1e-9;

// Descending MAP score: the ranking of the final models.
bool RankMAPS(const Individual& a, const Individual& b);

std::ostream& operator<<(std::ostream& os, const Individual& model);

#endif
