// Decoding of the server's console output.
#include <gtest/gtest.h>

#include "server_process/server_output.h"

TEST(ServerOutput, ColourCodesGoAndSplitReadsDecodeAsOne) {
  const QByteArray output =
      "[2024-03-01 12:00:00.000 (UTC+0300)] \x1b[32minfo/network\x1b[0m\tTCP network layer "
      "listening on opc.tcp://127.0.0.1:4840/\n"
      "[2024-03-01 12:00:01.000 (UTC+0300)] \x1b[1;31merror/server\x1b[0m\t"
      "Сервер: нет связи с устройством «Котёл 1» ✓ 🔥\n"
      "\x1b[2K\x1b(Bend\n";
  const QString expected = QString::fromUtf8(
      "[2024-03-01 12:00:00.000 (UTC+0300)] info/network\tTCP network layer "
      "listening on opc.tcp://127.0.0.1:4840/\n"
      "[2024-03-01 12:00:01.000 (UTC+0300)] error/server\t"
      "Сервер: нет связи с устройством «Котёл 1» ✓ 🔥\n"
      "end\n");
  EXPECT_EQ(ServerOutputText(output), expected);

  for (qsizetype cut = 1; cut < output.size(); ++cut) {
    ServerOutputDecoder decoder;
    QString text = decoder.Feed(output.left(cut));
    text += decoder.Feed(output.mid(cut));
    ASSERT_EQ(text.toStdString(), expected.toStdString()) << "cut at byte " << cut;
  }
  ServerOutputDecoder bytewise;
  QString text;
  for (const char c : output) text += bytewise.Feed(QByteArray(1, c));
  EXPECT_EQ(text, expected);
}

