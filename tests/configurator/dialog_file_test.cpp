// Whatever the item dialogs accept, the file holds: random input typed into
// the four dialogs (in and out of range, numbers and junk) builds a tree whose
// records load back to the same records.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <random>

#include "common/csv_loader.h"
#include "common/csv_writer.h"
#include "dialogs/items/channelsetupdialog.h"
#include "dialogs/items/devicesetupdialog.h"
#include "dialogs/items/groupsetupdialog.h"
#include "dialogs/items/tagsetupdialog.h"
#include "fake_prompts.h"
#include "model/tree_edit.h"

using namespace virk;

namespace {

const char* const kNames[] = {"", "A", "Pump 1", "Насос_2", "x.y", "a;b",
                              "0123456789012345678901234567890123456789012345678901234567890123456"};
const char* const kNumbers[] = {"0",   "1",    "-1",   "2",   "7",     "20",       "60",    "61",
                                "123", "125",  "255",  "256", "502",   "2000",     "65535", "65536",
                                "1e3", "3,5",  "-0.5", "abc", "12abc", "10000001", "",      "100000"};

template <class T, size_t N>
const T& Pick(std::mt19937& random, const T (&list)[N]) {
  return list[std::uniform_int_distribution<size_t>(0, N - 1)(random)];
}

// Types into a field as the operator would: its validator has the last word.
void Type(QWidget* field, const QString& text) {
  if (auto* spin = qobject_cast<QSpinBox*>(field)) {
    spin->clear();
    QTest::keyClicks(spin, text);
    spin->interpretText();
  } else if (auto* edit = qobject_cast<QLineEdit*>(field)) {
    edit->clear();
    edit->insert(text);  // validated like typing, Cyrillic included
  }
}

void Scramble(QDialog& dialog, std::mt19937& random) {
  for (QComboBox* box : dialog.findChildren<QComboBox*>())
    if (box->count() > 0) box->setCurrentIndex(std::uniform_int_distribution<int>(0, box->count() - 1)(random));
  for (QSpinBox* spin : dialog.findChildren<QSpinBox*>())
    if (spin->isEnabled() && random() % 2) Type(spin, Pick(random, kNumbers));
  for (QLineEdit* edit : dialog.findChildren<QLineEdit*>()) {
    if (edit->parent() && qobject_cast<QSpinBox*>(edit->parent())) continue;
    if (edit->objectName() == "nameEdit")
      Type(edit, Pick(random, kNames));
    else if (edit->objectName() == "ipEdit")
      Type(edit, QString("%1.%2.%3.%4").arg(random() % 300).arg(random() % 256).arg(random() % 256).arg(random() % 260));
    else if (random() % 2)
      Type(edit, Pick(random, kNumbers));
  }
}

// Runs one dialog on a new item; the item when the dialog took it and it fits
// among the children of `parent`.
template <class Dialog, class Info>
CItem* Offer(CItem& parent, ItemPtr item, std::mt19937& random, int& accepted, int& refused) {
  Dialog dialog(static_cast<Info*>(item.get()));
  dialog.Fill();
  Scramble(dialog, random);
  dialog.accept();
  if (dialog.result() != QDialog::Accepted) {
    ++refused;
    return nullptr;
  }
  ++accepted;
  if (FindClash(parent, *item).kind != Clash::None) return nullptr;
  CItem* added = item.get();
  return parent.AddChild(std::move(item)) ? added : nullptr;
}

template <class T>
T* AnyOf(std::vector<T*>& items, std::mt19937& random) {
  return items.empty() ? nullptr : items[random() % items.size()];
}

}  // namespace

TEST(DialogsAndFile, WhatADialogAcceptsLoadsBackAsTheSameRecords) {
  FakePrompts prompts;  // the refusals
  std::mt19937 random(20261209);
  CTreeItemRoot root;
  std::vector<CItem*> channels, devices, groups;
  int accepted = 0, refused = 0;
  for (int round = 0; round < 150; ++round) {
    if (CItem* c = Offer<ChannelSetupDialog, CChannelInfo>(root, NewChannel(root), random, accepted, refused))
      channels.push_back(c);
    if (CItem* channel = AnyOf(channels, random))
      if (CItem* d = Offer<DeviceSetupDialog, CDeviceInfo>(*channel, NewDevice(*channel), random, accepted, refused))
        devices.push_back(d);
    if (CItem* device = AnyOf(devices, random))
      if (CItem* g = Offer<GroupSetupDialog, CGroupInfo>(*device, NewItem(*device, kKindGroup), random, accepted, refused))
        groups.push_back(g);
    for (int tag = 0; tag < 3; ++tag)
      if (CItem* group = AnyOf(groups, random))
        Offer<TagSetupDialog, CDATagInfo>(*group, NewItem(*group, kKindTag), random, accepted, refused);
  }
  // Both sides were walked, or the property says nothing.
  EXPECT_GT(accepted, 100);
  EXPECT_GT(refused, 100);
  ASSERT_FALSE(groups.empty());

  const std::u16string saved = RecordsText(root);
  CTreeItemRoot loaded;
  CCsvLoader loader(loaded, ItemFactory());
  loader.SetLogRecordErrors(false);
  const auto lines = QString::fromStdU16String(saved).split('\n');
  ASSERT_TRUE(loader.LoadText(saved))
      << (loader.Errors().empty() ? std::string()
                                  : loader.Errors()[0].message + "\n" +
                                        lines.value(int(loader.Errors()[0].line)).toStdString());
  EXPECT_EQ(RecordsText(loaded), saved);
}
