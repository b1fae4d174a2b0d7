#include "dialogs/items/item_dialogs.h"

#include "dialogs/items/channelsetupdialog.h"
#include "dialogs/items/devicesetupdialog.h"
#include "dialogs/items/groupsetupdialog.h"
#include "dialogs/items/tagsetupdialog.h"

namespace {

template <class Dialog, class Item>
std::unique_ptr<QDialog> Filled(Item* item, QWidget* parent) {
  auto dialog = std::make_unique<Dialog>(item, parent);
  dialog->Fill();
  return dialog;
}

}  // namespace

std::unique_ptr<QDialog> CreateItemDialog(virk::CItem* item, QWidget* parent) {
  if (auto* channel = dynamic_cast<CChannelInfo*>(item))
    return Filled<ChannelSetupDialog>(channel, parent);
  if (auto* device = dynamic_cast<CDeviceInfo*>(item))
    return Filled<DeviceSetupDialog>(device, parent);
  if (auto* group = dynamic_cast<CGroupInfo*>(item)) return Filled<GroupSetupDialog>(group, parent);
  if (auto* tag = dynamic_cast<CDATagInfo*>(item)) return Filled<TagSetupDialog>(tag, parent);
  return nullptr;
}
