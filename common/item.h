// The configuration tree: a root, channels, devices, groups and tags. Each
// program derives its own item classes from the bases here and creates them
// through its CItemFactory, so the loader, writer and copy are written once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "settings.h"

namespace virk {

class CItem;
using ItemPtr = std::unique_ptr<CItem>;

// Creates an empty item of kind 1..4 with default settings. Items of kinds 1..4
// derive from CChannelBase, CDeviceBase, CGroupBase and CTagBase: the loader,
// the writer and the copy reach the settings through these bases.
class CItemFactory {
 public:
  virtual ~CItemFactory() = default;
  virtual ItemPtr Create(int32_t kind) const = 0;
};

class CItem {
 public:
  // Children ordered by the bytes of their UTF-8 names.
  using ChildMap = std::map<std::string, ItemPtr>;

  CItem(int32_t kind, std::string name) : m_Name(std::move(name)), m_Kind(kind) {}
  virtual ~CItem() = default;
  CItem(const CItem&) = delete;
  CItem& operator=(const CItem&) = delete;

  const std::string& Name() const { return m_Name; }
  int32_t Kind() const { return m_Kind; }
  CItem* Parent() const { return m_Parent; }
  const ChildMap& Children() const { return m_Children; }

  // Sets the name of a detached item; an attached one is renamed through Rename.
  void SetName(std::string name) { m_Name = std::move(name); }
  // Renames in place, re-keying the parent's map. False when a sibling has the name.
  bool Rename(const std::string& name);

  // Same-kind rule of each class: COM port / TCP address for channels, unit
  // address for devices, name for the rest.
  virtual bool ConflictsWith(const CItem& other) const;
  // True if a child other than `except` (the item itself when null) conflicts with item.
  bool FindConflict(const CItem& item, const CItem* except = nullptr) const;

  CItem* FindChild(const std::string& utf8Name) const;
  CItem* FindChild(const std::u16string& name) const;

  // Attaches the child under its name. False for a null child or a taken name.
  bool AddChild(ItemPtr child);
  // Detaches and returns the named child, or null.
  ItemPtr DetachChild(const std::string& name);
  // Removes and destroys the named child with its subtree.
  bool RemoveChild(const std::string& name);

  // Copy of this item and its subtree made through the factory; null on failure.
  ItemPtr DeepCopy(const CItemFactory& factory) const;

  // Names from the channel down to this item joined by '.'; empty for the root.
  std::string FullName() const;

 protected:
  // Copies the settings (not the name, not the children) of an item of the same kind.
  virtual void CopySettingsFrom(const CItem& /*other*/) {}

 private:
  std::string m_Name;
  int32_t m_Kind;
  CItem* m_Parent = nullptr;
  ChildMap m_Children;
};

class CTreeItemRoot : public CItem {
 public:
  CTreeItemRoot() : CItem(kKindRoot, std::string()) {}
  std::string m_FilePath;  // path of the configuration file it was loaded from

  // The root shown as a small property list: the file path and the channel count.
  int PropertyCount() const { return 2; }
  std::string PropertyName(int n) const;
  std::string PropertyValue(int n) const;
};

class CChannelBase : public CItem {
 public:
  CChannelBase() : CItem(kKindChannel, "Channel_0") {}
  bool ConflictsWith(const CItem& other) const override;
  ChannelSettings m_Data;

 protected:
  void CopySettingsFrom(const CItem& other) override;
};

class CDeviceBase : public CItem {
 public:
  CDeviceBase() : CItem(kKindDevice, "Device_0") {}
  bool ConflictsWith(const CItem& other) const override;
  DeviceSettings m_Data;

 protected:
  void CopySettingsFrom(const CItem& other) override;
};

class CGroupBase : public CItem {
 public:
  CGroupBase() : CItem(kKindGroup, "Group_0") {}
  GroupSettings m_Data;

 protected:
  void CopySettingsFrom(const CItem& other) override;
};

class CTagBase : public CItem {
 public:
  CTagBase() : CItem(kKindTag, "Tag_0") {}
  TagSettings m_Data;

 protected:
  void CopySettingsFrom(const CItem& other) override;
};

// Creates the plain bases; enough for tools and tests that need no run-time state.
class CPlainItemFactory : public CItemFactory {
 public:
  ItemPtr Create(int32_t kind) const override;
};

}  // namespace virk
