// The Windows transports under Wine: TCP against a loopback peer in this
// process, serial against a COM port pair (two COM ports whose lines are
// joined, under Wine two dosdevices links to the ends of a socat pty pair)
// named by VIRK_TEST_COM_PORT and VIRK_TEST_DEVICE_PORT. Without that pair
// the serial checks are skipped.
#include "platform/windows/windows_api.h"

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "port_io_com.h"
#include "port_io_tcp.h"
#include "tests/platform/check.h"

namespace virk::test {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's waits come in steps of about 15.6 ms; a loaded machine adds more.
constexpr long kSlackMs = 400;

// --- TCP ---

// A listening socket on 127.0.0.1 and the peer's end of what it accepted.
class LoopbackPeer {
 public:
  LoopbackPeer() {
    m_Listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof where;
    m_Ready = bind(m_Listener, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
              listen(m_Listener, 4) == 0 && getsockname(m_Listener, reinterpret_cast<sockaddr*>(&where), &length) == 0;
    m_Port = ntohs(where.sin_port);
  }
  ~LoopbackPeer() {
    DropConnection();
    closesocket(m_Listener);
  }
  bool Ready() const { return m_Ready; }
  uint16_t Port() const { return m_Port; }
  // Takes the connection waiting in the backlog, at most 2 s.
  bool Accept() {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(m_Listener, &ready);
    timeval wait{2, 0};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) return false;
    DropConnection();
    m_Connection = accept(m_Listener, nullptr, nullptr);
    return m_Connection != INVALID_SOCKET;
  }
  bool Send(const std::string& bytes) {
    return send(m_Connection, bytes.data(), int(bytes.size()), 0) == int(bytes.size());
  }
  // What arrives within 2 s, up to `count` bytes; "" on a reset or close.
  std::string Receive(size_t count) {
    std::string bytes;
    const auto start = Clock::now();
    while (bytes.size() < count && ElapsedMs(start) < 2000) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(m_Connection, &ready);
      timeval wait{0, 50000};
      if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
      char chunk[256];
      const int n = recv(m_Connection, chunk, sizeof chunk, 0);
      if (n <= 0) {
        m_LastReceiveError = n == 0 ? 0 : WSAGetLastError();
        break;
      }
      bytes.append(chunk, size_t(n));
    }
    return bytes;
  }
  int LastReceiveError() const { return m_LastReceiveError; }
  void DropConnection() {
    if (m_Connection != INVALID_SOCKET) closesocket(m_Connection);
    m_Connection = INVALID_SOCKET;
  }

 private:
  SOCKET m_Listener = INVALID_SOCKET;
  SOCKET m_Connection = INVALID_SOCKET;
  bool m_Ready = false;
  uint16_t m_Port = 0;
  int m_LastReceiveError = -1;
};

CPortIO_Data_TCP LoopbackSettings(uint16_t port) {
  CPortIO_Data_TCP data;
  data.m_IpAddress = htonl(INADDR_LOOPBACK);
  data.m_Port = port;
  data.m_ConnectTimeout = 3000;
  return data;
}

std::string ReadText(CPortIO& port, TransportResult& result) {
  uint8_t buffer[512];
  uint32_t size = sizeof buffer;
  result = port.Read(buffer, &size);
  return std::string(reinterpret_cast<char*>(buffer), size);
}

TransportResult WriteText(CPortIO& port, const std::string& text) {
  uint32_t size = uint32_t(text.size());
  return port.Write(reinterpret_cast<const uint8_t*>(text.data()), &size);
}

