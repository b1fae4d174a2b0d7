#include "model/tree_edit.h"

#include "common/method_args.h"

#include "model/item_names.h"

using namespace virk;

namespace {

template <class T>
const T* LastChildOfClass(const CItem& parent) {
  const auto& children = parent.Children();
  return children.empty() ? nullptr : dynamic_cast<const T*>(children.rbegin()->second.get());
}

template <class T>
bool RestoreData(CItem& item, const CItem& before) {
  auto* target = dynamic_cast<T*>(&item);
  const auto* source = dynamic_cast<const T*>(&before);
  if (target && source) target->m_Data = source->m_Data;
  return target && source;
}

}  // namespace

bool CopySettings(CItem& item, const CItem& from) {
  if (item.Name() != from.Name()) {
    if (!item.Parent())
      item.SetName(from.Name());
    else if (!item.Rename(from.Name()))
      return false;
  }
  RestoreData<CChannelInfo>(item, from) || RestoreData<CDeviceInfo>(item, from) ||
      RestoreData<CGroupInfo>(item, from) || RestoreData<CDATagInfo>(item, from);
  return true;
}

ItemPtr SettingsCopy(const CItem& item) {
  ItemPtr copy = ItemFactory().Create(item.Kind());
  if (copy) CopySettings(*copy, item);
  return copy;
}

ItemPtr NewItem(const CItem& parent, int32_t kind) {
  ItemPtr item = ItemFactory().Create(kind);
  if (item) item->SetName(NextFreeName(parent, item->Name()));
  return item;
}

ItemPtr NewChannel(const CItem& root) {
  ItemPtr item = NewItem(root, kKindChannel);
  // The port after the last channel's; behind a TCP channel, after the
  // highest COM port in use, so the proposal is free whenever one is.
  uint32_t port = 0;
  if (const auto* last = LastChildOfClass<CChannelInfo>(root); last && last->m_Data.Com()) {
    port = last->m_Data.Com()->m_PortNumber;
  } else {
    for (const auto& [name, child] : root.Children())
      if (const auto* ch = dynamic_cast<const CChannelInfo*>(child.get()); ch && ch->m_Data.Com())
        port = std::max(port, ch->m_Data.Com()->m_PortNumber);
  }
  if (!root.Children().empty()) static_cast<CChannelInfo&>(*item).m_Data.Com()->m_PortNumber = port + 1;
  return item;
}

ItemPtr NewDevice(const CItem& channel) {
  ItemPtr item = NewItem(channel, kKindDevice);
  if (const auto* last = LastChildOfClass<CDeviceInfo>(channel))
    static_cast<CDeviceInfo&>(*item).m_Data.m_Addr = uint8_t(last->m_Data.m_Addr + 1);
  return item;
}

namespace {

// The child of `parent` other than `replaced` that equals `candidate` by the class's rule.
const CItem* DuplicateOf(const CItem& parent, const CItem& candidate, const CItem* replaced) {
  const CInfo* info = InfoOf(&candidate);
  if (!info) return nullptr;
  for (const auto& [name, child] : parent.Children())
    if (child.get() != replaced && child.get() != &candidate && info->IsEqualTo(*child))
      return child.get();
  return nullptr;
}

}  // namespace

Clash FindClash(const CItem& parent, const CItem& candidate, const CItem* replaced) {
  const auto named = parent.Children().find(candidate.Name());
  if (named != parent.Children().end() && named->second.get() != replaced &&
      named->second.get() != &candidate)
    return {Clash::Name, candidate.Name()};
  if (const CItem* sibling = DuplicateOf(parent, candidate, replaced))
    return {Clash::Duplicate, sibling->Name()};
  return {};
}

namespace {

// Advances the copy while the parent holds an equal item; true when the copy
// still needs the copy suffix in its name.
bool NeedsCopySuffix(const CItem& parent, CItem& copy, const CItem& source, int clipboardSize) {
  if (clipboardSize > 1) return true;
  CInfo* info = InfoOf(&copy);
  if (!info) return true;
  // Every step yields a new value, so one more step than there are siblings
  // always leaves the duplicates behind.
  for (size_t steps = 0; steps <= parent.Children().size(); ++steps) {
    if (!DuplicateOf(parent, copy, nullptr)) return false;
    if (!info->Advance() || info->IsEqualTo(source)) return true;
  }
  return true;
}

}  // namespace

CItem* PasteCopy(CItem& parent, const CItem& source, int clipboardSize) {
  ItemPtr copy = source.DeepCopy(ItemFactory());
  if (!copy) return nullptr;
  std::string name = copy->Name();
  if (NeedsCopySuffix(parent, *copy, source, clipboardSize)) name = WithCopySuffix(name);
  copy->SetName(UniqueChildName(parent, name));
  CItem* raw = copy.get();
  return parent.AddChild(std::move(copy)) ? raw : nullptr;
}

CItem* AncestorOfKind(CItem* item, int32_t kind) {
  while (item && item->Kind() != kind) item = item->Parent();
  return item;
}

QString ItemPath(const CItem& item) { return QString::fromStdString(item.FullName()); }

QStringList SettingsArguments(const CItem& item) {
  QStringList arguments;
  for (const std::string& field : ItemSettingsFields(item)) arguments << QString::fromStdString(field);
  return arguments;
}
