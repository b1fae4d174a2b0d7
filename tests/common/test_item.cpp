#include <gtest/gtest.h>

#include <vector>

#include "common/item.h"

namespace virk {
namespace {

ItemPtr Named(const CItemFactory& factory, int32_t kind, const std::string& name) {
  ItemPtr item = factory.Create(kind);
  item->SetName(name);
  return item;
}

// Builds root > K1 > D > G > T and returns the tag.
CItem* BuildChain(CTreeItemRoot& root, const CItemFactory& factory) {
  CItem* parent = &root;
  const char* names[] = {"K1", "D", "G", "T"};
  for (int32_t kind = kKindChannel; kind <= kKindTag; ++kind) {
    EXPECT_TRUE(parent->AddChild(Named(factory, kind, names[kind - 1])));
    parent = parent->FindChild(std::string(names[kind - 1]));
  }
  return parent;
}

std::vector<std::string> ChildNames(const CItem& item) {
  std::vector<std::string> names;
  for (const auto& entry : item.Children()) names.push_back(entry.second->Name());
  return names;
}

TEST(ItemTreeTest, ChildrenInByteOrderLookupIsExactAndNamesAreUnique) {
  CPlainItemFactory factory;
  CTreeItemRoot root;
  for (const char* name : {"b", "a", "C"}) ASSERT_TRUE(root.AddChild(Named(factory, kKindChannel, name)));
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"C", "a", "b"}));

  EXPECT_EQ(root.FindChild(std::string("a"))->Name(), "a");
  EXPECT_EQ(root.FindChild(std::string("A")), nullptr);
  EXPECT_EQ(root.FindChild(std::u16string()), nullptr);
  EXPECT_FALSE(root.AddChild(Named(factory, kKindChannel, "a")));
  EXPECT_FALSE(root.AddChild(nullptr));
  EXPECT_EQ(root.Children().size(), 3u);

  // Cyrillic names are found by their 16-bit form too.
  ASSERT_TRUE(root.AddChild(Named(factory, kKindChannel, "Канал")));
  EXPECT_NE(root.FindChild(u"Канал"), nullptr);
  EXPECT_EQ(root.FindChild(u"канал"), nullptr);
  EXPECT_EQ(root.PropertyValue(1), "4");
  EXPECT_EQ(root.PropertyValue(7), "неопределено");
}

TEST(ItemTreeTest, FullNameParentsRenameAndRemove) {
  CPlainItemFactory factory;
  CTreeItemRoot root;
  CItem* tag = BuildChain(root, factory);
  EXPECT_EQ(tag->FullName(), "K1.D.G.T");
  EXPECT_EQ(tag->Parent()->Parent()->Parent()->Parent(), &root);
  EXPECT_EQ(root.FullName(), "");

  CItem* device = root.FindChild(std::string("K1"))->FindChild(std::string("D"));
  ASSERT_TRUE(device->Parent()->AddChild(Named(factory, kKindDevice, "E")));
  EXPECT_FALSE(device->Rename("E"));
  EXPECT_EQ(device->Name(), "D");
  ASSERT_TRUE(device->Rename("A"));
  EXPECT_EQ(device->Parent()->FindChild(std::string("A")), device);
  EXPECT_EQ(device->Parent()->FindChild(std::string("D")), nullptr);
  EXPECT_EQ(tag->FullName(), "K1.A.G.T");

  ItemPtr detached = device->Parent()->DetachChild("A");
  ASSERT_EQ(detached.get(), device);
  EXPECT_EQ(device->Parent(), nullptr);
  EXPECT_EQ(tag->FullName(), "A.G.T");
  EXPECT_TRUE(root.FindChild(std::string("K1"))->RemoveChild("E"));
  EXPECT_FALSE(root.FindChild(std::string("K1"))->RemoveChild("E"));
  EXPECT_TRUE(root.FindChild(std::string("K1"))->Children().empty());
}