// Whether closing a socket with SO_LINGER 0 resets the connection here: the
// plain calls, independent of the code under test.
bool AbortiveCloseResets() {
  LoopbackPeer peer;
  const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  where.sin_port = htons(peer.Port());
  const bool connected = connect(client, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 && peer.Accept();
  const linger abortive{1, 0};
  setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
  closesocket(client);
  return connected && peer.Receive(1).empty() && peer.LastReceiveError() == WSAECONNRESET;
}

void TestTcpExchange() {
  LoopbackPeer peer;
  if (!CHECK(peer.Ready())) return;
  CPortIO_TCP port(LoopbackSettings(peer.Port()));
  CHECK(port.PortInit(500) && !port.IsOpen());

  // The first write connects; request and answer go through whole.
  CHECK(WriteText(port, "request") == TransportResult::kOk);
  CHECK(port.IsOpen() && peer.Accept());
  CHECK(peer.Receive(7) == "request");
  CHECK(peer.Send("answer"));
  TransportResult result{};
  CHECK(ReadText(port, result) == "answer" && result == TransportResult::kOk);

  // Nothing to read: a time-out after the exchange time-out, not before.
  auto start = Clock::now();
  CHECK(ReadText(port, result).empty() && result == TransportResult::kTimeout);
  CHECK_THAT(ElapsedMs(start) >= 480 && ElapsedMs(start) < 500 + kSlackMs, std::to_string(ElapsedMs(start)) + " ms");

  // Queued input goes at once.
  CHECK(peer.Send("stale answer"));
  Sleep(100);
  start = Clock::now();
  CHECK(port.DiscardInput() == TransportResult::kOk);
  CHECK_THAT(ElapsedMs(start) < kSlackMs, std::to_string(ElapsedMs(start)) + " ms");
  CHECK(ReadText(port, result).empty() && result == TransportResult::kTimeout);

  // A stopping channel cuts a long wait short.
  std::atomic<bool> keepGoing{true};
  port.SetKeepGoing(&keepGoing);
  port.PortInit(10000);
  CHECK(WriteText(port, "again") == TransportResult::kOk && peer.Accept());
  keepGoing = false;
  start = Clock::now();
  ReadText(port, result);
  CHECK_THAT(result != TransportResult::kOk && ElapsedMs(start) < kSlackMs, std::to_string(ElapsedMs(start)) + " ms");
  keepGoing = true;

  // A waiting writer makes a receive give way.
  std::atomic<int> writers{1};
  port.SetInterrupt(&writers);
  CHECK(ReadText(port, result).empty() && result == TransportResult::kYielded);
  port.SetInterrupt(nullptr);
  port.SetKeepGoing(nullptr);

  // The peer closes: the read fails and closes; the next write reconnects.
  port.PortInit(500);
  CHECK(WriteText(port, "x") == TransportResult::kOk && peer.Accept());
  peer.DropConnection();
  CHECK(ReadText(port, result).empty() && result == TransportResult::kFailed && !port.IsOpen());
  CHECK(WriteText(port, "after close") == TransportResult::kOk && peer.Accept());
  CHECK(peer.Receive(11) == "after close");

  // An abort resets the connection, so the peer never waits on it.
  port.AbortExchange();
  CHECK(!port.IsOpen());
  const bool reset = peer.Receive(1).empty() && peer.LastReceiveError() == WSAECONNRESET;
  if (!reset && !AbortiveCloseResets())
    return Skip("abort resets", std::string(RunningUnderWine() ? "Wine" : "the system") +
                                    " closes in order after a plain SO_LINGER 0 close too: no reset to see");
  CHECK_THAT(reset, "receive error " + std::to_string(peer.LastReceiveError()));
}

// A port no one listens on refuses at once: the failure shows well before
// the connect time-out.
void TestTcpRefused() {
  uint16_t closedPort = 0;
  {
    LoopbackPeer gone;
    closedPort = gone.Port();
  }
  CPortIO_TCP port(LoopbackSettings(closedPort));
  port.PortInit(500);
  const auto start = Clock::now();
  CHECK(WriteText(port, "x") == TransportResult::kFailed && !port.IsOpen());
  CHECK_THAT(ElapsedMs(start) < 2000, std::to_string(ElapsedMs(start)) + " ms for a refused connect");
}

// --- serial ---

uint32_t PortNumberFrom(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? uint32_t(std::strtoul(value, nullptr, 10)) : 0;
}

// The device's end of the line, read and written plainly.
class Device {
 public:
  explicit Device(uint32_t number) {
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(number);
    m_Handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_Handle == INVALID_HANDLE_VALUE) return;
    DCB line{};
    line.DCBlength = sizeof line;
    GetCommState(m_Handle, &line);
    line.BaudRate = 9600;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    SetCommState(m_Handle, &line);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 1000;
    SetCommTimeouts(m_Handle, &timeouts);
  }
  ~Device() {
    if (m_Handle != INVALID_HANDLE_VALUE) CloseHandle(m_Handle);
  }
  bool Open() const { return m_Handle != INVALID_HANDLE_VALUE; }
  bool Send(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(m_Handle, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
  }
  std::string Receive(size_t count) {
    std::string bytes(count, '\0');
    DWORD got = 0;
    ReadFile(m_Handle, bytes.data(), DWORD(count), &got, nullptr);
    bytes.resize(got);
    return bytes;
  }

 private:
  HANDLE m_Handle = INVALID_HANDLE_VALUE;
};

// Whether a COM port already open (here: the device's) opens a second time
// with share mode 0, by the plain calls.
bool SecondOpenAllowed(uint32_t openNumber) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(openNumber);
  const HANDLE again = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (again == INVALID_HANDLE_VALUE) return false;
  CloseHandle(again);
  return true;
}

