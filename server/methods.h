// The five management methods on the "Каналы" folder: startExchange,
// stopExchange, addNode, deleteNode and editNode, each with one String input
// ("MyInput") and one String output ("MyOutput").
#pragma once

#include <open62541/server.h>

#include "server/da_callback.h"
#include "server/engine_link.h"
#include "server/item_edits.h"

namespace virk::server {

class ManagementMethods {
 public:
  ManagementMethods(CDACallback& callback, TreeEdits& edits, ExchangeControl& exchange)
      : m_Callback(callback), m_Edits(edits), m_Exchange(exchange) {}
  ManagementMethods(const ManagementMethods&) = delete;
  ManagementMethods& operator=(const ManagementMethods&) = delete;

  // Adds the five method nodes; a refused one is logged and the rest still
  // added. True when all five were added.
  bool CreateMethods();

  // The bodies of the methods: the output text, or Bad for an empty input
  // where the method needs one.
  UA_StatusCode StartExchange(const std::string& input, std::string& output);
  UA_StatusCode StopExchange(const std::string& input, std::string& output);
  UA_StatusCode AddNode(const std::string& input, std::string& output);
  UA_StatusCode DeleteNode(const std::string& input, std::string& output);
  UA_StatusCode EditNode(const std::string& input, std::string& output);

 private:
  CDACallback& m_Callback;
  TreeEdits& m_Edits;
  ExchangeControl& m_Exchange;
};

}  // namespace virk::server
