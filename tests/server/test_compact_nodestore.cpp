// The compact node store seen through the library's services: a variable
// kept as a record answers every attribute, browse and path lookup as its
// full node did, keeps edits and node-attached monitored items, turns back
// into a full node when edited beyond what a record holds, and goes when
// deleted.
#include <gtest/gtest.h>
#include <open62541/client_subscriptions.h>
#include <open62541/server_config_default.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/compact_nodestore.h"

namespace virk::server {
namespace {

struct Source {
  UA_Int16 value = 7;
  int writes = 0;
};

UA_StatusCode ReadSource(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* context, UA_Boolean,
                         const UA_NumericRange*, UA_DataValue* out) {
  out->hasValue = UA_Variant_setScalarCopy(&out->value, &static_cast<Source*>(context)->value,
                                           &UA_TYPES[UA_TYPES_INT16]) == UA_STATUSCODE_GOOD;
  return UA_STATUSCODE_GOOD;
}

UA_StatusCode WriteSource(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* context,
                          const UA_NumericRange*, const UA_DataValue* in) {
  auto* source = static_cast<Source*>(context);
  if (!UA_Variant_hasScalarType(&in->value, &UA_TYPES[UA_TYPES_INT16])) return UA_STATUSCODE_BADTYPEMISMATCH;
  source->value = *static_cast<const UA_Int16*>(in->value.data);
  ++source->writes;
  return UA_STATUSCODE_GOOD;
}

// Everything a client can learn of one node, in a comparable form.
std::vector<std::string> Portrait(UA_Server* server, const UA_NodeId& id) {
  std::vector<std::string> lines;
  for (UA_UInt32 attribute = UA_ATTRIBUTEID_NODEID; attribute <= UA_ATTRIBUTEID_HISTORIZING; ++attribute) {
    UA_ReadValueId item;
    UA_ReadValueId_init(&item);
    item.nodeId = id;
    item.attributeId = attribute;
    UA_DataValue value = UA_Server_read(server, &item, UA_TIMESTAMPSTORETURN_NEITHER);
    UA_String text = UA_STRING_NULL;
    UA_print(&value, &UA_TYPES[UA_TYPES_DATAVALUE], &text);
    lines.push_back(std::to_string(attribute) + " " + std::string(reinterpret_cast<char*>(text.data), text.length));
    UA_String_clear(&text);
    UA_DataValue_clear(&value);
  }
  for (UA_BrowseDirection direction : {UA_BROWSEDIRECTION_FORWARD, UA_BROWSEDIRECTION_INVERSE}) {
    UA_BrowseDescription browse;
    UA_BrowseDescription_init(&browse);
    browse.nodeId = id;
    browse.browseDirection = direction;
    browse.resultMask = UA_BROWSERESULTMASK_ALL;
    UA_BrowseResult result = UA_Server_browse(server, 0, &browse);
    for (size_t i = 0; i < result.referencesSize; ++i) {
      UA_String text = UA_STRING_NULL;
      UA_print(&result.references[i], &UA_TYPES[UA_TYPES_REFERENCEDESCRIPTION], &text);
      lines.push_back(std::string(reinterpret_cast<char*>(text.data), text.length));
      UA_String_clear(&text);
    }
    lines.push_back("browse " + std::string(UA_StatusCode_name(result.statusCode)));
    UA_BrowseResult_clear(&result);
  }
  return lines;
}

class CompactNodestore : public ::testing::Test {
 protected:
  void SetUp() override {
    UA_ServerConfig config;
    std::memset(&config, 0, sizeof config);
    static UA_Logger quiet{[](void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}, nullptr, nullptr};
    config.logging = &quiet;
    ASSERT_EQ(UA_ServerConfig_setMinimal(&config, 0, nullptr), UA_STATUSCODE_GOOD);
    ASSERT_EQ(InstallCompactNodestore(config), UA_STATUSCODE_GOOD);
    m_Server = UA_Server_newWithConfig(&config);
    ASSERT_NE(m_Server, nullptr);
    m_Ns = UA_Server_addNamespace(m_Server, "urn:compact-test");
    ASSERT_EQ(UA_Server_addObjectNode(m_Server, Id("F"), UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER),
                                      UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES), Name("F"),
                                      UA_NODEID_NUMERIC(0, UA_NS0ID_FOLDERTYPE), UA_ObjectAttributes_default,
                                      nullptr, nullptr),
              UA_STATUSCODE_GOOD);
  }
  void TearDown() override {
    if (m_Server != nullptr) UA_Server_delete(m_Server);
  }

