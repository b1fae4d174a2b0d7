// The configurator's item classes: the common model items plus what the
// window needs to show and edit them (property rows, the sibling rules used
// when adding and pasting, and the advance step of a copy).
#pragma once

#include <QString>
#include <QVector>

#include "common/item.h"

struct PropertyRow {
  QString name;
  QString value;
};
using PropertyRows = QVector<PropertyRow>;

// Presentation and sibling rules shared by the four item classes.
class CInfo {
 public:
  virtual ~CInfo() = default;
  virtual PropertyRows Properties() const = 0;
  // Equal by the class's sibling rule (not by name for channels, devices, tags).
  virtual bool IsEqualTo(const virk::CItem& other) const = 0;
  // Changes the item so that it may stop being equal to its source; false
  // when the class has no such step.
  virtual bool Advance() = 0;
};

class CChannelInfo : public virk::CChannelBase, public CInfo {
 public:
  PropertyRows Properties() const override;
  bool IsEqualTo(const virk::CItem& other) const override;
  bool Advance() override;
};

class CDeviceInfo : public virk::CDeviceBase, public CInfo {
 public:
  // A new device of the configurator starts at Modbus address 0.
  CDeviceInfo() { m_Data.m_Addr = 0; }
  PropertyRows Properties() const override;
  bool IsEqualTo(const virk::CItem& other) const override;
  bool Advance() override { return false; }
};

class CGroupInfo : public virk::CGroupBase, public CInfo {
 public:
  PropertyRows Properties() const override;
  bool IsEqualTo(const virk::CItem& other) const override;
  bool Advance() override { return false; }
};

class CDATagInfo : public virk::CTagBase, public CInfo {
 public:
  PropertyRows Properties() const override;
  // Value of property row n without building the others (tag table cells).
  QString PropertyValue(int n) const;
  bool IsEqualTo(const virk::CItem& other) const override;
  // The next register of a series: bit types step through the bits of one
  // register, everything else moves to the next address.
  bool Advance() override;
};

class CItemFactory : public virk::CItemFactory {
 public:
  virk::ItemPtr Create(int32_t kind) const override;
};

// The one factory of the program (stateless).
const CItemFactory& ItemFactory();

inline CInfo* InfoOf(virk::CItem* item) { return dynamic_cast<CInfo*>(item); }
inline const CInfo* InfoOf(const virk::CItem* item) { return dynamic_cast<const CInfo*>(item); }

// Name helpers. Names are UTF-8 in the model and QString in the window.
inline QString ItemName(const virk::CItem& item) { return QString::fromStdString(item.Name()); }
