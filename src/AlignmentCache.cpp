#include "AlignmentCache.h"

#include <utility>

bool AlignmentCache::Renew(const Midlayer* data) {
    if (data_ == data) return false;
    clear();
    data_ = data;
    return true;
}

const std::vector<int>* AlignmentCache::Find(const std::string& text) {
    auto hit = byText_.find(text);
    if (hit == byText_.end()) return nullptr;
    ++Hits;
    return &hit->second;
}

void AlignmentCache::Keep(const std::string& text, std::vector<int> starts) {
    // The starts, the text and about what the hash table spends on a node.
    const size_t entryBytes = starts.capacity() * sizeof(int) + text.capacity() + 64;
    if (bytes_ + entryBytes > Limit) clear();
    bytes_ += entryBytes;
    byText_.emplace(text, std::move(starts));
}
