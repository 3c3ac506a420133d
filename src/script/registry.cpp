#include "script/registry.h"

#include <algorithm>

#include "core/errors.h"

namespace kavo {

TKavo_ScriptClass* TRegistryBase::ObjectAt(int64_t index) const {
  if (index < 0 || index >= static_cast<int64_t>(items_.size())) throw ListIndexError(index);
  return items_[static_cast<size_t>(index)];
}

int TRegistryBase::IndexOf(const TKavo_ScriptClass* obj) const {
  auto it = std::find(items_.begin(), items_.end(), obj);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TRegistryBase::Leave(const TKavo_ScriptClass* obj) {
  auto it = std::find(items_.begin(), items_.end(), obj);
  if (it != items_.end()) items_.erase(it);
}

std::vector<TObjectHandle> TRegistryBase::Handles() const {
  std::vector<TObjectHandle> out;
  out.reserve(items_.size());
  for (const TKavo_ScriptClass* obj : items_) out.push_back(handles_.HandleOf(obj));
  return out;
}

std::vector<TObjectHandle> TRegistryBase::NewestFirst() const {
  std::vector<TObjectHandle> out = Handles();
  std::reverse(out.begin(), out.end());
  return out;
}

}  // namespace kavo
