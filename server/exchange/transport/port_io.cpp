#include "port_io.h"

#include "common/settings.h"
#include "port_io_com.h"
#include "port_io_tcp.h"

namespace virk {

bool CPortIO::ReInit() {
  PortDeInit();
  return PortInit(ExchangeTimeout());
}

std::unique_ptr<CPortIO> CreatePortIO(const ChannelSettings& settings) {
  if (settings.m_ChannelType == kChannelCom) {
    if (const CPortIO_Data_COM* com = settings.Com()) return std::make_unique<CPortIO_COM>(*com);
  } else if (settings.m_ChannelType == kChannelTcp) {
    if (const CPortIO_Data_TCP* tcp = settings.Tcp()) return std::make_unique<CPortIO_TCP>(*tcp);
  }
  return nullptr;
}

}  // namespace virk
