// What a simulated party keeps of what it saw: the latest entries and how many
// there were in all, so that a run of any length takes bounded memory.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace simdesk {

template <typename Entry>
class BoundedLog {
  public:
    // Far more than any single test looks back on.
    static constexpr std::size_t kKept = 256;

    void Add(Entry entry) {
        if (kept_.size() == kKept)
            kept_.pop_front();
        kept_.push_back(std::move(entry));
        ++total_;
    }
    // The latest entries, oldest first.
    std::vector<Entry> Kept() const { return {kept_.begin(), kept_.end()}; }
    // Every entry ever added, cleared ones included.
    std::size_t Total() const { return total_; }
    void Clear() { kept_.clear(); }

  private:
    std::deque<Entry> kept_;
    std::size_t total_ = 0;
};

}  // namespace simdesk
