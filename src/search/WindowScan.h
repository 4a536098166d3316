// Nearest-window scans: for a text, the admissible window of each strand with
// the fewest differing letters (re-alignment), over windows packed in advance
// where the processor has 512-bit integer instructions, or slid a letter at a
// time; and the scorer of windows against a known-site profile.
#ifndef QIRO_WINDOWSCAN_H
#define QIRO_WINDOWSCAN_H

#include <cstdint>
#include <vector>

#include "core/Constants.h"
#include "input/Midlayer.h"

// Mismatch of windows against a known-site profile: Exact() adds the same
// terms in the same order as GAFrame::CalMismatchCodes; Approx() is within
// 1e-12 (relative) of it and rules windows out quickly.
class ProfileScorer {
public:
    ProfileScorer(const double (&profile)[B][MAX_K], int k);
    double Exact(const uint8_t* codes) const {
        double sum = 0.0;
        for (int p = 0; p < k_; ++p) {
            const double* t = term_[p][codes[p]];
            sum += t[0];
            sum += t[1];
            sum += t[2];
            sum += t[3];
        }
        return sum;
    }
    double Approx(const uint8_t* codes) const {
        double sum = 0.0;
        for (int p = 0; p < k_; ++p) sum += row_[p][codes[p]];
        return sum;
    }

private:
    int k_;
    double term_[MAX_K][5][B];
    double row_[MAX_K][5];
};

// Every window of every strand packed for the wide scan, made once per data
// layer and width. Without 512-bit integer instructions (or for k > 32, or
// inputs too large to hold packed) it stays empty and scans slide instead.
class WindowIndex {
public:
    // Pack windows when the processor can scan them (tests turn it off to
    // compare the scans).
    bool UseWide = WideAvailable();
    // Windows of more than 16 letters (or without the 32-bit population
    // count): 2 bits a letter in 64 bits.
    std::vector<std::vector<uint64_t>> WindowBits;
    // Windows of at most 16 letters where the processor counts bits in
    // 512-bit registers: 32 bits each (then WindowBits is empty).
    std::vector<std::vector<uint32_t>> WindowBits32;

    static bool WideAvailable();
    static bool NarrowAvailable();
    void Pack(const Midlayer* data, int k);
    // Whether the packed windows are those of this data layer and width.
    bool PackedFor(const Midlayer* data, int k) const { return data_ == data && k_ == k; }
    // Starts of the admissible windows nearest to text (k letters), one per
    // strand: the first of equally near windows.
    void Nearest(const Midlayer* data, const char* text, int k, std::vector<int>& starts) const;

private:
    const Midlayer* data_ = nullptr;
    int k_ = 0;
};

#endif