void TestSerialPort() {
  const uint32_t comNumber = PortNumberFrom("VIRK_TEST_COM_PORT");
  const uint32_t deviceNumber = PortNumberFrom("VIRK_TEST_DEVICE_PORT");
  if (comNumber == 0 || deviceNumber == 0)
    return Skip("serial port", "VIRK_TEST_COM_PORT and VIRK_TEST_DEVICE_PORT name no COM port pair");
  Device device(deviceNumber);
  if (!CHECK_THAT(device.Open(), "device COM" + std::to_string(deviceNumber) + " does not open")) return;

  CPortIO_Data_COM data;
  data.m_PortNumber = comNumber;
  CPortIO_COM port(data);
  CHECK(port.PortInit(1000) && port.IsOpen() && port.PortState() == kPortStateInitialised);
  CHECK(port.InterCharTimeoutMs() == 10);

  // Only one owner at a time, where the system refuses a second open.
  CPortIO_COM second(data);
  if (SecondOpenAllowed(deviceNumber))
    Skip("exclusive open", std::string(RunningUnderWine() ? "Wine" : "the system") +
                               " let a plain second CreateFileW with share mode 0 open a COM port");
  else
    CHECK(!second.PortInit(1000) && !second.IsOpen() && second.PortState() == kPortStateInitialised);

  CHECK(WriteText(port, "request") == TransportResult::kOk && port.PortState() == kPortStateDone);
  CHECK(device.Receive(7) == "request");

  // A frame ends with the quiet line, long before the exchange time-out.
  CHECK(device.Send("answer frame"));
  const auto start = Clock::now();
  TransportResult result{};
  const std::string answer = ReadText(port, result);
  CHECK_THAT(answer == "answer frame" && result == TransportResult::kOk, "read \"" + answer + "\"");
  CHECK_THAT(ElapsedMs(start) < 500, std::to_string(ElapsedMs(start)) + " ms for a frame");

  // Nothing asked for: done at once.
  uint8_t unused = 0;
  uint32_t none = 0;
  const auto empty = Clock::now();
  CHECK(port.Read(&unused, &none) == TransportResult::kOk && none == 0 && ElapsedMs(empty) < kSlackMs);

  // No answer: a failure after the exchange time-out, nothing handed over.
  const auto silent = Clock::now();
  CHECK(ReadText(port, result).empty() && result == TransportResult::kFailed);
  CHECK(port.PortState() == kPortStateReadTimeout);
  CHECK_THAT(ElapsedMs(silent) >= 980 && ElapsedMs(silent) < 1000 + kSlackMs, std::to_string(ElapsedMs(silent)) + " ms");

  // A late answer is dropped before the next request.
  CHECK(device.Send("late"));
  Sleep(200);
  CHECK(port.DiscardInput() == TransportResult::kOk);
  port.PortInit(300);
  CHECK(ReadText(port, result).empty() && result == TransportResult::kFailed);

  // A stopping channel cuts the wait for the first byte short.
  std::atomic<bool> keepGoing{false};
  port.SetKeepGoing(&keepGoing);
  port.PortDeInit();
  CHECK(port.PortInit(10000));
  const auto stopping = Clock::now();
  CHECK(ReadText(port, result).empty() && result == TransportResult::kFailed);
  CHECK_THAT(ElapsedMs(stopping) < kSlackMs, std::to_string(ElapsedMs(stopping)) + " ms");
  port.SetKeepGoing(nullptr);

  port.PortDeInit();
  CHECK(!port.IsOpen() && !port.IsInitialised());
  CHECK(second.PortInit(1000));  // free again once closed
  second.PortDeInit();

  // RTS on while sending, by the driver or by hand: the frame goes out whole
  // and the write waits no longer than the line needs.
  CPortIO_Data_COM toggled = data;
  toggled.m_RtsControl = 3;
  CPortIO_COM rs485(toggled);
  CHECK(rs485.PortInit(1000));
  const auto writing = Clock::now();
  CHECK(WriteText(rs485, "toggled") == TransportResult::kOk);
  CHECK_THAT(ElapsedMs(writing) < kSlackMs, std::to_string(ElapsedMs(writing)) + " ms for 7 bytes");
  CHECK(device.Receive(7) == "toggled");
}

void TestSerialRefusals() {
  CPortIO_Data_COM absent;
  absent.m_PortNumber = 250;
  CPortIO_COM missing(absent);
  CHECK(!missing.PortInit(100) && !missing.IsOpen() && missing.PortState() == kPortStateInitialised);
  uint32_t size = 1;
  const uint8_t byte = 0;
  CHECK(missing.Write(&byte, &size) == TransportResult::kFailed && size == 0);

  const uint32_t comNumber = PortNumberFrom("VIRK_TEST_COM_PORT");
  if (comNumber == 0) return Skip("serial settings refusal", "VIRK_TEST_COM_PORT names no COM port");
  CPortIO_Data_COM wrong;
  wrong.m_PortNumber = comNumber;
  wrong.m_DataBits = 9;
  CPortIO_COM refused(wrong);
  CHECK(!refused.PortInit(100) && !refused.IsOpen());
}

}  // namespace
}  // namespace virk::test

int main() {
  using namespace virk::test;
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  TestTcpExchange();
  TestTcpRefused();
  TestSerialPort();
  TestSerialRefusals();
  return Finish();
}
