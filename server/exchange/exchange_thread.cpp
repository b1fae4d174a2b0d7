#include "exchange_thread.h"

#include "common/log.h"

namespace virk {

void CThread::Start(Body body) {
  Stop();
  m_StopRequested = false;
  m_Thread = std::thread([this, body = std::move(body)] { body(*this); });
}

void CThread::Stop() {
  m_StopRequested = true;
  if (!m_Thread.joinable()) return;
  if (m_Thread.get_id() == std::this_thread::get_id()) {
    LogMessage(LogLevel::Error, kLogUserland, "CThread::Stop: a thread cannot join itself");
    return;
  }
  m_Thread.join();
  m_Running = false;
}

}  // namespace virk
