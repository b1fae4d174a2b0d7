// A worker thread with a running flag (set by its body) and a stop request.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace virk {

class CThread {
 public:
  using Body = std::function<void(CThread&)>;

  CThread() = default;
  ~CThread() { Stop(); }
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // Stops and joins a thread still recorded, then runs `body` on a new one.
  void Start(Body body);
  // Requests a stop and joins. Called from the thread itself it only requests.
  void Stop();

  bool StopRequested() const { return m_StopRequested.load(); }
  bool IsRunning() const { return m_Running.load(); }
  void SetRunning(bool running) { m_Running.store(running); }

 private:
  std::thread m_Thread;
  std::atomic<bool> m_Running{false};
  std::atomic<bool> m_StopRequested{false};
};

}  // namespace virk
