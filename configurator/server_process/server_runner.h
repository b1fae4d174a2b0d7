// The server program as the configurator's child process: started with the
// run parameters, its console output collected as text, stopped in order
// (the console control event first, a kill only when it does not end), and
// an end the configurator did not ask for reported.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>

#include "server_process/server_output.h"

class ServerRunner : public QObject {
  Q_OBJECT

 public:
  static constexpr int kStartWaitMs = 30000;
  // The server ends its exchange and sessions on the console control event;
  // it is killed only when it has not ended within this time.
  static constexpr int kOrderlyStopMs = 30000;
  static constexpr int kKillWaitMs = 5000;

  explicit ServerRunner(QObject* parent = nullptr);
  // Stops a running server in order: it is never left orphaned.
  ~ServerRunner() override;

  // `<folder of the configurator>/server/server` unless set.
  void SetProgram(const QString& program) { m_program = program; }
  const QString& Program() const { return m_program; }
  // The server's environment (its profile folder, where its log goes); the
  // configurator's own unless set.
  void SetEnvironment(const QProcessEnvironment& environment) { m_process.setProcessEnvironment(environment); }

  bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
  // Whether the process started last has ended; safe from any thread.
  bool HasEnded() const { return m_ended; }
  int ExitCode() const { return m_process.exitCode(); }
  qint64 ProcessId() const { return m_process.processId(); }
  // False when the program did not start within kStartWaitMs.
  bool Start(const QStringList& parameters);
  // Ends the server in order; true once it has ended. The window keeps
  // painting meanwhile, but takes no input.
  bool Stop();

  const QString& Output() const { return m_output; }
  void ClearOutput() { m_output.clear(); }
  // The last `count` lines of the output, for a message.
  QString LastLines(int count) const;

 signals:
  // The server ended without Stop(): a crash, a refused configuration, a port in use.
  void signalEndedByItself(int exitCode, QProcess::ExitStatus status);

 private:
  void ReadOutput();
  bool WaitForEnd(int ms);

  QString m_program;
  QProcess m_process;
  ServerOutputDecoder m_decoder;
  QString m_output;
  bool m_stopping = false;
  std::atomic<bool> m_ended{true};
};
