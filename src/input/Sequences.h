// The strand store's records: letters coded in 2 bits and packed 32 to a word,
// a strand and its reverse complement sharing what they can, and the packed
// windows that count differing letters a word at a time.
#ifndef QIRO_SEQUENCES_H
#define QIRO_SEQUENCES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// 2-bit base codes: A/a 0, C/c 1, G/g 2, T/t 3; every other byte is BASE_NONE.
const uint8_t BASE_NONE = 4;
extern const uint8_t kBaseCode[256];

// What the two strands of a sequence share, so that a reverse strand costs
// little more than its letter codes.
struct SeqShared {
    std::string name;  // first word of the header line
    // The forward letters, 2 bits each, 32 to a word (base i at bits 2*(i%32)
    // of word i/32; letters without a code count as A), plus one spare word so
    // a window can always read the word after its last one.
    std::vector<uint64_t> packed;
    // Bit i (word i/64) set when forward letter i has no code; empty when
    // none has. Such letters count as A on both strands, so reading a reverse
    // window off the forward words must set them right. One spare word, as
    // for packed.
    std::vector<uint64_t> unknown;
    // Bit i (word i/64) set when forward letter i was read in lower case;
    // empty when none was, as in most files.
    std::vector<uint64_t> lower;
    // Bit i (word i/64) set when forward letter i is masked (-mask, -dust):
    // no admissible window holds it. Empty when none is, as always without
    // masking. One spare word, as for packed.
    std::vector<uint64_t> masked;
};

// One strand: a sequence as read, or the reverse complement of one. The letters
// are kept only in coded form; Letter() and Letters() give them back as read
// (A, C, G, T in either case, N for anything else).
struct SeqRecord {
    int len = 0;
    bool forward = true;
    std::vector<uint8_t> code;  // kBaseCode of each letter: 0..3, BASE_NONE for N
    std::shared_ptr<const SeqShared> shared;

    // Makes the forward strand of a sequence from its letters as read (A, C,
    // G, T in either case, N).
    void Assign(const std::string& name, const char* letters, size_t n);
    // Makes the reverse complement of forward strand r (case kept).
    void AssignReverseOf(const SeqRecord& r);

    const std::string& Name() const { return shared->name; }
    char Letter(int i) const {
        char c = "ACGTN"[code[static_cast<size_t>(i)]];
        const std::vector<uint64_t>& lower = shared->lower;
        if (!lower.empty()) {
            const size_t j = static_cast<size_t>(forward ? i : len - 1 - i);
            if ((lower[j >> 6] >> (j & 63)) & 1) c = static_cast<char>(c | 0x20);
        }
        return c;
    }
    std::string Letters(int pos, int n) const {
        std::string out(static_cast<size_t>(n), 'N');
        for (int j = 0; j < n; ++j) out[static_cast<size_t>(j)] = Letter(pos + j);
        return out;
    }
    std::string Text() const { return Letters(0, len); }

    // Whether the n letters from pos hold a masked letter (on a reverse
    // strand, their forward letters do).
    bool WindowMasked(int pos, int n) const {
        const std::vector<uint64_t>& mask = shared->masked;
        if (mask.empty()) return false;
        int from = forward ? pos : len - pos - n;
        for (; n > 0; n -= 32, from += 32)
            if (ReadMask(mask.data(), from, n < 32 ? n : 32) != 0) return true;
        return false;
    }

