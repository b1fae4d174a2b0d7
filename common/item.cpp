#include "item.h"

#include "text.h"

namespace virk {
namespace {

// True when the item is of the base class its kind promises; the loader,
// writer and copy reach the settings only through these bases.
bool HasBaseOfKind(const CItem& item) {
  switch (item.Kind()) {
    case kKindChannel:
      return dynamic_cast<const CChannelBase*>(&item) != nullptr;
    case kKindDevice:
      return dynamic_cast<const CDeviceBase*>(&item) != nullptr;
    case kKindGroup:
      return dynamic_cast<const CGroupBase*>(&item) != nullptr;
    case kKindTag:
      return dynamic_cast<const CTagBase*>(&item) != nullptr;
    default:
      return false;
  }
}

bool PortsConflict(const PortData& a, const PortData& b) {
  if (const auto* comA = std::get_if<CPortIO_Data_COM>(&a)) {
    const auto* comB = std::get_if<CPortIO_Data_COM>(&b);
    return comB && comA->m_PortNumber == comB->m_PortNumber;
  }
  const auto* tcpA = std::get_if<CPortIO_Data_TCP>(&a);
  const auto* tcpB = std::get_if<CPortIO_Data_TCP>(&b);
  return tcpA && tcpB && tcpA->m_IpAddress == tcpB->m_IpAddress && tcpA->m_Port == tcpB->m_Port;
}

}  // namespace

bool CItem::Rename(const std::string& name) {
  if (!m_Parent) {
    m_Name = name;
    return true;
  }
  if (name == m_Name) return true;
  ChildMap& siblings = m_Parent->m_Children;
  if (siblings.count(name)) return false;
  auto node = siblings.extract(m_Name);
  node.key() = name;
  m_Name = name;
  siblings.insert(std::move(node));
  return true;
}

bool CItem::ConflictsWith(const CItem& other) const {
  return Kind() == other.Kind() && Name() == other.Name();
}

bool CItem::FindConflict(const CItem& item, const CItem* except) const {
  const CItem* skip = except ? except : &item;
  for (const auto& entry : m_Children) {
    const CItem* child = entry.second.get();
    if (child != skip && child->ConflictsWith(item)) return true;
  }
  return false;
}

CItem* CItem::FindChild(const std::string& utf8Name) const {
  if (utf8Name.empty()) return nullptr;
  const auto found = m_Children.find(utf8Name);
  return found == m_Children.end() ? nullptr : found->second.get();
}

CItem* CItem::FindChild(const std::u16string& name) const {
  return FindChild(Utf16ToUtf8(name));
}

bool CItem::AddChild(ItemPtr child) {
  if (!child || m_Children.count(child->Name())) return false;
  child->m_Parent = this;
  const std::string key = child->Name();
  m_Children.emplace(key, std::move(child));
  return true;
}

ItemPtr CItem::DetachChild(const std::string& name) {
  const auto found = m_Children.find(name);
  if (found == m_Children.end()) return nullptr;
  ItemPtr child = std::move(found->second);
  m_Children.erase(found);
  child->m_Parent = nullptr;
  return child;
}

bool CItem::RemoveChild(const std::string& name) { return DetachChild(name) != nullptr; }

ItemPtr CItem::DeepCopy(const CItemFactory& factory) const {
  ItemPtr copy;
  if (Kind() == kKindRoot) {
    auto root = std::make_unique<CTreeItemRoot>();
    root->m_FilePath = static_cast<const CTreeItemRoot*>(this)->m_FilePath;
    copy = std::move(root);
  } else {
    copy = factory.Create(Kind());
    if (!copy || copy->Kind() != Kind() || !HasBaseOfKind(*copy) || !HasBaseOfKind(*this))
      return nullptr;
    copy->m_Name = m_Name;
    copy->CopySettingsFrom(*this);
  }
  for (const auto& entry : m_Children) {
    ItemPtr child = entry.second->DeepCopy(factory);
    if (!child || !copy->AddChild(std::move(child))) return nullptr;
  }
  return copy;
}

std::string CItem::FullName() const {
  // Sized first and filled from the end: one allocation, however deep the item.
  size_t length = 0;
  for (const CItem* item = this; item && item->Kind() != kKindRoot; item = item->m_Parent)
    length += item->m_Name.size() + 1;
  if (length == 0) return {};
  std::string name(length - 1, '.');
  size_t end = name.size();
  for (const CItem* item = this; item && item->Kind() != kKindRoot; item = item->m_Parent) {
    end -= item->m_Name.size();
    name.replace(end, item->m_Name.size(), item->m_Name);
    if (end > 0) --end;  // the dot before it
  }
  return name;
}

std::string CTreeItemRoot::PropertyName(int n) const {
  switch (n) {
    case 0:
      return "Файл конфигурации";
    case 1:
      return "Количество каналов";
    default:
      return "неопределено";
  }
}

std::string CTreeItemRoot::PropertyValue(int n) const {
  switch (n) {
    case 0:
      return m_FilePath;
    case 1:
      return std::to_string(Children().size());
    default:
      return "неопределено";
  }
}

bool CChannelBase::ConflictsWith(const CItem& other) const {
  if (other.Kind() != kKindChannel) return false;
  const auto* channel = dynamic_cast<const CChannelBase*>(&other);
  return channel && channel->m_Data.m_ChannelType == m_Data.m_ChannelType &&
         PortsConflict(m_Data.m_Port, channel->m_Data.m_Port);
}

void CChannelBase::CopySettingsFrom(const CItem& other) {
  m_Data = static_cast<const CChannelBase&>(other).m_Data;
}

bool CDeviceBase::ConflictsWith(const CItem& other) const {
  if (other.Kind() != kKindDevice) return false;
  const auto* device = dynamic_cast<const CDeviceBase*>(&other);
  return device && device->m_Data.m_Addr == m_Data.m_Addr;
}

void CDeviceBase::CopySettingsFrom(const CItem& other) {
  m_Data = static_cast<const CDeviceBase&>(other).m_Data;
}

void CGroupBase::CopySettingsFrom(const CItem& other) {
  m_Data = static_cast<const CGroupBase&>(other).m_Data;
}

void CTagBase::CopySettingsFrom(const CItem& other) {
  m_Data = static_cast<const CTagBase&>(other).m_Data;
}

ItemPtr CPlainItemFactory::Create(int32_t kind) const {
  switch (kind) {
    case kKindChannel:
      return std::make_unique<CChannelBase>();
    case kKindDevice:
      return std::make_unique<CDeviceBase>();
    case kKindGroup:
      return std::make_unique<CGroupBase>();
    case kKindTag:
      return std::make_unique<CTagBase>();
    default:
      return nullptr;
  }
}

}  // namespace virk
