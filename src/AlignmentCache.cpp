#include "AlignmentCache.h"

#include <utility>

bool AlignmentCache::Renew(const Midlayer* data) {
    if (data_ == data) return false;
    byText_.clear();
    data_ = data;
    return true;
}

const Individual* AlignmentCache::Find(const std::string& text) {
    auto hit = byText_.find(text);
    if (hit == byText_.end()) return nullptr;
    ++Hits;
    return &hit->second;
}

void AlignmentCache::Keep(const std::string& text, Individual&& model, size_t entryBytes) {
    if ((byText_.size() + 1) * entryBytes > Limit) byText_.clear();
    byText_.emplace(text, std::move(model));
}
