// What the editing operations need from a running server: the management
// methods of the "Каналы" folder, each taking the ';'-joined argument list.
// The window holds none while it is not connected; then only the local model
// changes. The OPC UA client implements this interface.
#pragma once

#include <QStringList>

class ServerCalls {
 public:
  virtual ~ServerCalls() = default;
  virtual bool AddNode(const QStringList& args) = 0;
  virtual bool EditNode(const QStringList& args) = 0;
  virtual bool DeleteNode(const QStringList& args) = 0;
  virtual bool StartExchange() = 0;
  virtual bool StopExchange() = 0;
};
