// The children of an item that are of one run-time class, in child order.
#pragma once

#include <vector>

#include "common/item.h"

namespace virk {

template <typename T>
std::vector<T*> ChildrenOf(const CItem& item) {
  std::vector<T*> children;
  children.reserve(item.Children().size());
  for (const auto& [name, child] : item.Children())
    if (auto* typed = dynamic_cast<T*>(child.get())) children.push_back(typed);
  return children;
}

}  // namespace virk
