// Runs keyforge with the certificate settings and says how it went.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct KeyforgeResult {
  bool success = false;
  QString message;  // the text shown to the operator
};

// The arguments keyforge gets: one "-<option>=<value>" per field, values as
// they are (spaces and line feeds included), the application URI last.
QStringList KeyforgeArguments(const QMap<QString, QString>& settings);

// Starts `program` and waits for it (30 s to start, 30 s to finish). Anything
// on its standard error or a non-zero exit code is a failure.
KeyforgeResult RunKeyforge(const QString& program, const QMap<QString, QString>& settings);