  UA_NodeId Id(const char* name) const { return UA_NODEID_STRING(m_Ns, const_cast<char*>(name)); }
  UA_QualifiedName Name(const char* name) const { return UA_QUALIFIEDNAME(m_Ns, const_cast<char*>(name)); }

  UA_StatusCode AddTag(const char* name, Source& source, const char* description = nullptr) {
    UA_VariableAttributes attributes = UA_VariableAttributes_default;
    attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("ru-RU"), const_cast<char*>(name));
    attributes.description =
        UA_LOCALIZEDTEXT(const_cast<char*>("ru-RU"), const_cast<char*>(description ? description : name));
    attributes.dataType = UA_TYPES[UA_TYPES_INT16].typeId;
    attributes.valueRank = UA_VALUERANK_SCALAR;
    attributes.accessLevel = UA_ACCESSLEVELMASK_READ | UA_ACCESSLEVELMASK_WRITE;
    return UA_Server_addDataSourceVariableNode(m_Server, Id(name), Id("F"), UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                                               Name(name), UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE),
                                               attributes, UA_DataSource{ReadSource, WriteSource}, &source, nullptr);
  }

  UA_StatusCode WriteValue(const char* name, UA_Int16 value) {
    UA_Variant variant;
    UA_Variant_setScalar(&variant, &value, &UA_TYPES[UA_TYPES_INT16]);
    return UA_Server_writeValue(m_Server, Id(name), variant);
  }

  UA_Server* m_Server = nullptr;
  UA_UInt16 m_Ns = 0;
};

