// Constants shared by every module, and the program's single random source.
#ifndef QIRO_CONSTANTS_H
#define QIRO_CONSTANTS_H

#include <cstdint>

const int DFLT_K = 8;          // default motif width (-k) and its reset value
const int MAX_K = 40;          // widest motif; column count of every position matrix
const int MIN_K = 4;           // narrowest motif
const int MAX_SEQ = 15000;     // historical per-sequence limit; sequences are no longer bounded by it
const int MAX_NUM = 999999;    // sentinel for running minima and maxima
const int DFLT_GEN = 1000;     // -g
const int DFLT_POP = 600;      // -p
const int DFLT_NOSITE = 2;     // -ns
const double DFLT_SUB = 0.8;   // -r
const double DFLT_WIN = 0.25;  // -w
const double DFLT_COMP = 0.01; // -lc
const double DFLT_PKPER = 0.8; // -pkper
const double DFLT_PERPK = 1.0; // -perpk
const double DFLT_DELTA = 0.05;// -delta
const double DFLT_PKQ = 0.0;   // -pkq
const bool FILTERING = true;   // -f
const bool POST_PRO = true;    // -post
const bool DOUBLE_STR = true;  // -d
const char DFLT_OUT[33] = "qiro.out";
const int FNStrLen = 300;      // historical file-name buffer size; names are no longer bounded by it
const int LEN_STR = 300;       // historical line buffer size
const int B = 4;               // bases A, C, G, T coded 0..3

// The build defines the version from the project version in CMakeLists.txt.
#ifndef QIRO_VERSION_STRING
#error "QIRO_VERSION_STRING comes from the build: compile through CMakeLists.txt"
#endif
const char QIRO_VERSION[] = QIRO_VERSION_STRING;

// The one random source of a run: the classic portable generator, values 0..32767.
// Every random decision draws from it in a fixed order, so a seed reproduces a run.
const int QIRO_RAND_MAX = 32767;

namespace qiro_random_detail {
inline uint32_t state = 1;
}

inline void SeedRandom(uint32_t seed) { qiro_random_detail::state = seed; }

inline int Random() {
    uint32_t& next = qiro_random_detail::state;
    next = next * 1103515245u + 12345u;
    return static_cast<int>((next / 65536u) % 32768u);
}

#endif