    // Bases [pos, pos + n) as 2n bits, n from 1 to 32.
    uint64_t Bits(int pos, int n) const {
        if (forward) return Read(shared->packed.data(), pos, n);
        // The same letters on the forward strand, complemented and read back
        // to front.
        return ReverseComplementBits(MirrorBits(pos, n), n);
    }
    // On a reverse strand: the reverse complement of Bits(pos, n), read
    // straight off the forward words (letters without a code read as T, so
    // that they turn back into A). Comparing it with the reverse complement of
    // a text counts the same differences as comparing Bits(pos, n) with the
    // text, without turning every window around.
    uint64_t MirrorBits(int pos, int n) const {
        const int from = len - pos - n;
        uint64_t x = Read(shared->packed.data(), from, n);
        if (!shared->unknown.empty()) x |= Spread(ReadMask(shared->unknown.data(), from, n));
        return x;
    }
    // n 2-bit bases in reverse order, each complemented (3 - b).
    static uint64_t ReverseComplementBits(uint64_t v, int n) {
        uint64_t x = ~v;
        x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
        x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
        return __builtin_bswap64(x) >> (64 - 2 * n);
    }

private:
    // Bits [pos, pos + n) of a 1-bit-per-letter mask, n at most 32.
    static uint64_t ReadMask(const uint64_t* mask, int pos, int n) {
        const size_t w = static_cast<size_t>(pos) >> 6;
        const int off = pos & 63;
        uint64_t v = mask[w] >> off;
        if (off != 0) v |= mask[w + 1] << (64 - off);
        return v & ((uint64_t(1) << n) - 1);
    }
    // Each of the low 32 bits doubled into a 2-bit group.
    static uint64_t Spread(uint64_t v) {
        v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
        v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
        v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
        v = (v | (v << 2)) & 0x3333333333333333ull;
        v = (v | (v << 1)) & 0x5555555555555555ull;
        return v | (v << 1);
    }
    static uint64_t Read(const uint64_t* packed, int pos, int n) {
        const size_t w = static_cast<size_t>(pos) >> 5;
        const int off = (pos & 31) * 2;
        uint64_t v = packed[w] >> off;
        if (off != 0) v |= packed[w + 1] << (64 - off);
        return n == 32 ? v : v & ((uint64_t(1) << (2 * n)) - 1);
    }
};

// Letters that differ between two runs of up to 32 bases packed 2 bits each.
inline int PackedDifferences(uint64_t x, uint64_t y) {
    const uint64_t d = x ^ y;
    return __builtin_popcountll((d | (d >> 1)) & 0x5555555555555555ull);
}

// A window of up to MAX_K bases packed like SeqRecord::packed, for counting
// differing letters with a few word operations instead of a letter loop.
struct PackedWord {
    uint64_t part[2] = {0, 0};  // bases 0..31, then 32..39
    int len = 0;

    static PackedWord FromText(const char* text, int k);
    static PackedWord FromStrand(const SeqRecord& r, int pos, int k) {
        PackedWord w;
        w.len = k;
        w.part[0] = r.Bits(pos, k < 32 ? k : 32);
        if (k > 32) w.part[1] = r.Bits(pos + 32, k - 32);
        return w;
    }
    // Number of offsets whose bases differ.
    int Distance(const PackedWord& o) const {
        return PackedDifferences(part[0], o.part[0]) + PackedDifferences(part[1], o.part[1]);
    }
};

// kBaseCode of a letter, or -1 for a letter without a code.
inline int LetterCode(char c) {
    uint8_t b = kBaseCode[static_cast<unsigned char>(c)];
    return b == BASE_NONE ? -1 : b;
}

// Reverse complement of a text: A<->T, C<->G in either case, anything else N.
// out holds at least strlen(in) + 1 bytes.
void ReverseComplement(const char* in, char* out);
std::string ReverseComplement(const std::string& in);

// Appends the reverse strands of the first numSeq records of a store, in the
// same order, so that record numSeq + i mirrors record i.
void AddReverseStrands(std::vector<SeqRecord>& store, int numSeq);
// Keeps the forward sequences listed in keep (ascending) of a store of numSeq
// sequences, with their reverse strands when the store holds them.
void KeepSequences(std::vector<SeqRecord>& store, int numSeq, const std::vector<int>& keep);
// The indices (ascending) of the forward records that repeat no earlier one:
// a record whose letters equal an earlier record's, read forward or as its
// reverse complement, is left out (N counts as a letter; case and masks are
// not compared; a sequence of N alone is never a repeat). A repeated sequence aligns with itself at every window, so a
// judge that counted both copies would see a motif in any duplicate.
std::vector<size_t> DistinctRecords(const std::vector<SeqRecord>& records);

#endif
