#include "server_process/server_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

ServerRunner::ServerRunner(QObject* parent)
    : QObject(parent), m_program(QCoreApplication::applicationDirPath() + "/server/server") {
  m_process.setReadChannel(QProcess::StandardOutput);
  connect(&m_process, &QProcess::readyReadStandardOutput, this, &ServerRunner::ReadOutput);
  connect(&m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
    ReadOutput();
    m_ended = true;
    if (!m_stopping) emit signalEndedByItself(exitCode, status);
  });
}

ServerRunner::~ServerRunner() { Stop(); }

bool ServerRunner::Start(const QStringList& parameters) {
  m_output.clear();
  m_decoder = ServerOutputDecoder();
  m_ended = false;
  m_process.start(m_program, parameters, QIODevice::ReadWrite);
  const bool started = m_process.waitForStarted(kStartWaitMs) && IsRunning();
  if (!started) m_ended = true;
  return started;
}

bool ServerRunner::WaitForEnd(int ms) {
  if (!IsRunning()) return true;
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  return !IsRunning();
}

bool ServerRunner::Stop() {
  if (!IsRunning()) return true;
  m_stopping = true;
  m_process.terminate();
  if (!WaitForEnd(kOrderlyStopMs)) {
    m_process.kill();
    WaitForEnd(kKillWaitMs);
  }
  m_stopping = false;
  return !IsRunning();
}

void ServerRunner::ReadOutput() { m_output += m_decoder.Feed(m_process.readAllStandardOutput()); }

QString ServerRunner::LastLines(int count) const {
  const QStringList lines = m_output.split('\n', Qt::SkipEmptyParts);
  return lines.mid(std::max<qsizetype>(0, lines.size() - count)).join('\n');
}
