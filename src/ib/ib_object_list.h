// The registration lists of connections and transactions: each object at
// most once, in the order of registration.
#ifndef KAVO_IB_IB_OBJECT_LIST_H_
#define KAVO_IB_IB_OBJECT_LIST_H_

#include <algorithm>
#include <vector>

namespace kavo {

template <typename T>
class TIBObjectList {
 public:
  // The item's index; an item already listed keeps its place.
  int Add(T* item) {
    int i = IndexOf(item);
    if (i >= 0) return i;
    items_.push_back(item);
    return Count() - 1;
  }
  bool Remove(const T* item) {
    int i = IndexOf(item);
    if (i < 0) return false;
    items_.erase(items_.begin() + i);
    return true;
  }
  int IndexOf(const T* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  }
  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  T* operator[](int index) const { return items_.at(index); }
  T* Front() const { return items_.front(); }
  T* Back() const { return items_.back(); }
  void Clear() { items_.clear(); }
  // A copy to walk while the list may change underneath.
  std::vector<T*> Snapshot() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<T*> items_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_OBJECT_LIST_H_
