#include "libmodbus_slave.h"

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace virk::test {
namespace {

bool Readable(int fd, int timeoutMs) {
  pollfd waiter{fd, POLLIN, 0};
  return poll(&waiter, 1, timeoutMs) > 0;
}

}  // namespace

LibmodbusSlave::LibmodbusSlave(int size) {
  m_Mapping = modbus_mapping_new(size, size, size, size);
  for (int i = 0; i < size; ++i) {
    m_Mapping->tab_registers[i] = uint16_t(i);
    m_Mapping->tab_input_registers[i] = uint16_t(0x1000 + i);
    m_Mapping->tab_bits[i] = uint8_t(i % 2);
    m_Mapping->tab_input_bits[i] = uint8_t(i % 3 == 0);
  }
}

LibmodbusSlave::~LibmodbusSlave() {
  Stop();
  modbus_mapping_free(m_Mapping);
}

bool LibmodbusSlave::StartTcp() {
  Stop();
  m_Context = modbus_new_tcp("127.0.0.1", 0);
  if (!m_Context) return false;
  m_Listener = modbus_tcp_listen(m_Context, 1);
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (m_Listener < 0 || getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Stop();
    return false;
  }
  m_Port = ntohs(address.sin_port);
  m_Stop = false;
  m_Thread = std::thread([this] { ServeTcp(); });
  return true;
}

bool LibmodbusSlave::StartRtu(const std::string& device, int baud, int unit) {
  Stop();
  m_Context = modbus_new_rtu(device.c_str(), baud, 'N', 8, 1);
  if (!m_Context || modbus_set_slave(m_Context, unit) != 0 || modbus_connect(m_Context) != 0) {
    Stop();
    return false;
  }
  m_Stop = false;
  m_Thread = std::thread([this] { ServeRtu(); });
  return true;
}

void LibmodbusSlave::Stop() {
  m_Stop = true;
  if (m_Thread.joinable()) m_Thread.join();
  if (m_Listener >= 0) close(m_Listener);
  m_Listener = -1;
  if (m_Context) {
    modbus_close(m_Context);
    modbus_free(m_Context);
  }
  m_Context = nullptr;
}

bool LibmodbusSlave::ServeOne(int socket) {
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  modbus_set_socket(m_Context, socket);
  const int length = modbus_receive(m_Context, query);
  if (length == 0) return true;  // a request for another unit
  if (length < 0) return errno != ECONNRESET && errno != EBADF && errno != EPIPE;
  ++m_Requests;
  std::lock_guard<std::mutex> lock(m_MappingLock);
  modbus_reply(m_Context, query, length, m_Mapping);
  return true;
}

// Any number of masters at once, each on its own connection.
void LibmodbusSlave::ServeTcp() {
  std::vector<pollfd> waiters{{m_Listener, POLLIN, 0}};
  while (!m_Stop) {
    if (poll(waiters.data(), waiters.size(), 50) <= 0) continue;
    for (size_t i = waiters.size(); i-- > 1;) {
      if (!waiters[i].revents) continue;
      if (!ServeOne(waiters[i].fd)) {
        close(waiters[i].fd);
        waiters.erase(waiters.begin() + long(i));
      }
    }
    if (waiters[0].revents) {
      int listener = m_Listener;
      const int peer = modbus_tcp_accept(m_Context, &listener);
      if (peer >= 0) waiters.push_back({peer, POLLIN, 0});
    }
  }
  for (size_t i = 1; i < waiters.size(); ++i) close(waiters[i].fd);
  // Every peer socket is closed here; modbus_close must not close one again.
  modbus_set_socket(m_Context, -1);
}

void LibmodbusSlave::ServeRtu() {
  const int fd = modbus_get_socket(m_Context);
  while (!m_Stop) {
    if (Readable(fd, 50) && !ServeOne(fd)) modbus_flush(m_Context);
  }
}

uint16_t LibmodbusSlave::HoldingRegister(int address) {
  std::lock_guard<std::mutex> lock(m_MappingLock);
  return m_Mapping->tab_registers[address];
}

void LibmodbusSlave::SetHoldingRegister(int address, uint16_t value) {
  std::lock_guard<std::mutex> lock(m_MappingLock);
  m_Mapping->tab_registers[address] = value;
}

bool LibmodbusSlave::Coil(int address) {
  std::lock_guard<std::mutex> lock(m_MappingLock);
  return m_Mapping->tab_bits[address] != 0;
}

}  // namespace virk::test
