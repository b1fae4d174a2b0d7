#include "server/compact_nodestore.h"

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace virk::server {
namespace {

// A node id the store owns, for the few targets many records share.
struct OwnedNodeId {
  explicit OwnedNodeId(const UA_NodeId& from) { UA_NodeId_copy(&from, &id); }
  OwnedNodeId(const OwnedNodeId&) = delete;
  OwnedNodeId& operator=(const OwnedNodeId&) = delete;
  ~OwnedNodeId() { UA_NodeId_clear(&id); }
  UA_NodeId id;
};

struct NodeIdLess {
  using is_transparent = void;
  static const UA_NodeId& Id(const UA_NodeId& id) { return id; }
  static const UA_NodeId& Id(const OwnedNodeId& owned) { return owned.id; }
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    return UA_NodeId_order(&Id(a), &Id(b)) == UA_ORDER_LESS;
  }
};

// One reference kind with its single target.
struct RecordReference {
  const UA_NodeId* target = nullptr;  // interned; null when unused
  UA_UInt32 targetNameHash = 0;
  UA_Byte typeIndex = 0;
  bool inverse = false;
};

constexpr size_t kRecordReferences = 2;

// What a variable node holds beyond its name.
struct RecordAttributes {
  void* context = nullptr;
  UA_MonitoredItem* monitoredItems = nullptr;
  const std::string* locale = nullptr;  // interned
  UA_DataSource dataSource{};
  UA_Double minimumSamplingInterval = 0;
  RecordReference references[kRecordReferences];
  UA_UInt32 writeMask = 0;
  UA_UInt32 dataType = 0;  // numeric, namespace 0
  UA_Int32 valueRank = 0;
  UA_UInt16 namespaceIndex = 0;
  UA_Byte accessLevel = 0;
  bool constructed = false;
  bool historizing = false;
  bool isDynamic = false;
};

struct Record : RecordAttributes {
  std::unique_ptr<char[]> name;  // the key of the record in the store
};

// A node built from a record for reading: it points into the record and the
// store, owns nothing and is never edited (the library edits only nodes it
// asked for whole, which are lent as full copies instead).
struct NodeView {
  UA_VariableNode node;
  UA_NodeReferenceKind kinds[kRecordReferences];
  UA_ReferenceTarget targets[kRecordReferences];
  UA_LocalizedTextListEntry displayName;
  UA_LocalizedTextListEntry description;
};

// The library goes on reading some nodes after it released them, trusting a
// node to live while it is in the store (deleting a node reads its id after
// the release). Released views and copies are therefore reused or freed only
// after this many later ones.
constexpr size_t kViewsPerChunk = 64;
constexpr size_t kRetiredCopies = 64;
struct ViewChunk {
  NodeView views[kViewsPerChunk];
};

UA_String View(std::string_view text) {
  return UA_String{text.size(), reinterpret_cast<UA_Byte*>(const_cast<char*>(text.data()))};
}

std::string_view TextOf(const UA_String& text) {
  return std::string_view(reinterpret_cast<const char*>(text.data), text.length);
}

// The single target of a reference kind, or null when it has another count.
const UA_ReferenceTarget* SingleTarget(UA_NodeReferenceKind& kind) {
  if (kind.targetsSize != 1) return nullptr;
  if (!kind.hasRefTree) return kind.targets.array;
  return static_cast<const UA_ReferenceTarget*>(
      UA_NodeReferenceKind_iterate(&kind, [](void*, UA_ReferenceTarget* target) -> void* { return target; }, nullptr));
}

bool IsWholeNodeRequest(UA_UInt32 attributeMask, const UA_ReferenceTypeSet& references,
                        UA_BrowseDirection directions) {
  return attributeMask == UA_NODEATTRIBUTESMASK_ALL && directions == UA_BROWSEDIRECTION_BOTH &&
         std::memcmp(&references, &UA_REFERENCETYPESET_ALL, sizeof references) == 0;
}

class Store {
 public:
  explicit Store(const UA_Nodestore& inner) : m_Inner(inner) {}
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  ~Store() {
    for (UA_Node* copy : m_Retired) m_Inner.deleteNode(m_Inner.context, copy);
    m_Inner.clear(m_Inner.context);
  }

  UA_Nodestore& Inner() { return m_Inner; }

  using Records = std::unordered_map<std::string_view, Record>;

  Records::iterator Find(const UA_NodeId& id) {
    if (m_Records.empty() || id.identifierType != UA_NODEIDTYPE_STRING) return m_Records.end();
    const auto found = m_Records.find(TextOf(id.identifier.string));
    if (found == m_Records.end() || found->second.namespaceIndex != id.namespaceIndex) return m_Records.end();
    return found;
  }
  bool Found(const Records::iterator& entry) const { return entry != m_Records.end(); }

  // Takes the inner store's node into a record when it fits one.
  bool Compact(const UA_NodeId& id) {
    if (id.identifierType != UA_NODEIDTYPE_STRING || m_Records.count(TextOf(id.identifier.string)) != 0)
      return false;
    const UA_Node* node = m_Inner.getNode(m_Inner.context, &id, UA_NODEATTRIBUTESMASK_ALL, UA_REFERENCETYPESET_ALL,
                                          UA_BROWSEDIRECTION_BOTH);
    if (node == nullptr) return false;
    Record record;
    const bool fits = Describe(*node, record);
    m_Inner.releaseNode(m_Inner.context, node);
    if (!fits) return false;
    Insert(TextOf(id.identifier.string), std::move(record));
    m_Inner.removeNode(m_Inner.context, &id);
    return true;
  }

  // A record like the template's under another name and parent, with the
  // parent's reference to it.
  UA_StatusCode Clone(const UA_NodeId& templateId, const CompactClone& clone) {
    const auto model = Find(templateId);
    if (!Found(model) || clone.id.identifierType != UA_NODEIDTYPE_STRING ||
        clone.id.namespaceIndex != model->second.namespaceIndex)
      return UA_STATUSCODE_BADINTERNALERROR;
    const std::string_view name = TextOf(clone.id.identifier.string);
    if (m_Records.count(name) != 0) return UA_STATUSCODE_BADNODEIDEXISTS;
    const UA_Node* existing = m_Inner.getNode(m_Inner.context, &clone.id, 0, UA_REFERENCETYPESET_NONE,
                                              UA_BROWSEDIRECTION_INVALID);
    if (existing != nullptr) {
      m_Inner.releaseNode(m_Inner.context, existing);
      return UA_STATUSCODE_BADNODEIDEXISTS;
    }
    // The template's inverse reference is the one to its parent.
    size_t up = kRecordReferences;
    for (size_t i = 0; i < kRecordReferences; ++i)
      if (model->second.references[i].target != nullptr && model->second.references[i].inverse) up = i;
    if (up == kRecordReferences) return UA_STATUSCODE_BADINTERNALERROR;
    const UA_Node* parent = m_Inner.getNode(m_Inner.context, &clone.parent, UA_NODEATTRIBUTESMASK_ALL,
                                            UA_REFERENCETYPESET_ALL, UA_BROWSEDIRECTION_BOTH);
    if (parent == nullptr) return UA_STATUSCODE_BADPARENTNODEIDINVALID;
    const UA_UInt32 parentNameHash = UA_QualifiedName_hash(&parent->head.browseName);
    const UA_QualifiedName browseName{clone.id.namespaceIndex, clone.id.identifier.string};
    UA_ExpandedNodeId child;
    UA_ExpandedNodeId_init(&child);
    child.nodeId = clone.id;
    // Nodes of the inner store are edited in place, as the library does.
    const UA_StatusCode status = UA_Node_addReference(const_cast<UA_Node*>(parent), model->second.references[up].typeIndex, true, &child,
                                                      UA_QualifiedName_hash(&browseName));
    m_Inner.releaseNode(m_Inner.context, parent);
    if (status != UA_STATUSCODE_GOOD) return status;

    Record record;
    static_cast<RecordAttributes&>(record) = model->second;
    record.context = clone.context;
    record.dataType = clone.dataType;
    record.accessLevel = clone.accessLevel;
    record.monitoredItems = nullptr;
    for (size_t i = 0; i < kRecordReferences; ++i) {
      RecordReference& reference = record.references[i];
      if (reference.target == nullptr) continue;
      reference.target = Intern(i == up ? clone.parent : *reference.target);
      if (i == up) reference.targetNameHash = parentNameHash;
    }
    Insert(name, std::move(record));
    return UA_STATUSCODE_GOOD;
  }

  const UA_Node* LendView(const Records::value_type& entry) {
    if (m_FreeViews.empty()) {
      m_Chunks.push_back(std::make_unique<ViewChunk>());
      for (NodeView& view : m_Chunks.back()->views) m_FreeViews.push_back(&view);
    }
    NodeView* view = m_FreeViews.front();
    m_FreeViews.pop_front();
    Fill(*view, entry.first, entry.second);
    return reinterpret_cast<const UA_Node*>(&view->node);
  }

  // A full node the library may edit: an inner-store node not yet inserted.
  UA_Node* MakeCopy(const Records::value_type& entry) {
    UA_Node* copy = m_Inner.newNode(m_Inner.context, UA_NODECLASS_VARIABLE);
    if (copy == nullptr) return nullptr;
    NodeView view;
    Fill(view, entry.first, entry.second);
    if (UA_Node_copy(reinterpret_cast<const UA_Node*>(&view.node), copy) != UA_STATUSCODE_GOOD) {
      m_Inner.deleteNode(m_Inner.context, copy);
      return nullptr;
    }
    return copy;
  }

  const UA_Node* LendCopy(const Records::value_type& entry) {
    UA_Node* copy = MakeCopy(entry);
    if (copy != nullptr) m_LentCopies.insert(copy);
    return copy;
  }

  void Release(const UA_Node* node) {
    if (IsView(node)) {
      m_FreeViews.push_back(reinterpret_cast<NodeView*>(const_cast<UA_Node*>(node)));
      return;
    }
    const auto lent = m_LentCopies.find(node);
    if (lent == m_LentCopies.end()) {
      m_Inner.releaseNode(m_Inner.context, node);
      return;
    }
    m_LentCopies.erase(lent);
    UA_Node* copy = const_cast<UA_Node*>(node);
    const auto entry = Find(copy->head.nodeId);
    // A record removed while its copy was lent takes nothing back.
    if (!Found(entry) || Absorb(entry, *copy)) Retire(copy);
  }

  // A copy the library may have changed comes back: the record takes what
  // it can hold. A node that no longer fits a record goes to the inner store
  // as it is, which takes it over; false then.
  bool Absorb(Records::iterator entry, UA_Node& copy) {
    Record updated;
    if (Describe(copy, updated)) {
      updated.name = std::move(entry->second.name);
      Forget(entry->second);
      entry->second = std::move(updated);
      return true;
    }
    Erase(entry);
    m_Inner.insertNode(m_Inner.context, &copy, nullptr);
    return false;
  }

  UA_StatusCode Replace(Records::iterator entry, UA_Node* copy) {
    if (Absorb(entry, *copy)) m_Inner.deleteNode(m_Inner.context, copy);
    return UA_STATUSCODE_GOOD;
  }

  void Erase(Records::iterator entry) {
    Forget(entry->second);
    m_Records.erase(entry);
  }

  void Iterate(UA_NodestoreVisitor visitor, void* visitorContext) {
    m_Inner.iterate(m_Inner.context, visitor, visitorContext);
    NodeView view;
    for (const auto& entry : m_Records) {
      Fill(view, entry.first, entry.second);
      visitor(visitorContext, reinterpret_cast<const UA_Node*>(&view.node));
    }
  }

 private:
  // The record keeps its own copy of the name, which its key views.
  void Insert(std::string_view name, Record record) {
    record.name = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(record.name.get(), name.data(), name.size());
    const std::string_view key(record.name.get(), name.size());
    m_Records.emplace(key, std::move(record));
  }

  void Retire(UA_Node* copy) {
    m_Retired.push_back(copy);
    if (m_Retired.size() <= kRetiredCopies) return;
    m_Inner.deleteNode(m_Inner.context, m_Retired.front());
    m_Retired.pop_front();
  }

  bool IsView(const UA_Node* node) const {
    const std::less<const void*> before;
    for (const auto& chunk : m_Chunks) {
      const void* first = chunk->views;
      const void* end = chunk->views + kViewsPerChunk;
      if (!before(node, first) && before(node, end)) return true;
    }
    return false;
  }

  // Fills `record` from a node that fits one; false, with nothing taken, otherwise.
  bool Describe(const UA_Node& node, Record& record) {
    const UA_NodeHead& head = node.head;
    if (head.nodeClass != UA_NODECLASS_VARIABLE || head.nodeId.identifierType != UA_NODEIDTYPE_STRING) return false;
    const std::string_view name = TextOf(head.nodeId.identifier.string);
    if (head.browseName.namespaceIndex != head.nodeId.namespaceIndex || TextOf(head.browseName.name) != name)
      return false;
    const UA_LocalizedTextListEntry* display = head.displayName;
    const UA_LocalizedTextListEntry* description = head.description;
    if (display == nullptr || display->next != nullptr || description == nullptr || description->next != nullptr)
      return false;
    if (TextOf(display->localizedText.text) != name || TextOf(description->localizedText.text) != name ||
        !UA_String_equal(&display->localizedText.locale, &description->localizedText.locale))
      return false;
    if (head.referencesSize > kRecordReferences) return false;
    RecordReference references[kRecordReferences];
    UA_NodeId targets[kRecordReferences];
    for (size_t i = 0; i < head.referencesSize; ++i) {
      const UA_ReferenceTarget* target = SingleTarget(head.references[i]);
      if (target == nullptr || !UA_NodePointer_isLocal(target->targetId)) return false;
      targets[i] = UA_NodePointer_toNodeId(target->targetId);
      references[i].targetNameHash = target->targetNameHash;
      references[i].typeIndex = head.references[i].referenceTypeIndex;
      references[i].inverse = head.references[i].isInverse;
    }
    const UA_VariableNode& variable = node.variableNode;
    if (variable.valueSource != UA_VALUESOURCE_DATASOURCE ||
        variable.valueBackend.backendType != UA_VALUEBACKENDTYPE_NONE || variable.arrayDimensionsSize != 0 ||
        variable.dataType.namespaceIndex != 0 || variable.dataType.identifierType != UA_NODEIDTYPE_NUMERIC)
      return false;

    for (size_t i = 0; i < head.referencesSize; ++i) {
      references[i].target = Intern(targets[i]);
      record.references[i] = references[i];
    }
    record.locale = &*m_Locales.emplace(TextOf(display->localizedText.locale)).first;
    record.namespaceIndex = head.nodeId.namespaceIndex;
    record.writeMask = head.writeMask;
    record.context = head.context;
    record.constructed = head.constructed;
    record.monitoredItems = head.monitoredItems;
    record.dataSource = variable.value.dataSource;
    record.dataType = variable.dataType.identifier.numeric;
    record.valueRank = variable.valueRank;
    record.accessLevel = variable.accessLevel;
    record.minimumSamplingInterval = variable.minimumSamplingInterval;
    record.historizing = variable.historizing;
    record.isDynamic = variable.isDynamic;
    return true;
  }

  static void Fill(NodeView& view, std::string_view name, const Record& record) {
    std::memset(&view, 0, sizeof view);
    UA_VariableNode& node = view.node;
    const UA_String text = View(name);
    node.head.nodeClass = UA_NODECLASS_VARIABLE;
    node.head.nodeId.namespaceIndex = record.namespaceIndex;
    node.head.nodeId.identifierType = UA_NODEIDTYPE_STRING;
    node.head.nodeId.identifier.string = text;
    node.head.browseName = UA_QualifiedName{record.namespaceIndex, text};
    view.displayName.localizedText = UA_LocalizedText{View(*record.locale), text};
    view.description.localizedText = view.displayName.localizedText;
    node.head.displayName = &view.displayName;
    node.head.description = &view.description;
    node.head.writeMask = record.writeMask;
    for (const RecordReference& reference : record.references) {
      if (reference.target == nullptr) continue;
      const size_t i = node.head.referencesSize++;
      view.targets[i].targetId = UA_NodePointer_fromNodeId(reference.target);
      view.targets[i].targetNameHash = reference.targetNameHash;
      view.kinds[i].targets.array = &view.targets[i];
      view.kinds[i].targetsSize = 1;
      view.kinds[i].referenceTypeIndex = reference.typeIndex;
      view.kinds[i].isInverse = reference.inverse;
    }
    node.head.references = node.head.referencesSize > 0 ? view.kinds : nullptr;
    node.head.context = record.context;
    node.head.constructed = record.constructed;
    node.head.monitoredItems = record.monitoredItems;
    node.dataType = UA_NODEID_NUMERIC(0, record.dataType);
    node.valueRank = record.valueRank;
    node.valueSource = UA_VALUESOURCE_DATASOURCE;
    node.value.dataSource = record.dataSource;
    node.accessLevel = record.accessLevel;
    node.minimumSamplingInterval = record.minimumSamplingInterval;
    node.historizing = record.historizing;
    node.isDynamic = record.isDynamic;
  }

  const UA_NodeId* Intern(const UA_NodeId& id) {
    auto found = m_Targets.find(id);
    if (found == m_Targets.end()) found = m_Targets.emplace(std::piecewise_construct, std::forward_as_tuple(id),
                                                            std::forward_as_tuple(0)).first;
    ++found->second;
    return &found->first.id;
  }

  void Forget(const Record& record) {
    for (const RecordReference& reference : record.references) {
      if (reference.target == nullptr) continue;
      const auto found = m_Targets.find(*reference.target);
      if (found != m_Targets.end() && --found->second == 0) m_Targets.erase(found);
    }
  }

  UA_Nodestore m_Inner;
  Records m_Records;  // keys view Record::name
  std::map<OwnedNodeId, size_t, NodeIdLess> m_Targets;  // reference targets and how many records use each
  std::set<std::string, std::less<>> m_Locales;
  std::vector<std::unique_ptr<ViewChunk>> m_Chunks;
  std::deque<NodeView*> m_FreeViews;  // oldest released first
  std::unordered_set<const UA_Node*> m_LentCopies;
  std::deque<UA_Node*> m_Retired;  // released copies, oldest first
};

Store& Of(void* context) { return *static_cast<Store*>(context); }

void Clear(void* context) { delete &Of(context); }

UA_Node* NewNode(void* context, UA_NodeClass nodeClass) {
  UA_Nodestore& inner = Of(context).Inner();
  return inner.newNode(inner.context, nodeClass);
}

void DeleteNode(void* context, UA_Node* node) {
  UA_Nodestore& inner = Of(context).Inner();
  inner.deleteNode(inner.context, node);
}

const UA_Node* GetNode(void* context, const UA_NodeId* id, UA_UInt32 attributeMask, UA_ReferenceTypeSet references,
                       UA_BrowseDirection directions) {
  Store& store = Of(context);
  const auto entry = store.Find(*id);
  if (!store.Found(entry)) {
    UA_Nodestore& inner = store.Inner();
    return inner.getNode(inner.context, id, attributeMask, references, directions);
  }
  return IsWholeNodeRequest(attributeMask, references, directions) ? store.LendCopy(*entry) : store.LendView(*entry);
}

const UA_Node* GetNodeFromPointer(void* context, UA_NodePointer pointer, UA_UInt32 attributeMask,
                                  UA_ReferenceTypeSet references, UA_BrowseDirection directions) {
  if (!UA_NodePointer_isLocal(pointer)) return nullptr;
  const UA_NodeId id = UA_NodePointer_toNodeId(pointer);
  return GetNode(context, &id, attributeMask, references, directions);
}

void ReleaseNode(void* context, const UA_Node* node) {
  if (node != nullptr) Of(context).Release(node);
}

UA_StatusCode GetNodeCopy(void* context, const UA_NodeId* id, UA_Node** out) {
  Store& store = Of(context);
  const auto entry = store.Find(*id);
  if (!store.Found(entry)) return store.Inner().getNodeCopy(store.Inner().context, id, out);
  *out = store.MakeCopy(*entry);
  return *out != nullptr ? UA_STATUSCODE_GOOD : UA_STATUSCODE_BADOUTOFMEMORY;
}

UA_StatusCode InsertNode(void* context, UA_Node* node, UA_NodeId* addedId) {
  Store& store = Of(context);
  if (store.Found(store.Find(node->head.nodeId))) {
    store.Inner().deleteNode(store.Inner().context, node);
    return UA_STATUSCODE_BADNODEIDEXISTS;
  }
  return store.Inner().insertNode(store.Inner().context, node, addedId);
}

UA_StatusCode ReplaceNode(void* context, UA_Node* node) {
  Store& store = Of(context);
  const auto entry = store.Find(node->head.nodeId);
  if (!store.Found(entry)) return store.Inner().replaceNode(store.Inner().context, node);
  return store.Replace(entry, node);
}

UA_StatusCode RemoveNode(void* context, const UA_NodeId* id) {
  Store& store = Of(context);
  const auto entry = store.Find(*id);
  if (!store.Found(entry)) return store.Inner().removeNode(store.Inner().context, id);
  store.Erase(entry);
  return UA_STATUSCODE_GOOD;
}

const UA_NodeId* GetReferenceTypeId(void* context, UA_Byte index) {
  UA_Nodestore& inner = Of(context).Inner();
  return inner.getReferenceTypeId(inner.context, index);
}

void Iterate(void* context, UA_NodestoreVisitor visitor, void* visitorContext) {
  Of(context).Iterate(visitor, visitorContext);
}

Store* StoreOf(UA_Server* server) {
  const UA_Nodestore& store = UA_Server_getConfig(server)->nodestore;
  return store.getNode == GetNode ? &Of(store.context) : nullptr;
}

}  // namespace

