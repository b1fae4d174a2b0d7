// Naming, duplicate rules, paste and tag series of the configurator's model.
#include <gtest/gtest.h>

#include "fake_server.h"
#include "model/item_names.h"
#include "model/tag_series.h"
#include "model/tree_edit.h"

using namespace virk;

namespace {

CItem* Attach(CItem& parent, ItemPtr item) {
  CItem* raw = item.get();
  EXPECT_TRUE(parent.AddChild(std::move(item)));
  return raw;
}

CDATagInfo& TagOf(CItem* item) { return static_cast<CDATagInfo&>(*item); }

}  // namespace

TEST(ItemNames, TrailingNumbersCountUpAndCopiesGetOneSuffix) {
  EXPECT_EQ(IncrementTrailingNumber("Tag_9"), "Tag_10");
  EXPECT_EQ(IncrementTrailingNumber("Tag_0199"), "Tag_0200");
  EXPECT_EQ(IncrementTrailingNumber("Tag"), "Tag1");
  EXPECT_EQ(IncrementTrailingNumber("99999999999999999999"), "100000000000000000000");
  EXPECT_EQ(WithCopySuffix("Pump"), "Pump_Copy1");
  EXPECT_EQ(WithCopySuffix("Pump_Copy3"), "Pump_Copy3");
  EXPECT_EQ(WithCopySuffix("_Copy"), "_Copy");
}

TEST(NewItems, ChannelsAreNamedOneTwoAndTakeTheNextComPort) {
  CTreeItemRoot root;
  ItemPtr first = NewChannel(root);
  EXPECT_EQ(first->Name(), "Channel_1");
  EXPECT_EQ(static_cast<CChannelInfo&>(*first).m_Data.Com()->m_PortNumber, 1u);
  static_cast<CChannelInfo&>(*first).m_Data.Com()->m_PortNumber = 4;
  Attach(root, std::move(first));
  ItemPtr second = NewChannel(root);
  EXPECT_EQ(second->Name(), "Channel_2");
  EXPECT_EQ(static_cast<CChannelInfo&>(*second).m_Data.Com()->m_PortNumber, 5u);

  // Behind a TCP channel the proposal stays clear of every COM port in use.
  auto* tcp = static_cast<CChannelInfo*>(Attach(root, std::move(second)));
  tcp->m_Data.SetChannelType(kChannelTcp);
  ItemPtr third = NewChannel(root);
  EXPECT_EQ(third->Name(), "Channel_3");
  EXPECT_EQ(static_cast<CChannelInfo&>(*third).m_Data.Com()->m_PortNumber, 5u);
}

TEST(NewItems, DevicesTakeTheLastAddressPlusOne) {
  CChannelInfo channel;
  ItemPtr device = NewDevice(channel);
  EXPECT_EQ(static_cast<CDeviceInfo&>(*device).m_Data.m_Addr, 0);
  static_cast<CDeviceInfo&>(*device).m_Data.m_Addr = 17;
  Attach(channel, std::move(device));
  EXPECT_EQ(static_cast<CDeviceInfo&>(*NewDevice(channel)).m_Data.m_Addr, 18);
}

TEST(FindClash, NamesTheTakenNameOrTheSiblingWithTheSameSettings) {
  CTreeItemRoot root;
  Attach(root, NewChannel(root));
  ItemPtr same = NewChannel(root);
  static_cast<CChannelInfo&>(*same).m_Data.Com()->m_PortNumber = 1;
  Clash clash = FindClash(root, *same);
  EXPECT_EQ(clash.kind, Clash::Duplicate);
  EXPECT_EQ(clash.sibling, "Channel_1");

  ItemPtr taken = NewChannel(root);
  taken->SetName("Channel_1");
  clash = FindClash(root, *taken);
  EXPECT_EQ(clash.kind, Clash::Name);
  EXPECT_EQ(clash.sibling, "Channel_1");
  EXPECT_EQ(FindClash(root, *NewChannel(root)).kind, Clash::None);

  // An edited copy does not clash with the child it replaces.
  CItem* original = root.Children().begin()->second.get();
  const ItemPtr edited = SettingsCopy(*original);
  EXPECT_EQ(FindClash(root, *edited, original).kind, Clash::None);
  EXPECT_EQ(root.Children().size(), 1u) << "looking changes nothing";
}

