// platform/sqlstore: which fetched rows of a result set are still there.
//
// A result set keeps every fetched row in place and marks deleted ones, as
// a static cursor does; positions the user sees count live rows only. This
// Fenwick tree answers "how many live rows lie before slot s" and "which
// slot is the k-th live row" in O(log n), so deleting every row of a large
// result one by one stays linear-logarithmic instead of quadratic.
#pragma once

#include <cstddef>
#include <vector>

namespace platform::sqlstore {

class LiveRows {
public:
    explicit LiveRows(std::size_t n = 0) : tree_(n + 1, 0), live_(n, true), count_(n) {
        for (std::size_t i = 1; i <= n; ++i) {
            tree_[i] += 1;
            if (std::size_t parent = i + (i & -i); parent <= n) tree_[parent] += tree_[i];
        }
    }
    std::size_t Slots() const { return live_.size(); }
    std::size_t Count() const { return count_; }
    bool IsLive(std::size_t slot) const { return slot < live_.size() && live_[slot]; }

    void Kill(std::size_t slot) {
        if (!IsLive(slot)) return;
        live_[slot] = false;
        --count_;
        for (std::size_t i = slot + 1; i < tree_.size(); i += i & -i) --tree_[i];
    }
    // Live rows in slots [0, slot).
    std::size_t LiveBefore(std::size_t slot) const {
        std::size_t sum = 0;
        for (std::size_t i = slot; i > 0; i -= i & -i) sum += tree_[i];
        return sum;
    }
    // The slot of live row k (0-based); Slots() when there is none.
    std::size_t SlotOf(std::size_t k) const {
        if (k >= count_) return live_.size();
        std::size_t pos = 0, step = 1;
        while (step * 2 < tree_.size()) step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step < tree_.size() && tree_[pos + step] <= k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        return pos;  // tree index pos+1 is the slot pos
    }

private:
    std::vector<std::size_t> tree_;
    std::vector<bool> live_;
    std::size_t count_;
};

}  // namespace platform::sqlstore