TEST_F(CompactNodestore, ARecordAnswersAsItsNodeDidAndFollowsEditsUntilItNoLongerFits) {
  Source a, b, odd;
  ASSERT_EQ(AddTag("F.a", a), UA_STATUSCODE_GOOD);
  ASSERT_EQ(AddTag("F.b", b), UA_STATUSCODE_GOOD);
  ASSERT_EQ(AddTag("F.odd", odd, "another text"), UA_STATUSCODE_GOOD);
  const std::vector<std::string> fullA = Portrait(m_Server, Id("F.a"));
  const std::vector<std::string> folder = Portrait(m_Server, Id("F"));

  ASSERT_TRUE(CompactVariable(m_Server, Id("F.a")));
  ASSERT_TRUE(CompactVariable(m_Server, Id("F.b")));
  EXPECT_FALSE(CompactVariable(m_Server, Id("F.odd"))) << "a description of its own does not fit a record";
  EXPECT_FALSE(CompactVariable(m_Server, Id("F"))) << "a folder stays whole";
  EXPECT_FALSE(CompactVariable(m_Server, Id("F.a"))) << "already a record";
  EXPECT_TRUE(IsCompact(m_Server, Id("F.a")));
  EXPECT_EQ(Portrait(m_Server, Id("F.a")), fullA);
  EXPECT_EQ(Portrait(m_Server, Id("F")), folder);

  // A path lookup goes through the folder's references to the record.
  UA_BrowsePath path;
  UA_BrowsePath_init(&path);
  UA_RelativePathElement element;
  UA_RelativePathElement_init(&element);
  element.referenceTypeId = UA_NODEID_NUMERIC(0, UA_NS0ID_HIERARCHICALREFERENCES);
  element.includeSubtypes = true;
  element.targetName = Name("F.b");
  path.startingNode = Id("F");
  path.relativePath.elements = &element;
  path.relativePath.elementsSize = 1;
  UA_BrowsePathResult found = UA_Server_translateBrowsePathToNodeIds(m_Server, &path);
  ASSERT_EQ(found.statusCode, UA_STATUSCODE_GOOD);
  ASSERT_EQ(found.targetsSize, 1u);
  const UA_NodeId expected = Id("F.b");
  EXPECT_TRUE(UA_NodeId_equal(&found.targets[0].targetId.nodeId, &expected));
  UA_BrowsePathResult_clear(&found);

  // Writes reach the data source; attribute edits stay in the record.
  ASSERT_EQ(WriteValue("F.a", 42), UA_STATUSCODE_GOOD);
  EXPECT_EQ(a.writes, 1);
  EXPECT_EQ(a.value, 42);
  ASSERT_EQ(UA_Server_writeAccessLevel(m_Server, Id("F.a"), UA_ACCESSLEVELMASK_READ), UA_STATUSCODE_GOOD);
  EXPECT_TRUE(IsCompact(m_Server, Id("F.a")));
  UA_Byte access = 0;
  ASSERT_EQ(UA_Server_readAccessLevel(m_Server, Id("F.a"), &access), UA_STATUSCODE_GOOD);
  EXPECT_EQ(access, UA_ACCESSLEVELMASK_READ);

  // A third reference kind does not fit: the node is whole again, with all of it.
  ASSERT_EQ(UA_Server_addReference(m_Server, Id("F.a"), UA_NODEID_NUMERIC(0, UA_NS0ID_HASPROPERTY),
                                   UA_EXPANDEDNODEID_STRING(m_Ns, const_cast<char*>("F.odd")), true),
            UA_STATUSCODE_GOOD);
  EXPECT_FALSE(IsCompact(m_Server, Id("F.a")));
  const std::vector<std::string> promoted = Portrait(m_Server, Id("F.a"));
  EXPECT_EQ(promoted.size(), fullA.size() + 1) << "the new reference is browsed along with the old ones";
  ASSERT_EQ(UA_Server_readAccessLevel(m_Server, Id("F.a"), &access), UA_STATUSCODE_GOOD);
  EXPECT_EQ(access, UA_ACCESSLEVELMASK_READ);

  // Deleting a record removes it and the folder's reference to it.
  ASSERT_EQ(UA_Server_deleteNode(m_Server, Id("F.b"), true), UA_STATUSCODE_GOOD);
  EXPECT_FALSE(IsCompact(m_Server, Id("F.b")));
  UA_NodeClass nodeClass = UA_NODECLASS_UNSPECIFIED;
  EXPECT_EQ(UA_Server_readNodeClass(m_Server, Id("F.b"), &nodeClass), UA_STATUSCODE_BADNODEIDUNKNOWN);
  for (const std::string& line : Portrait(m_Server, Id("F"))) EXPECT_EQ(line.find("\"F.b\""), std::string::npos) << line;
  // The name is free again, and a node added under it is compacted anew.
  ASSERT_EQ(AddTag("F.b", b), UA_STATUSCODE_GOOD);
  EXPECT_TRUE(CompactVariable(m_Server, Id("F.b")));
}

// The portrait with one name put for another, to compare two nodes.
std::vector<std::string> Renamed(std::vector<std::string> lines, const std::string& from, const std::string& to) {
  for (std::string& line : lines)
    for (size_t at = line.find(from); at != std::string::npos; at = line.find(from, at + to.size()))
      line.replace(at, from.size(), to);
  return lines;
}

