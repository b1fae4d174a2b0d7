// A libmodbus slave served on a thread of the test process: Modbus TCP on
// 127.0.0.1 or RTU on a serial device. Contents as the pymodbus slave's:
// holding register i = i, input register i = 0x1000 + i, coil i = i % 2,
// discrete input i = (i % 3 == 0), for i < 1000.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace virk::test {

class LibmodbusSlave {
 public:
  // `size` registers and bits of each kind, register i holding i.
  explicit LibmodbusSlave(int size = 1000);
  ~LibmodbusSlave();
  LibmodbusSlave(const LibmodbusSlave&) = delete;
  LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

  bool StartTcp();
  bool StartRtu(const std::string& device, int baud, int unit = 1);
  void Stop();
  uint16_t Port() const { return m_Port; }

  uint16_t HoldingRegister(int address);
  void SetHoldingRegister(int address, uint16_t value);
  bool Coil(int address);
  int Requests() const { return m_Requests.load(); }

 private:
  void ServeTcp();
  void ServeRtu();
  // Receives one waiting request and answers it; false when the link ended.
  bool ServeOne(int socket);

  modbus_t* m_Context = nullptr;
  modbus_mapping_t* m_Mapping = nullptr;
  std::mutex m_MappingLock;
  int m_Listener = -1;
  uint16_t m_Port = 0;
  std::thread m_Thread;
  std::atomic<bool> m_Stop{false};
  std::atomic<int> m_Requests{0};
};

}  // namespace virk::test
