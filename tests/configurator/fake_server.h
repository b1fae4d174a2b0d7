// Stands in for a connected server: records every management call and fails
// the method it is told to.
#pragma once

#include <QStringList>

#include "model/server_calls.h"

class RecordingServer : public ServerCalls {
 public:
  bool AddNode(const QStringList& args) override { return Record("addNode", args); }
  bool EditNode(const QStringList& args) override { return Record("editNode", args); }
  bool DeleteNode(const QStringList& args) override { return Record("deleteNode", args); }
  bool StartExchange() override { return Record("startExchange", {}); }
  bool StopExchange() override { return Record("stopExchange", {}); }

  QStringList calls;
  QString failing;

 private:
  bool Record(const QString& method, const QStringList& args) {
    calls << method + (args.isEmpty() ? QString() : " " + args.join(';'));
    return method != failing;
  }
};
