// The server's console output as the operator reads it: UTF-8 text without
// the terminal colour codes the OPC UA library writes even into a pipe.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Reads arrive cut anywhere, also inside a UTF-8 character or a colour code;
// the decoder keeps the unfinished tail for the next read.
class ServerOutputDecoder {
 public:
  QString Feed(const QByteArray& bytes);

 private:
  // Where the previous byte left an escape sequence.
  enum class Escape { kNone, kStarted, kIntermediate, kControl };

  void Step(char c, QByteArray& text);

  Escape m_escape = Escape::kNone;
  QStringDecoder m_utf8{QStringDecoder::Utf8};
};

// Output read in one piece.
QString ServerOutputText(const QByteArray& bytes);
