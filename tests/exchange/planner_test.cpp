#include <gtest/gtest.h>

#include "modbus.h"
#include "request_planner.h"
#include "tag_builder.h"

namespace virk {
namespace {

using test::TagSet;

// Plans requests the way a device does: each request takes the tags it
// covers out of the set, until the set is empty.
std::vector<ModbusRequest> PlanAll(CModbus& modbus, std::vector<CDATag*> set) {
  std::vector<ModbusRequest> requests;
  while (!set.empty() && requests.size() < 1000) {
    std::vector<CDATag*> candidates = set;
    EXPECT_TRUE(modbus.Request_Read(candidates));
    requests.push_back(modbus.Reqv());
    for (CDATag* t : candidates) set.erase(std::find(set.begin(), set.end(), t));
  }
  return requests;
}

using Spans = std::vector<std::pair<int, int>>;  // start, count of each request
Spans SpansOf(const std::vector<ModbusRequest>& requests) {
  Spans spans;
  for (const ModbusRequest& r : requests) spans.emplace_back(r.StartAddr, r.nRegs);
  return spans;
}

TEST(ReadPlanner, FragmentationDecidesWhetherAGapIsBridged) {
  TagSet set;
  set.Add({kRegHolding, 12, kTypeUInt16});
  set.Add({kRegHolding, 10, kTypeUInt16});
  CModbus modbus;
  modbus.SetLimits(125, 2000, 0);
  EXPECT_EQ(SpansOf(PlanAll(modbus, set.List())), (Spans{{10, 1}, {12, 1}}));

  modbus.SetLimits(125, 2000, 1);
  const auto requests = PlanAll(modbus, set.List());
  EXPECT_EQ(SpansOf(requests), (Spans{{10, 3}}));
  EXPECT_EQ(requests[0].Fun, 3);
  EXPECT_EQ(requests[0].nBytes, 6);
}

TEST(ReadPlanner, OverlappingTagsShareOneRequest) {
  TagSet set;
  set.Add({kRegInput, 100, kTypeFloat32});
  set.Add({kRegInput, 101, kTypeUInt16});
  set.Add({kRegInput, 100, kTypeUInt16});
  CModbus modbus;
  auto requests = PlanAll(modbus, set.List());
  EXPECT_EQ(SpansOf(requests), (Spans{{100, 2}}));
  EXPECT_EQ(requests[0].Fun, 4);

  // A short tag inside a long one does not shorten the span.
  TagSet nested;
  nested.Add({kRegInput, 100, kTypeFloat64});
  nested.Add({kRegInput, 101, kTypeUInt16});
  nested.Add({kRegInput, 104, kTypeUInt16});
  EXPECT_EQ(SpansOf(PlanAll(modbus, nested.List())), (Spans{{100, 5}}));
}

TEST(ReadPlanner, SegmentsAreReadWholeAndAlone) {
  TagSet set;
  set.Add({kRegHolding, 200, kTypeUInt16, 1, 10, 0});
  set.Add({kRegHolding, 200, kTypeFloat32, 1, 10, 5});
  set.Add({kRegHolding, 210, kTypeUInt16});
  set.Add({kRegHolding, 200, kTypeUInt16, 1, 4, 1});  // same address, other segment size
  CModbus modbus;
  modbus.SetLimits(125, 2000, 50);
  EXPECT_EQ(SpansOf(PlanAll(modbus, set.List())), (Spans{{200, 10}, {200, 4}, {210, 1}}));
}

TEST(ReadPlanner, LimitsSplitLongRunsAndKindsNeverMix) {
  TagSet set;
  for (uint16_t a = 0; a < 130; ++a) set.Add({kRegHolding, a, kTypeUInt16});
  CModbus modbus;
  modbus.SetLimits(0, 0, 200);  // 0 means the maximum; fragmentation clamps to 123
  EXPECT_EQ(modbus.MaxRegisters(), 125);
  EXPECT_EQ(modbus.MaxDiscretes(), 2000);
  EXPECT_EQ(modbus.MaxFragment(), 123);
  EXPECT_EQ(SpansOf(PlanAll(modbus, set.List())), (Spans{{0, 125}, {125, 5}}));

  TagSet coils;
  for (uint16_t a = 0; a < 20; ++a) coils.Add({kRegCoil, uint16_t(a * 2), kTypeBool});
  coils.Add({kRegDiscreteInput, 1, kTypeBool});
  modbus.SetLimits(125, 16, 1);
  std::vector<CDATag*> list = coils.List();
  ASSERT_TRUE(modbus.Request_Read(list));
  EXPECT_EQ(modbus.Reqv().Fun, 1);
  EXPECT_EQ(modbus.Reqv().nRegs, 15);  // coils 0..14: the one at 16 would make 17
  EXPECT_EQ(modbus.Reqv().nBytes, 2);
  EXPECT_EQ(list.size(), 8u);
  for (CDATag* t : list) EXPECT_EQ(t->RegKind(), kRegCoil);
}

TEST(ReadPlanner, UnknownKindBuildsNoRequest) {
  TagSet set;
  CDATag* tag = set.Add({kRegHolding, 1, kTypeUInt16});
  tag->m_Data.m_RegKind = 7;
  CModbus modbus;
  auto list = set.List();
  EXPECT_FALSE(modbus.Request_Read(list));
  std::vector<CDATag*> none;
  EXPECT_FALSE(modbus.Request_Read(none));
}

TEST(WritePlanner, GroupModeJoinsContiguousTagsOnly) {
  TagSet set;
  set.Add({kRegHolding, 10, kTypeUInt16, 1, 0, 0, true});
  set.Add({kRegHolding, 11, kTypeFloat32, 1, 0, 0, true});
  set.Add({kRegHolding, 11, kTypeUInt16, 1, 0, 0, true});  // same address: joins, not counted
  set.Add({kRegHolding, 13, kTypeUInt16, 1, 0, 0, false});  // not in group mode
  set.Add({kRegHolding, 15, kTypeUInt16, 1, 0, 0, true});   // after a gap
  auto list = set.List();
  EXPECT_EQ(PlanWrite(list, 125), 3);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2]->EffectiveAddress(), 11);

  // Overlapping tags never stretch the request past the last register.
  TagSet overlap;
  overlap.Add({kRegHolding, 20, kTypeFloat32, 1, 0, 0, true});
  overlap.Add({kRegHolding, 21, kTypeUInt16, 1, 0, 0, true});
  list = overlap.List();
  EXPECT_EQ(PlanWrite(list, 125), 2);
  EXPECT_EQ(list.size(), 2u);

  TagSet many;
  for (uint16_t a = 0; a < 10; ++a) many.Add({kRegHolding, uint16_t(a * 2), kTypeUInt32, 1, 0, 0, true});
  list = many.List();
  EXPECT_EQ(PlanWrite(list, 7), 6);
  EXPECT_EQ(list.size(), 3u);
}

}  // namespace
}  // namespace virk