TEST(PasteCopy, NamesCopiesAsTheRulesSay) {
  CChannelInfo channel;
  CItem* pump = Attach(channel, NewDevice(channel));
  pump->Rename("Pump");

  // A device cannot be advanced: the copy carries the suffix.
  CItem* copy = PasteCopy(channel, *pump, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Name(), "Pump_Copy1");
  CItem* again = PasteCopy(channel, *pump, 1);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Name(), "Pump_Copy2");

  // A COM channel moves to a free port and keeps its name pattern.
  CTreeItemRoot root;
  CItem* first = Attach(root, NewChannel(root));
  CItem* pasted = PasteCopy(root, *first, 1);
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->Name(), "Channel_2");
  EXPECT_EQ(static_cast<CChannelInfo&>(*pasted).m_Data.Com()->m_PortNumber, 2u);

  // Several clipboard items always get the suffix; the deep copy keeps children.
  Attach(*first, NewDevice(*first));
  CItem* multi = PasteCopy(root, *first, 2);
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->Name(), "Channel_1_Copy1");
  EXPECT_EQ(multi->Children().size(), 1u);
}

TEST(PasteCopy, TagsMoveToTheNextFreeAddress) {
  CGroupInfo group;
  CItem* tag = Attach(group, NewItem(group, kKindTag));
  CItem* copy = PasteCopy(group, *tag, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Name(), "Tag_2");
  EXPECT_EQ(TagOf(copy).m_Data.m_Addr, 2) << "past the two registers of the default Float";
}

TEST(TagSeries, ThreeBitTagsStepThroughTheBitsThenTheAddress) {
  CGroupInfo group;
  group.SetName("G");
  ItemPtr first = NewItem(group, kKindTag);
  TagOf(first.get()).m_Data.m_ValueType = 22;
  TagOf(first.get()).m_Data.m_Addr = 9;  // the operator's address 10
  const TagSeriesOutcome outcome = AddTagSeries(group, std::move(first), {}, 3, nullptr);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.added, 3);
  std::vector<std::pair<int, int>> seen;
  for (const auto& [name, tag] : group.Children())
    seen.emplace_back(TagOf(tag.get()).m_Data.m_ValueType, TagOf(tag.get()).m_Data.m_Addr + 1);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{22, 10}, {23, 10}, {8, 11}}));
  EXPECT_TRUE(group.FindChild("Tag_1") && group.FindChild("Tag_2") && group.FindChild("Tag_3"));
}

TEST(TagSeries, AddressesWrapToTheFirstRegister) {
  CGroupInfo group;
  ItemPtr first = NewItem(group, kKindTag);
  TagOf(first.get()).m_Data.m_Addr = 65533;  // 65534 for the operator, a two-register Float
  AddTagSeries(group, std::move(first), {}, 3, nullptr);
  std::vector<int> addresses;
  for (const auto& [name, tag] : group.Children()) addresses.push_back(TagOf(tag.get()).m_Data.m_Addr + 1);
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(addresses, (std::vector<int>{1, 3, 65534}));
}

TEST(TagSeries, ServerFailureRemovesTheTagAndReportsCodeSix) {
  CGroupInfo group;
  group.SetName("G");
  RecordingServer server;
  server.failing = "addNode";
  ItemPtr first = NewItem(group, kKindTag);
  const TagSeriesOutcome outcome =
      AddTagSeries(group, std::move(first), {"G", "4", "Tag_1"}, 2, &server);
  EXPECT_EQ(outcome.code, 6);
  EXPECT_TRUE(group.Children().empty());
  // One stop and one start bracket the whole batch.
  EXPECT_EQ(server.calls, (QStringList{"stopExchange", "addNode G;4;Tag_1",
                                       "addNode G;4;Tag_2;2;3;0;2;1;1;1;0;0;0;0;0;0", "startExchange"}));
}
