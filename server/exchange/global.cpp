#include "global.h"

#include <vector>

#include "channel.h"
#include "common/log.h"
#include "da_tag.h"
#include "item_children.h"

namespace virk {
namespace {

std::vector<CChannel*> Channels(const CTreeItemRoot* root) {
  return root ? ChildrenOf<CChannel>(*root) : std::vector<CChannel*>();
}

}  // namespace

void PrepareItems(CItem& item) {
  if (auto* tag = dynamic_cast<CDATag*>(&item)) tag->Init();
  if (auto* channel = dynamic_cast<CChannel*>(&item)) channel->UpdateTransport();
  for (const auto& [name, child] : item.Children()) PrepareItems(*child);
}

CGlobal::~CGlobal() {
  if (IsStarted()) StopExchange();
}

void CGlobal::SetRoot(std::unique_ptr<CTreeItemRoot> root) {
  std::lock_guard<std::mutex> lock(m_ControlLock);
  if (m_Started) {
    LogMessage(LogLevel::Error, kLogUserland, "CGlobal::SetRoot: the exchange is running");
    return;
  }
  m_Root = std::move(root);
  if (m_Root) PrepareItems(*m_Root);
}

void CGlobal::StartExchange() {
  std::lock_guard<std::mutex> lock(m_ControlLock);
  if (m_Started) return;
  LogMessage(LogLevel::Debug, kLogUserland, "CGlobal::StartExchange()\n");
  for (CChannel* channel : Channels(m_Root.get())) {
    // Settings edited while stopped take effect here.
    channel->UpdateTransport();
    channel->SetDemotion(m_Demotion);
    channel->StartThread();
  }
  m_Started = true;
}

void CGlobal::StopExchange() {
  std::lock_guard<std::mutex> lock(m_ControlLock);
  LogMessage(LogLevel::Debug, kLogUserland, "CGlobal::StopExchange()\n");
  const std::vector<CChannel*> channels = Channels(m_Root.get());
  for (CChannel* channel : channels) channel->RequestStop();
  for (CChannel* channel : channels) channel->StopThread();
  m_Started = false;
}

}  // namespace virk
