#include "input/Sequences.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace {

char Complement(char c) {
    switch (c) {
        case 'A': return 'T';
        case 'T': return 'A';
        case 'C': return 'G';
        case 'G': return 'C';
        case 'a': return 't';
        case 't': return 'a';
        case 'c': return 'g';
        case 'g': return 'c';
        default: return 'N';
    }
}

}  // namespace

const uint8_t kBaseCode[256] = {
#define R16(x) x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x
    R16(4), R16(4), R16(4), R16(4),
    // 64..127: A=65 C=67 G=71 T=84, a=97 c=99 g=103 t=116
    4, 0, 4, 1, 4, 4, 4, 2, 4, 4, 4, 4, 4, 4, 4, 4,
    4, 4, 4, 4, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
    4, 0, 4, 1, 4, 4, 4, 2, 4, 4, 4, 4, 4, 4, 4, 4,
    4, 4, 4, 4, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
    R16(4), R16(4), R16(4), R16(4), R16(4), R16(4), R16(4), R16(4),
#undef R16
};

PackedWord PackedWord::FromText(const char* text, int k) {
    PackedWord w;
    w.len = k;
    for (int i = 0; i < k; ++i) {
        uint8_t b = kBaseCode[static_cast<unsigned char>(text[i])];
        if (b == BASE_NONE) b = 0;
        w.part[i >> 5] |= uint64_t(b) << ((i & 31) * 2);
    }
    return w;
}

void SeqRecord::Assign(const std::string& name, const char* letters, size_t n) {
    auto info = std::make_shared<SeqShared>();
    info->name = name;
    len = static_cast<int>(n);
    forward = true;
    code.assign(n, BASE_NONE);
    info->packed.assign(n / 32 + 2, 0);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(letters[i]);
        const uint8_t b = kBaseCode[c];
        code[i] = b;
        if (b == BASE_NONE) {
            if (info->unknown.empty()) info->unknown.assign(n / 64 + 2, 0);
            info->unknown[i >> 6] |= uint64_t(1) << (i & 63);
            continue;
        }
        info->packed[i >> 5] |= uint64_t(b) << ((i & 31) * 2);
        if (c >= 'a') {
            if (info->lower.empty()) info->lower.assign(n / 64 + 1, 0);
            info->lower[i >> 6] |= uint64_t(1) << (i & 63);
        }
    }
    shared = std::move(info);
}

void SeqRecord::AssignReverseOf(const SeqRecord& r) {
    const size_t n = static_cast<size_t>(r.len);
    len = r.len;
    forward = false;
    shared = r.shared;
    code.assign(n, BASE_NONE);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = r.code[n - 1 - i];
        if (b != BASE_NONE) code[i] = static_cast<uint8_t>(3 - b);  // A<->T, C<->G
    }
}

void ReverseComplement(const char* in, char* out) {
    size_t len = std::strlen(in);
    for (size_t j = 0; j < len; ++j) out[len - 1 - j] = Complement(in[j]);
    out[len] = '\0';
}

std::string ReverseComplement(const std::string& in) {
    std::string out(in.size(), 'N');
    for (size_t j = 0; j < in.size(); ++j) out[in.size() - 1 - j] = Complement(in[j]);
    return out;
}

void AddReverseStrands(std::vector<SeqRecord>& store, int numSeq) {
    for (int s = 0; s < numSeq; ++s) {
        SeqRecord r;
        r.AssignReverseOf(store[s]);
        store.push_back(std::move(r));
    }
}

void KeepSequences(std::vector<SeqRecord>& store, int numSeq, const std::vector<int>& keep) {
    const int total = static_cast<int>(store.size());
    const bool hasReverse = total == 2 * numSeq && numSeq > 0 && !store[numSeq].forward;
    std::vector<SeqRecord> all;
    all.reserve(hasReverse ? 2 * keep.size() : keep.size());
    for (int s : keep) all.push_back(std::move(store[s]));
    if (hasReverse)
        for (int s : keep) all.push_back(std::move(store[numSeq + s]));
    store = std::move(all);
}

std::vector<size_t> DistinctRecords(const std::vector<SeqRecord>& records) {
    std::unordered_set<std::string> seen;
    std::vector<size_t> kept;
    for (size_t i = 0; i < records.size(); ++i) {
        const std::vector<uint8_t>& code = records[i].code;
        // A sequence of N alone aligns nothing: however many there are, none is a repeat.
        if (std::all_of(code.begin(), code.end(), [](uint8_t c) { return c == BASE_NONE; })) {
            kept.push_back(i);
            continue;
        }
        std::string forward(code.begin(), code.end()), reverse(forward.rbegin(), forward.rend());
        for (char& c : reverse)
            if (static_cast<uint8_t>(c) < 4) c = static_cast<char>(3 - c);
        // One key for a sequence and its reverse complement: the smaller of the two.
        if (seen.insert(std::min(forward, reverse)).second) kept.push_back(i);
    }
    return kept;
}
