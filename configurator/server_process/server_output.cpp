#include "server_process/server_output.h"

namespace {

constexpr char kEsc = '\x1b';

bool InRange(char c, char low, char high) { return c >= low && c <= high; }

}  // namespace

// Escape sequences (ESC, intermediate bytes, a final byte; or ESC '[',
// parameters, a final byte) are ASCII and never part of a UTF-8 character,
// so they can be dropped from the bytes before decoding.
void ServerOutputDecoder::Step(char c, QByteArray& text) {
  switch (m_escape) {
    case Escape::kNone:
      break;
    case Escape::kStarted:
      if (c == '[') {
        m_escape = Escape::kControl;
        return;
      }
      [[fallthrough]];
    case Escape::kIntermediate:
      if (InRange(c, 0x20, 0x2f)) {
        m_escape = Escape::kIntermediate;
        return;
      }
      if (InRange(c, 0x30, 0x7e)) {
        m_escape = Escape::kNone;
        return;
      }
      break;
    case Escape::kControl:
      if (InRange(c, 0x20, 0x3f)) return;
      if (InRange(c, 0x40, 0x7e)) {
        m_escape = Escape::kNone;
        return;
      }
      break;
  }
  // Plain text, or a byte that breaks a sequence: what the sequence had is
  // dropped, the byte is kept.
  if (c == kEsc) {
    m_escape = Escape::kStarted;
  } else {
    m_escape = Escape::kNone;
    text.append(c);
  }
}

QString ServerOutputDecoder::Feed(const QByteArray& bytes) {
  QByteArray text;
  text.reserve(bytes.size());
  for (const char c : bytes) Step(c, text);
  return m_utf8.decode(text);
}

QString ServerOutputText(const QByteArray& bytes) {
  ServerOutputDecoder decoder;
  return decoder.Feed(bytes);
}
