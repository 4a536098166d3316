// The search's memory of re-aligned children: once the data are loaded, the
// whole scoring of a re-aligned child depends only on its mutated consensus,
// and children often share one, so the site starts the alignment chose for
// each text are kept.
#ifndef QIRO_ALIGNMENTCACHE_H
#define QIRO_ALIGNMENTCACHE_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "Midlayer.h"

// Site starts by text, for one data layer, up to a bounded number of bytes
// (all entries together); when full it starts afresh.
//
// Only the starts are kept, not the scored model: aligning a text reads
// every window of every strand, scoring its sites reads one window a strand,
// so the starts keep almost all of the saving in a quarter of the memory of a
// model (a start is four bytes a strand; a model holds a start, a mismatch
// and its site order, sixteen). Scoring the same starts gives the same model.
class AlignmentCache {
public:
    size_t Limit = size_t(1) << 26;
    size_t Hits = 0;
    size_t Misses = 0;

    // False when the entries were made for data; otherwise they are
    // forgotten and the cache now serves data.
    bool Renew(const Midlayer* data);
    // The starts aligned for text, or nullptr (each call that finds them counts a hit).
    const std::vector<int>* Find(const std::string& text);
    // Keeps the starts newly aligned for text.
    void Keep(const std::string& text, std::vector<int> starts);
    void clear() {
        byText_.clear();
        bytes_ = 0;
    }
    // Forgets every entry and gives their memory back (the search is over).
    void Release() {
        std::unordered_map<std::string, std::vector<int>>().swap(byText_);
        bytes_ = 0;
    }
    size_t size() const { return byText_.size(); }

private:
    std::unordered_map<std::string, std::vector<int>> byText_;
    const Midlayer* data_ = nullptr;
    size_t bytes_ = 0;
};

#endif