TEST_F(CompactNodestore, ACloneIsTheNodeTheLibraryWouldHaveAddedAndServesItsOwnSource) {
  Source a, viaLibrary, clone;
  ASSERT_EQ(AddTag("F.a", a), UA_STATUSCODE_GOOD);
  ASSERT_EQ(AddTag("F.lib", viaLibrary), UA_STATUSCODE_GOOD);
  ASSERT_TRUE(CompactVariable(m_Server, Id("F.a")));
  const UA_Byte access = UA_ACCESSLEVELMASK_READ | UA_ACCESSLEVELMASK_WRITE;
  ASSERT_EQ(CloneCompactVariable(m_Server, Id("F.a"), {Id("F.new"), Id("F"), &clone, UA_NS0ID_INT16, access}),
            UA_STATUSCODE_GOOD);
  EXPECT_TRUE(IsCompact(m_Server, Id("F.new")));
  EXPECT_EQ(Renamed(Portrait(m_Server, Id("F.new")), "F.new", "F.lib"), Portrait(m_Server, Id("F.lib")));
  ASSERT_EQ(WriteValue("F.new", -5), UA_STATUSCODE_GOOD);
  EXPECT_EQ(clone.value, -5);
  EXPECT_EQ(a.writes + viaLibrary.writes, 0);

  bool folderHasIt = false;
  for (const std::string& line : Portrait(m_Server, Id("F"))) folderHasIt |= line.find("\"F.new\"") != std::string::npos;
  EXPECT_TRUE(folderHasIt);

  EXPECT_EQ(CloneCompactVariable(m_Server, Id("F.a"), {Id("F.new"), Id("F"), &clone, UA_NS0ID_INT16, access}),
            UA_STATUSCODE_BADNODEIDEXISTS);
  EXPECT_EQ(CloneCompactVariable(m_Server, Id("F.a"), {Id("F.lib"), Id("F"), &clone, UA_NS0ID_INT16, access}),
            UA_STATUSCODE_BADNODEIDEXISTS);
  EXPECT_EQ(CloneCompactVariable(m_Server, Id("F.a"), {Id("F.x"), Id("G"), &clone, UA_NS0ID_INT16, access}),
            UA_STATUSCODE_BADPARENTNODEIDINVALID);
  EXPECT_NE(CloneCompactVariable(m_Server, Id("F.lib"), {Id("F.y"), Id("F"), &clone, UA_NS0ID_INT16, access}),
            UA_STATUSCODE_GOOD)
      << "only a record is a template";
}

TEST_F(CompactNodestore, AMonitoredItemWithoutSamplingIntervalStaysAttachedToARecord) {
  Source a;
  ASSERT_EQ(AddTag("F.a", a), UA_STATUSCODE_GOOD);
  ASSERT_TRUE(CompactVariable(m_Server, Id("F.a")));

  struct Seen {
    int count = 0;
    UA_Int16 last = 0;
  } seen;
  UA_MonitoredItemCreateRequest request = UA_MonitoredItemCreateRequest_default(Id("F.a"));
  request.requestedParameters.samplingInterval = 0.0;  // sampled on each write, attached to the node
  const UA_MonitoredItemCreateResult created = UA_Server_createDataChangeMonitoredItem(
      m_Server, UA_TIMESTAMPSTORETURN_NEITHER, request, &seen,
      [](UA_Server*, UA_UInt32, void* context, const UA_NodeId*, void*, UA_UInt32, const UA_DataValue* value) {
        auto* out = static_cast<Seen*>(context);
        ++out->count;
        if (value->hasValue && UA_Variant_hasScalarType(&value->value, &UA_TYPES[UA_TYPES_INT16]))
          out->last = *static_cast<const UA_Int16*>(value->value.data);
      });
  ASSERT_EQ(created.statusCode, UA_STATUSCODE_GOOD);
  EXPECT_TRUE(IsCompact(m_Server, Id("F.a")));
  const int before = seen.count;
  ASSERT_EQ(WriteValue("F.a", 1234), UA_STATUSCODE_GOOD);
  EXPECT_GT(seen.count, before);
  EXPECT_EQ(seen.last, 1234);

  ASSERT_EQ(UA_Server_deleteMonitoredItem(m_Server, created.monitoredItemId), UA_STATUSCODE_GOOD);
  const int afterDelete = seen.count;
  ASSERT_EQ(WriteValue("F.a", 5), UA_STATUSCODE_GOOD);
  EXPECT_EQ(seen.count, afterDelete) << "a deleted item is detached from the record";
  EXPECT_TRUE(IsCompact(m_Server, Id("F.a")));
}

}  // namespace
}  // namespace virk::server
