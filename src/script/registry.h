// Registries: the ordered lists of live script objects of one kind (the
// actor list, the mesh list, ...). Each holds non-owning references in the
// order objects joined; for most kinds an object's script-visible ID is its
// current position, so destroying one moves every later one down by one.
//
// Loops that call into Lua never walk a registry directly: the callee may
// create or destroy objects. `ForEachLive` walks the members present when
// the walk began, through their checked handles, and skips those destroyed
// meanwhile; objects created meanwhile wait for the next walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <type_traits>
#include <vector>

#include "script/handles.h"

namespace kavo {

class TKavo_ScriptClass;

class TRegistryBase {
 public:
  explicit TRegistryBase(const TObjectHandles& handles) : handles_(handles) {}
  TRegistryBase(const TRegistryBase&) = delete;
  TRegistryBase& operator=(const TRegistryBase&) = delete;

  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  // The member at a position; raises the list-index error the scripts see
  // ("List index out of bounds (i)") outside 0 .. Count() - 1.
  TKavo_ScriptClass* ObjectAt(int64_t index) const;
  // The first position of an object, or -1.
  int IndexOf(const TKavo_ScriptClass* obj) const;
  bool Contains(const TKavo_ScriptClass* obj) const { return IndexOf(obj) >= 0; }

  // Appends an object (a second time too: the menu list holds the default
  // menu twice).
  void Join(TKavo_ScriptClass* obj) { items_.push_back(obj); }
  // Removes the first occurrence of an object; nothing when absent.
  void Leave(const TKavo_ScriptClass* obj);
  void Clear() { items_.clear(); }

  // The members' handles, oldest first or newest first: what a walk that
  // calls into Lua goes over.
  std::vector<TObjectHandle> Handles() const;
  std::vector<TObjectHandle> NewestFirst() const;

  std::vector<TKavo_ScriptClass*> Objects() const { return {items_.begin(), items_.end()}; }
  const TObjectHandles& HandleTable() const { return handles_; }

 protected:
  // A deque: objects leave from the front in O(1), which is how the close
  // destroys them (oldest first).
  std::deque<TKavo_ScriptClass*> items_;
  const TObjectHandles& handles_;
};

// A registry of objects of class T (or classes derived from it).
template <class T>
class TRegistry : public TRegistryBase {
 public:
  using TRegistryBase::TRegistryBase;

  T* At(int64_t index) const { return static_cast<T*>(ObjectAt(index)); }
  // The member at a position, or null outside the list.
  T* Find(int64_t index) const {
    return index >= 0 && index < static_cast<int64_t>(items_.size()) ? static_cast<T*>(items_[index]) : nullptr;
  }
  T* operator[](size_t index) const { return static_cast<T*>(items_[index]); }
  T* Front() const { return static_cast<T*>(items_.front()); }
  T* Back() const { return static_cast<T*>(items_.back()); }

  // Plain iteration, for loops that do not call into Lua.
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T*;
    using difference_type = std::ptrdiff_t;
    using pointer = T* const*;
    using reference = T*;
    explicit iterator(std::deque<TKavo_ScriptClass*>::const_iterator it) : it_(it) {}
    T* operator*() const { return static_cast<T*>(*it_); }
    iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const iterator& o) const { return it_ != o.it_; }
    bool operator==(const iterator& o) const { return it_ == o.it_; }

   private:
    std::deque<TKavo_ScriptClass*>::const_iterator it_;
  };
  iterator begin() const { return iterator(items_.begin()); }
  iterator end() const { return iterator(items_.end()); }

  // Calls f(T&) for every member present when the walk began, oldest first,
  // skipping members destroyed meanwhile. When f returns bool, false ends
  // the walk.
  template <class F>
  void ForEachLive(F&& f) const {
    Walk(Handles(), f);
  }
  // The same, newest first.
  template <class F>
  void ForEachLiveNewestFirst(F&& f) const {
    Walk(NewestFirst(), f);
  }

 private:
  template <class F>
  void Walk(const std::vector<TObjectHandle>& walk, F& f) const {
    for (TObjectHandle h : walk) {
      TKavo_ScriptClass* obj = handles_.Resolve(h);
      if (obj == nullptr) continue;
      if constexpr (std::is_same_v<decltype(f(*static_cast<T*>(obj))), bool>) {
        if (!f(*static_cast<T*>(obj))) return;
      } else {
        f(*static_cast<T*>(obj));
      }
    }
  }
};

}  // namespace kavo
