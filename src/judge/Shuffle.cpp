#include "judge/Shuffle.h"

#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// a[0 .. n-1] in uniformly random order.
void FisherYates(uint32_t* a, uint32_t n, StageRandom& rng) {
    for (uint32_t i = n; i > 1; --i) std::swap(a[i - 1], a[rng.Below32(i)]);
}

bool IsFixed(const uint64_t* fixed, size_t i) { return fixed != nullptr && ((fixed[i >> 6] >> (i & 63)) & 1); }

}  // namespace

WordShuffler::WordShuffler(int k) : k_(k) {
    if (k < 1 || k > kMaxShuffleWord)
        throw std::invalid_argument("shuffle word length " + std::to_string(k) + " is not in 1.." +
                                    std::to_string(kMaxShuffleWord));
    idOf_.assign(size_t{1} << (2 * (k - 1)), -1);
}

void WordShuffler::Shuffle(const uint8_t* codes, size_t n, StageRandom& rng, std::vector<uint8_t>& out,
                           const uint64_t* fixed) {
    out.assign(codes, codes + n);
    const size_t k = static_cast<size_t>(k_);
    for (size_t a = 0; a < n;) {
        if (codes[a] >= BASE_NONE || IsFixed(fixed, a)) {
            ++a;
            continue;
        }
        size_t b = a + 1;
        while (b < n && codes[b] < BASE_NONE && !IsFixed(fixed, b)) ++b;
        // Edge and slot numbers are 32-bit; no sequence the program reads comes near.
        if (b - a >= std::numeric_limits<uint32_t>::max())
            throw std::length_error("a piece of 2^32 letters or more cannot be shuffled");
        if (b - a >= k) ShufflePiece(codes + a, static_cast<uint32_t>(b - a), rng, out.data() + a);
        a = b;
    }
}

void WordShuffler::ShufflePiece(const uint8_t* codes, uint32_t m, StageRandom& rng, uint8_t* out) {
    const uint32_t head = static_cast<uint32_t>(k_ - 1);  // letters of a vertex
    const uint32_t edges = m - head;                      // words of k letters
    const uint32_t wordMask = static_cast<uint32_t>(idOf_.size() - 1);

    // Number the vertices in order of first appearance; vertex_[i] is the word
    // of letters i .. i + k - 2.
    vertex_.resize(size_t{edges} + 1);
    seen_.clear();
    uint32_t word = 0;
    for (uint32_t i = 0; i < head; ++i) word = (word << 2 | codes[i]) & wordMask;
    for (uint32_t i = 0;; ++i) {
        int32_t& id = idOf_[word];
        if (id < 0) {
            id = static_cast<int32_t>(seen_.size());
            seen_.push_back(word);
        }
        vertex_[i] = static_cast<uint32_t>(id);
        if (i == edges) break;
        word = (word << 2 | codes[i + head]) & wordMask;
    }
    const uint32_t vertices = static_cast<uint32_t>(seen_.size());
    for (uint32_t w : seen_) idOf_[w] = -1;

    // Out-edges grouped by vertex: edge j (the word at j) leaves vertex_[j]
    // for vertex_[j + 1].
    first_.assign(size_t{vertices} + 1, 0);
    for (uint32_t j = 0; j < edges; ++j) ++first_[vertex_[j] + 1];
    for (uint32_t v = 0; v < vertices; ++v) first_[v + 1] += first_[v];
    cursor_.assign(first_.begin(), first_.end() - 1);
    slot_.resize(edges);
    for (uint32_t j = 0; j < edges; ++j) slot_[cursor_[vertex_[j]]++] = j;

    // 1. The last exits: Wilson's walks toward the final vertex. A walk
    // overwrites a vertex's exit whenever it comes back, which erases the
    // loop it made; the second pass adds the loop-erased path to the tree.
    // Every vertex but the final one has an out-edge (it is followed by a
    // letter somewhere in the piece), and all reach the final vertex.
    const uint32_t root = vertex_[edges];
    inTree_.assign(vertices, 0);
    inTree_[root] = 1;
    exit_.resize(vertices);
    for (uint32_t v = 0; v < vertices; ++v) {
        for (uint32_t u = v; !inTree_[u];) {
            exit_[u] = first_[u] + rng.Below32(first_[u + 1] - first_[u]);
            u = vertex_[slot_[exit_[u]] + 1];
        }
        for (uint32_t u = v; !inTree_[u]; u = vertex_[slot_[exit_[u]] + 1]) inTree_[u] = 1;
    }

    // 2. Each vertex's last exit to the end of its edges, the others in random order.
    for (uint32_t v = 0; v < vertices; ++v) {
        uint32_t count = first_[v + 1] - first_[v];
        if (v != root) {
            std::swap(slot_[exit_[v]], slot_[first_[v + 1] - 1]);
            --count;
        }
        FisherYates(slot_.data() + first_[v], count, rng);
    }

    // 3. The walk from the first vertex.
    for (uint32_t i = 0; i < head; ++i) out[i] = codes[i];
    cursor_.assign(first_.begin(), first_.end() - 1);
    uint32_t u = vertex_[0];
    for (uint32_t t = 0; t < edges; ++t) {
        if (cursor_[u] == first_[u + 1]) throw std::logic_error("shuffle walk stuck before its end");
        const uint32_t j = slot_[cursor_[u]++];
        out[head + t] = codes[j + head];
        u = vertex_[j + 1];
    }
}

void ShuffleKeepingWords(const uint8_t* codes, size_t n, int k, StageRandom& rng, std::vector<uint8_t>& out,
                         const uint64_t* fixed) {
    WordShuffler(k).Shuffle(codes, n, rng, out, fixed);
}

std::vector<SeqRecord> MakeControls(const std::vector<SeqRecord>& forward, int numSeq, int copies, int k,
                                    uint32_t seed) {
    if (copies < 0) throw std::invalid_argument("negative number of control copies");
    WordShuffler shuffler(k);
    std::vector<SeqRecord> controls;
    controls.reserve(static_cast<size_t>(numSeq) * static_cast<size_t>(copies));
    std::vector<uint8_t> codes;
    std::string letters;
    for (int s = 0; s < numSeq; ++s) {
        const SeqRecord& r = forward[static_cast<size_t>(s)];
        if (!r.forward) throw std::invalid_argument("controls are made from forward strands");
        const std::vector<uint64_t>& masked = r.shared->masked;
        const std::vector<uint64_t>& lower = r.shared->lower;
        const size_t n = static_cast<size_t>(r.len);
        StageRandom rng(seed, kStageControls, static_cast<uint32_t>(s));
        for (int c = 1; c <= copies; ++c) {
            shuffler.Shuffle(r.code.data(), n, rng, codes, masked.empty() ? nullptr : masked.data());
            letters.resize(n);
            for (size_t i = 0; i < n; ++i) {
                char l = "ACGTN"[codes[i]];
                if (!lower.empty() && codes[i] != BASE_NONE && ((lower[i >> 6] >> (i & 63)) & 1))
                    l = static_cast<char>(l | 0x20);
                letters[i] = l;
            }
            SeqRecord control;
            control.Assign(r.Name() + "_shuffled" + std::to_string(c), letters.data(), n);
            if (!masked.empty()) {
                auto withMask = std::make_shared<SeqShared>(*control.shared);
                withMask->masked = masked;
                control.shared = std::move(withMask);
            }
            controls.push_back(std::move(control));
        }
    }
    return controls;
}
