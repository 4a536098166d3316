// The search's memory of re-aligned children: once the data are loaded, the
// whole scoring of a re-aligned child depends only on its mutated consensus,
// and children often share one, so what the alignment of each text gave is
// kept.
#ifndef QIRO_ALIGNMENTCACHE_H
#define QIRO_ALIGNMENTCACHE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "input/Sequences.h"

// What the alignment of a text gave: its site starts, one per strand, and
// the strands in order of their sites' fit, which crossover needs.
struct AlignedText {
    std::vector<int> starts;
    std::shared_ptr<const std::vector<int>> order;
};

// Aligned texts, for one set of strands, in at most about Limit bytes.
//
// Only the starts and the order are kept, not the scored model: aligning a
// text reads every window of every strand, scoring its sites reads one
// window a strand, so they keep almost all of the saving. They are packed in
// two bytes each when every strand is shorter than 65,536 letters and there
// are at most 65,536 strands (as in ChIP-seq peaks and promoters), four
// otherwise: an entry takes four bytes a strand where a scored model takes
// sixteen, so four times as many texts fit. Scoring the same starts gives
// the same model.
//
// Entries live in two generations of half the limit each: new entries go to
// the recent one, and when it is full it becomes the older one and the
// previous older one is dropped. An entry found in the older generation moves
// back to the recent one, so texts the search keeps meeting stay while those
// it has left behind go.
class AlignmentCache {
public:
    size_t Limit = size_t(1) << 26;
    size_t Hits = 0;
    size_t Misses = 0;

    // False when the entries were made for owner's strands; otherwise they
    // are forgotten and the cache now serves the first `count` of strands,
    // which owner (the data layer that holds them) stands for.
    bool Renew(const void* owner, const std::vector<SeqRecord>& strands, int count);
    // Whether text was aligned before (each call that finds it counts a
    // hit). Found entries can be unpacked until the next Keep.
    const void* Find(const std::string& text);
    // The starts and order of a found entry.
    void Unpack(const void* entry, AlignedText& out) const;
    // Keeps what a new alignment of text gave.
    void Keep(const std::string& text, const AlignedText& aligned);
    void clear();
    // Forgets every entry and gives their memory back (the search is over).
    void Release();
    size_t size() const { return recent_.size() + older_.size(); }

private:
    // Starts, then order; narrow entries in two bytes each, wide in four.
    struct Entry {
        std::vector<uint16_t> narrow;
        std::vector<int32_t> wide;
    };
    using Map = std::unordered_map<std::string, Entry>;
    static size_t EntryBytes(const std::string& text, const Entry& entry);
    void MakeRoom(size_t bytes);

    Map recent_, older_;
    size_t recentBytes_ = 0;
    bool narrow_ = false;
    const void* owner_ = nullptr;
};

#endif
