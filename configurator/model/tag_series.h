// Adding a series of tags: the dialog's tag first, then copies, each one
// advanced from the one before, named by counting up. Runs on a worker
// thread while the window waits in the progress dialog.
#pragma once

#include <QStringList>

#include "model/item_info.h"
#include "model/server_calls.h"

struct TagSeriesOutcome {
  int added = 0;         // tags now in the group
  int code = 0;          // progress dialog code: 0, 5 (local add failed), 6 (server failed)
  bool serverChanged = false;  // a server call changed the server's configuration
};

// `firstArgs` is the argument list of the first tag as the dialog built it
// (group path, "4", settings). `server` is null without a connection.
TagSeriesOutcome AddTagSeries(virk::CItem& group, virk::ItemPtr first, const QStringList& firstArgs,
                              int count, ServerCalls* server);
