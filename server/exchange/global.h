// The engine's top level: the configuration tree and the start and stop of
// the polling threads.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "channel.h"
#include "common/item.h"

namespace virk {

// Makes a freshly loaded (or added) subtree ready for the engine: tags take
// their data types and access from their settings, channels build their
// transports.
void PrepareItems(CItem& item);

class CGlobal {
 public:
  CGlobal() = default;
  // Stops the exchange; the tree is destroyed with it.
  ~CGlobal();
  CGlobal(const CGlobal&) = delete;
  CGlobal& operator=(const CGlobal&) = delete;

  // Takes over a loaded tree and prepares it; only while stopped.
  void SetRoot(std::unique_ptr<CTreeItemRoot> root);
  CTreeItemRoot* Root() const { return m_Root.get(); }

  // Starts one polling thread per channel; does nothing when started.
  void StartExchange();
  // Lets every thread leave at once, then joins them one by one.
  void StopExchange();
  bool IsStarted() const { return m_Started.load(); }
  // Given to every channel at the next start.
  void SetDemotion(const DemotionRule& rule) { m_Demotion = rule; }

 private:
  std::mutex m_ControlLock;
  std::atomic<bool> m_Started{false};
  std::unique_ptr<CTreeItemRoot> m_Root;
  DemotionRule m_Demotion;
};

}  // namespace virk
