#include "search/AlignmentCache.h"

#include <utility>

size_t AlignmentCache::EntryBytes(const std::string& text, const Entry& entry) {
    // The packed numbers, the text and about what the hash table spends on a node.
    return entry.narrow.capacity() * sizeof(uint16_t) + entry.wide.capacity() * sizeof(int32_t) + text.capacity() +
           96;
}

bool AlignmentCache::Renew(const void* owner, const std::vector<SeqRecord>& strands, int count) {
    if (owner_ == owner) return false;
    clear();
    owner_ = owner;
    narrow_ = count <= 65536;
    for (int t = 0; t < count && narrow_; ++t) narrow_ = strands[t].len <= 65536;
    return true;
}

void AlignmentCache::MakeRoom(size_t bytes) {
    if (recentBytes_ + bytes <= Limit / 2) return;
    older_ = std::move(recent_);
    recent_ = Map();
    recentBytes_ = 0;
}

const void* AlignmentCache::Find(const std::string& text) {
    auto hit = recent_.find(text);
    if (hit != recent_.end()) {
        ++Hits;
        return &hit->second;
    }
    auto old = older_.find(text);
    if (old == older_.end()) return nullptr;
    ++Hits;
    // Back to the recent generation while it has room; the node moves whole,
    // so the entry stays where it is. Only Keep retires a generation, so
    // that what Find handed out stays valid until then.
    const size_t bytes = EntryBytes(old->first, old->second);
    if (recentBytes_ + bytes > Limit / 2) return &old->second;
    recentBytes_ += bytes;
    return &recent_.insert(older_.extract(old)).position->second;
}

void AlignmentCache::Unpack(const void* found, AlignedText& out) const {
    const Entry& entry = *static_cast<const Entry*>(found);
    const size_t n = (entry.narrow.size() + entry.wide.size()) / 2;
    out.starts.resize(n);
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i) {
        // A start is below its strand's length, so at most 65,535 when narrow;
        // a strand number at most 65,535.
        out.starts[i] = narrow_ ? entry.narrow[i] : entry.wide[i];
        order[i] = narrow_ ? entry.narrow[n + i] : entry.wide[n + i];
    }
    out.order = std::make_shared<const std::vector<int>>(std::move(order));
}

void AlignmentCache::Keep(const std::string& text, const AlignedText& aligned) {
    const size_t n = aligned.starts.size();
    Entry entry;
    if (narrow_) {
        entry.narrow.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            entry.narrow[i] = static_cast<uint16_t>(aligned.starts[i]);
            entry.narrow[n + i] = static_cast<uint16_t>((*aligned.order)[i]);
        }
    } else {
        entry.wide.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            entry.wide[i] = aligned.starts[i];
            entry.wide[n + i] = (*aligned.order)[i];
        }
    }
    const size_t bytes = EntryBytes(text, entry);
    MakeRoom(bytes);
    recentBytes_ += bytes;
    recent_.emplace(text, std::move(entry));
}

void AlignmentCache::clear() {
    recent_.clear();
    older_.clear();
    recentBytes_ = 0;
}

void AlignmentCache::Release() {
    Map().swap(recent_);
    Map().swap(older_);
    recentBytes_ = 0;
}
