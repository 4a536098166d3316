// The search's memory of re-aligned children: once the data are loaded, the
// whole scoring of a re-aligned child depends only on its mutated consensus,
// and children often share one, so the scored model of each text is kept.
#ifndef QIRO_ALIGNMENTCACHE_H
#define QIRO_ALIGNMENTCACHE_H

#include <cstddef>
#include <string>
#include <unordered_map>

#include "Individual.h"
#include "Midlayer.h"

// Scored models by text, for one data layer, up to a bounded number of bytes
// (all entries together); when full it starts afresh.
class AlignmentCache {
public:
    size_t Limit = size_t(1) << 28;
    size_t Hits = 0;
    size_t Misses = 0;

    // False when the entries were made for data; otherwise they are
    // forgotten and the cache now serves data.
    bool Renew(const Midlayer* data);
    // The model scored for text, or nullptr (each call that finds one counts a hit).
    const Individual* Find(const std::string& text);
    // Keeps a newly scored model; entryBytes is about what one entry takes.
    void Keep(const std::string& text, Individual&& model, size_t entryBytes);
    void clear() { byText_.clear(); }
    size_t size() const { return byText_.size(); }

private:
    std::unordered_map<std::string, Individual> byText_;
    const Midlayer* data_ = nullptr;
};

#endif
