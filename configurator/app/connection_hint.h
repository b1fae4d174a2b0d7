// The warning for an action that needs a connected server, pointing at the
// menu entries that can give one at this moment, by the texts the operator sees.
#pragma once

#include <QString>

class QAction;
class QMenu;

// `runServer` is offered only while no server of this window runs (there it
// would restart it); a disabled entry is never offered.
QString NoConnectionHint(const QMenu& menu, const QAction& runServer, const QAction& connect,
                         bool serverRunning);
