// Editing operations on the configuration model that need no window: new
// items with the proposed settings, adding with the duplicate check, pasting
// copies with their names, and growing a series of tags.
#pragma once

#include <QStringList>
#include <functional>

#include "model/item_info.h"

// A new item with its defaults, named uniquely under `parent` by counting up
// the default name (the first channel is Channel_1), not attached.
// A channel gets the next free COM port number, a device the address after
// the last device's.
virk::ItemPtr NewChannel(const virk::CItem& root);
virk::ItemPtr NewDevice(const virk::CItem& channel);
virk::ItemPtr NewItem(const virk::CItem& parent, int32_t kind);

// Why `candidate` cannot join the children of `parent` (in the place of
// `replaced`, the child being edited, when given): a sibling has its name, or
// equals it by the class's rule. `sibling` names that sibling.
struct Clash {
  enum Kind { None, Name, Duplicate } kind = None;
  std::string sibling;
};
Clash FindClash(const virk::CItem& parent, const virk::CItem& candidate,
                const virk::CItem* replaced = nullptr);

// A detached item with the name and settings of `item`, without children: what
// a dialog edits until the edit is known to fit.
virk::ItemPtr SettingsCopy(const virk::CItem& item);

// Attaches a deep copy of `source` under `parent`, advanced and named as the
// paste rules say; null when it cannot be copied or attached.
virk::CItem* PasteCopy(virk::CItem& parent, const virk::CItem& source, int clipboardSize);

// Gives `item` the name and settings of `from` (an edited copy, or a copy made
// before an edit the server refused); its children stay. False when a sibling
// has the name: then nothing changes.
bool CopySettings(virk::CItem& item, const virk::CItem& from);

// The item of kind `kind` at or above `item`; null when there is none.
virk::CItem* AncestorOfKind(virk::CItem* item, int32_t kind);

// Device path "channel.device" and group path "channel.device.group".
QString ItemPath(const virk::CItem& item);

// Name and settings of the item in the order of the server's addNode and
// editNode arguments (after the leading path and kind), in the layout the
// server parses.
QStringList SettingsArguments(const virk::CItem& item);
