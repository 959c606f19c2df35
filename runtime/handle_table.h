// A table of objects named by small integers: the open ports, the open files and the started
// threads. Callers get shared references, so an object that another thread removes from the
// table stays alive until the last operation on it has ended; the table's own lock is held
// only while an entry is looked up, added or removed, never while an object is used.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace kv {

template <typename T>
class HandleTable {
  public:
    using Ref = std::shared_ptr<T>;

    // Numbers the table assigns itself run from `firstAssigned` to `lastAssigned`. With
    // `reuseNumbers` the assignment wraps around and skips numbers still in use; without it
    // every number is given once only and the table refuses once they are spent.
    HandleTable(int32_t firstAssigned, int32_t lastAssigned, bool reuseNumbers)
        : first_(firstAssigned), last_(lastAssigned), next_(firstAssigned), reuse_(reuseNumbers) {}

    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    Ref Find(int32_t number) const {
        std::lock_guard guard(lock_);
        auto it = entries_.find(number);
        return it == entries_.end() ? nullptr : it->second;
    }

    // The object of the lowest number for which `match` holds, or none.
    template <typename Predicate>
    Ref FindIf(Predicate match) const {
        std::lock_guard guard(lock_);
        for (const auto& entry : entries_) {
            if (match(*entry.second)) return entry.second;
        }
        return nullptr;
    }

    // Enters the object under a number the caller chose; false when it is taken.
    bool Insert(int32_t number, Ref object) {
        std::lock_guard guard(lock_);
        return entries_.emplace(number, std::move(object)).second;
    }

    // Enters the object under the caller's number and gives back what stood there before.
    Ref Replace(int32_t number, Ref object) {
        std::lock_guard guard(lock_);
        Ref& slot = entries_[number];
        std::swap(slot, object);
        return object;
    }

    // Enters the object under a number the table assigns; 0 when none is left.
    int32_t Add(Ref object) {
        std::lock_guard guard(lock_);
        const int32_t number = freshNumber();
        if (number != 0) entries_.emplace(number, std::move(object));
        return number;
    }

    // As Add, after first removing every entry for which `stale` holds, under the same lock.
    template <typename Predicate>
    int32_t AddAfterPruning(Ref object, Predicate stale) {
        std::lock_guard guard(lock_);
        std::erase_if(entries_, [&](auto& entry) { return stale(*entry.second); });
        const int32_t number = freshNumber();
        if (number != 0) entries_.emplace(number, std::move(object));
        return number;
    }

    // Removes the number and gives back its object, if it had one.
    Ref Take(int32_t number) {
        std::lock_guard guard(lock_);
        auto it = entries_.find(number);
        if (it == entries_.end()) return nullptr;
        Ref object = std::move(it->second);
        entries_.erase(it);
        return object;
    }

    // Empties the table and gives back every object, in number order.
    std::vector<Ref> TakeAll() {
        std::map<int32_t, Ref> taken;
        {
            std::lock_guard guard(lock_);
            taken.swap(entries_);
        }
        std::vector<Ref> objects;
        objects.reserve(taken.size());
        for (auto& entry : taken) objects.push_back(std::move(entry.second));
        return objects;
    }

  private:
    // Called with the lock held.
    int32_t freshNumber() {
        for (int64_t tries = 0; tries <= int64_t{last_} - first_; ++tries) {
            if (exhausted_) return 0;
            const int32_t candidate = next_;
            if (candidate == last_) {
                next_ = first_;
                exhausted_ = !reuse_;
            } else {
                next_ = candidate + 1;
            }
            if (!entries_.contains(candidate)) return candidate;
        }
        return 0;
    }

    mutable std::mutex lock_;
    std::map<int32_t, Ref> entries_;
    const int32_t first_;
    const int32_t last_;
    int32_t next_;
    const bool reuse_;
    bool exhausted_ = false;
};

}  // namespace kv