TEST(ItemTreeTest, DeepCopyIsIndependentAndKeepsSubtree) {
  CPlainItemFactory factory;
  CTreeItemRoot root;
  CItem* tag = BuildChain(root, factory);
  static_cast<CTagBase*>(tag)->m_Data.SetTransformKind(kTransformFactor);
  auto* channel = static_cast<CChannelBase*>(root.FindChild(std::string("K1")));
  channel->m_Data.Com()->m_BaudRate = 19200;

  ItemPtr copy = channel->DeepCopy(factory);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Parent(), nullptr);
  auto* channelCopy = static_cast<CChannelBase*>(copy.get());
  EXPECT_EQ(channelCopy->m_Data.Com()->m_BaudRate, 19200u);
  channelCopy->m_Data.Com()->m_BaudRate = 600;
  EXPECT_EQ(channel->m_Data.Com()->m_BaudRate, 19200u);

  CItem* tagCopy = copy->FindChild(std::string("D"))->FindChild(std::string("G"))->FindChild(std::string("T"));
  ASSERT_NE(tagCopy, nullptr);
  EXPECT_NE(tagCopy, tag);
  EXPECT_EQ(static_cast<CTagBase*>(tagCopy)->m_Data.m_TransformKind, kTransformFactor);
  EXPECT_EQ(tagCopy->FullName(), "K1.D.G.T");

  ItemPtr rootCopy = root.DeepCopy(factory);
  ASSERT_NE(rootCopy, nullptr);
  EXPECT_EQ(rootCopy->FindChild(std::string("K1"))->Children().size(), 1u);
}

// A factory that cannot make groups: any copy that needs one fails whole.
class NoGroupFactory : public CPlainItemFactory {
 public:
  ItemPtr Create(int32_t kind) const override {
    return kind == kKindGroup ? nullptr : CPlainItemFactory::Create(kind);
  }
};

TEST(ItemTreeTest, DeepCopyFailsWholeWhenAnyItemCannotBeMade) {
  CPlainItemFactory factory;
  CTreeItemRoot root;
  BuildChain(root, factory);
  EXPECT_EQ(root.FindChild(std::string("K1"))->DeepCopy(NoGroupFactory()), nullptr);
  EXPECT_EQ(CPlainItemFactory().Create(kKindRoot), nullptr);
}

TEST(ItemTreeTest, ConflictRulesPerKind) {
  CPlainItemFactory factory;
  CTreeItemRoot root;
  auto com3 = std::make_unique<CChannelBase>();
  com3->SetName("A");
  com3->m_Data.Com()->m_PortNumber = 3;
  ASSERT_TRUE(root.AddChild(std::move(com3)));

  CChannelBase other;
  other.SetName("B");
  other.m_Data.Com()->m_PortNumber = 3;
  EXPECT_TRUE(root.FindConflict(other));
  other.m_Data.Com()->m_PortNumber = 4;
  EXPECT_FALSE(root.FindConflict(other));
  // The item itself (or the named exception) never conflicts with itself.
  CItem* a = root.FindChild(std::string("A"));
  EXPECT_FALSE(root.FindConflict(*a));
  other.m_Data.Com()->m_PortNumber = 3;
  EXPECT_FALSE(root.FindConflict(other, a));

  // TCP: same address and port only; never against a COM channel.
  CChannelBase tcp1, tcp2;
  tcp1.m_Data.SetChannelType(kChannelTcp);
  tcp2.m_Data.SetChannelType(kChannelTcp);
  EXPECT_EQ(tcp1.m_Data.Tcp()->m_Port, 502);
  EXPECT_EQ(tcp1.m_Data.Tcp()->m_ConnectTimeout, 5000u);
  tcp1.m_Data.Tcp()->m_IpAddress = tcp2.m_Data.Tcp()->m_IpAddress = 0x0100007F;
  EXPECT_TRUE(tcp1.ConflictsWith(tcp2));
  tcp2.m_Data.Tcp()->m_Port = 503;
  EXPECT_FALSE(tcp1.ConflictsWith(tcp2));
  EXPECT_FALSE(tcp1.ConflictsWith(other));

  CDeviceBase d1, d2;
  d2.SetName("other name");
  EXPECT_TRUE(d1.ConflictsWith(d2));
  d2.m_Data.m_Addr = 2;
  EXPECT_FALSE(d1.ConflictsWith(d2));

  CTagBase t1, t2;
  EXPECT_TRUE(t1.ConflictsWith(t2));
  t2.SetName("Tag_1");
  EXPECT_FALSE(t1.ConflictsWith(t2));
  EXPECT_FALSE(t1.ConflictsWith(d1));
}

}  // namespace
}  // namespace virk
