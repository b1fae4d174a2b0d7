// A node store for many similar variables. The library's default store spends
// over a kilobyte on each variable node: the node itself, one copy of the name
// as node id, browse name, display name and description each, and the
// references. The gateway's tag variables differ only in name, data type,
// access and parent, so they are kept as small records and the library is
// handed a node built from the record when it asks for one. Every other node
// stays in the library's default store, which this one wraps.
#pragma once

#include <open62541/server.h>

namespace virk::server {

// Wraps the default store the minimal configuration set up. Call before the
// server is made from the configuration; cleaning the configuration frees it.
UA_StatusCode InstallCompactNodestore(UA_ServerConfig& config);

// The default store marks a removed node's slot rather than freeing it, so
// compact a few variables this way and add the many as clones (below).
//
// Moves a variable that was added through the library into a record when its
// attributes fit one (a data source, a numeric data type of namespace 0, the
// node id's string as browse name, display name and description in one
// locale, at most two references); otherwise it stays as it is. False when it
// stays, or when the server's store is not the compact one. Call where no
// service runs at the same time: before the server runs, or from one of its
// callbacks.
bool CompactVariable(UA_Server* server, const UA_NodeId& nodeId);

// What a clone of a record differs in.
struct CompactClone {
  UA_NodeId id;      // a string id in the template's namespace, the browse name too
  UA_NodeId parent;  // a node of the wrapped store
  void* context;
  UA_UInt32 dataType;  // numeric, namespace 0
  UA_Byte accessLevel;
};

// Adds a variable as a record like the template's record (a variable added
// through the library and compacted), with the clone's name, parent, context,
// data type and access, and adds the parent's reference to it. Much faster
// than adding it through the library, and it leaves out the library's checks
// on a new node: the caller vouches that the data source gives values of the
// data type. Call where CompactVariable may be called.
UA_StatusCode CloneCompactVariable(UA_Server* server, const UA_NodeId& templateId, const CompactClone& clone);

// True while the node is kept as a record. A record whose node the library
// changed beyond what a record holds is turned back into a full node.
bool IsCompact(UA_Server* server, const UA_NodeId& nodeId);

}  // namespace virk::server