UA_StatusCode InstallCompactNodestore(UA_ServerConfig& config) {
  if (config.nodestore.context == nullptr || config.nodestore.getNode == GetNode) return UA_STATUSCODE_BADINTERNALERROR;
  auto* store = new Store(config.nodestore);
  UA_Nodestore& table = config.nodestore;
  table.context = store;
  table.clear = Clear;
  table.newNode = NewNode;
  table.deleteNode = DeleteNode;
  table.getNode = GetNode;
  table.getNodeFromPtr = GetNodeFromPointer;
  table.releaseNode = ReleaseNode;
  table.getNodeCopy = GetNodeCopy;
  table.insertNode = InsertNode;
  table.replaceNode = ReplaceNode;
  table.removeNode = RemoveNode;
  table.getReferenceTypeId = GetReferenceTypeId;
  table.iterate = Iterate;
  return UA_STATUSCODE_GOOD;
}

bool CompactVariable(UA_Server* server, const UA_NodeId& nodeId) {
  Store* store = StoreOf(server);
  return store != nullptr && store->Compact(nodeId);
}

UA_StatusCode CloneCompactVariable(UA_Server* server, const UA_NodeId& templateId, const CompactClone& clone) {
  Store* store = StoreOf(server);
  return store != nullptr ? store->Clone(templateId, clone) : UA_STATUSCODE_BADINTERNALERROR;
}

bool IsCompact(UA_Server* server, const UA_NodeId& nodeId) {
  Store* store = StoreOf(server);
  return store != nullptr && store->Found(store->Find(nodeId));
}

}  // namespace virk::server
