#include "port_io_com.h"

#include <algorithm>
#include <utility>

#include "com_path.h"
#include "common/log.h"
#include "deadline.h"
#include "serial_device.h"
#include "serial_settings.h"

namespace virk {
namespace {

constexpr int kCategory = kLogUserland;

#define COM_DEBUG(...) LogFormat(LogLevel::Debug, kCategory, __VA_ARGS__)

}  // namespace

CPortIO_COM::CPortIO_COM(const CPortIO_Data_COM& data) : CPortIO_COM(data, CreateSerialDevice()) {}

CPortIO_COM::CPortIO_COM(const CPortIO_Data_COM& data, std::unique_ptr<SerialDevice> device)
    : CPortIO(kPortSerial), CPortIO_Data_COM(data), m_Device(std::move(device)) {}

CPortIO_COM::~CPortIO_COM() { CloseDevice(); }

void CPortIO_COM::CloseDevice() {
  m_Open = false;
  m_Device->Close();
}

bool CPortIO_COM::PortInit(uint32_t timeoutMs) {
  SetExchangeTimeout(timeoutMs);
  COM_DEBUG("CPortIO_COM::PortInit");
  if (IsOpen()) return true;

  const std::string path = ComDevicePath(m_PortNumber);
  if (const int error = m_Device->Open(path)) {
    COM_DEBUG("CPortIO_COM::PortInit: open %s failed: %s", path.c_str(), SerialErrorNumber(error).c_str());
    // Mostly a wrong port number, a port another program holds, or no right to it.
    TellOpenProblemOnce(OpenProblem::kDevice, path,
                        "the device cannot be opened (" + SerialErrorText(error) + "), the channel keeps trying");
    return FailInit();
  }
  // A port that runs at other settings than the devices' would only give
  // garbled frames: it is not used at all.
  const uint32_t interCharMs = serial::InterCharTimeoutMs(m_BaudRate);
  SerialLineControl control;
  if (const int error = SetConfig(interCharMs, control)) {
    m_Device->Close();
    TellOpenProblemOnce(OpenProblem::kSettings, path,
                        "the line settings " + serial::ModeText(*this) + " cannot be applied (" +
                            SerialErrorText(error) + "), the port is not opened");
    return FailInit();
  }
  m_ToldProblem = OpenProblem::kNone;
  if (control.dtrKeptOn) LogUnsupportedModeOnce("DTR", m_DtrControl & 3);
  m_RtsByHand = control.rtsByHand;
  m_InterCharTimeoutMs = interCharMs;
  m_Open = true;
  m_PortState = kPortStateInitialised;
  SetInitialised(true);
  return true;
}

bool CPortIO_COM::FailInit() {
  m_PortState = kPortStateInitialised;
  SetInitialised(false);
  return false;
}

int CPortIO_COM::SetConfig(uint32_t interCharMs, SerialLineControl& control) {
  COM_DEBUG("CPortIO_COM::SetConfig()");
  if (!serial::LineSettingsValid(*this)) {
    COM_DEBUG("CPortIO_COM::SetConfig(): settings %s not valid", serial::ModeText(*this).c_str());
    return kSerialInvalidSettings;
  }
  return m_Device->Configure(*this, interCharMs, control);
}

// The channel retries the open many times a second: one record per run of
// failed opens with the same kind of problem, not one per attempt.
void CPortIO_COM::TellOpenProblemOnce(OpenProblem problem, const std::string& path, const std::string& text) {
  if (m_ToldProblem == problem) return;
  m_ToldProblem = problem;
  LogFormat(LogLevel::Error, kCategory, "CPortIO_COM::PortInit: COM%u (%s): %s", m_PortNumber, path.c_str(),
            text.c_str());
}

void CPortIO_COM::LogUnsupportedModeOnce(const char* line, unsigned mode) {
  if (m_UnsupportedModeLogged) return;
  m_UnsupportedModeLogged = true;
  LogFormat(LogLevel::Warning, kCategory,
            "CComPortIO::SetConfig(): COM%u %s control mode %u is not available here; the line "
            "is kept on",
            m_PortNumber, line, mode);
}

void CPortIO_COM::PortDeInit() {
  COM_DEBUG("CPortIO_COM::PortDeInit()");
  CloseDevice();
  SetInitialised(false);
}

void CPortIO_COM::AbortExchange() {
  if (IsOpen()) m_Device->Purge(true, true);
}

TransportResult CPortIO_COM::DiscardInput() {
  if (IsOpen()) m_Device->Purge(true, true);
  m_PortState = kPortStateDone;
  return TransportResult::kOk;
}

TransportResult CPortIO_COM::Read(uint8_t* buffer, uint32_t* size) {
  COM_DEBUG("CPortIO_COM::Read");
  if (!IsOpen() || !buffer || !size) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }

  const uint32_t want = *size;
  uint32_t got = 0;
  TransportResult result = TransportResult::kOk;
  bool gone = false;
  const Deadline deadline(CapWait(ExchangeTimeout()));
  while (got < want) {
    // The first byte may take the whole exchange time-out; after it, a quiet
    // line for the inter-character time-out ends the read.
    const int wait = got == 0 ? deadline.RemainingMs()
                              : std::min(int(m_InterCharTimeoutMs), deadline.RemainingMs());
    uint32_t received = 0;
    const SerialOutcome outcome = m_Device->Read(buffer + got, want - got, wait, KeepGoing(), received);
    got += received;
    if (outcome.status == SerialStatus::kGone) {
      gone = true;
      break;
    }
    if (outcome.status == SerialStatus::kTimedOut) {
      result = got > 0 && !deadline.Passed() ? TransportResult::kOk : TransportResult::kFailed;
      break;
    }
    if (outcome.status == SerialStatus::kFailed) {
      result = TransportResult::kFailed;
      break;
    }
  }

  *size = got;
  if (gone) {
    m_PortState = kPortStateAccessDenied;
    COM_DEBUG("CPortIO_COM::Read COM%d: the device is gone", int(m_PortNumber));
    return TransportResult::kFailed;
  }
  if (result != TransportResult::kOk) COM_DEBUG("CPortIO_COM::Read COM%d: time-out", int(m_PortNumber));
  m_PortState = result == TransportResult::kOk ? kPortStateDone : kPortStateReadTimeout;
  COM_DEBUG("CPortIO_COM::Read COM%d: %d bytes", int(m_PortNumber), int(got));
  COM_DEBUG("CPortIO_COM::Read result %s", ToText(result));
  return result;
}

TransportResult CPortIO_COM::Write(const uint8_t* buffer, uint32_t* size) {
  COM_DEBUG("CPortIO_COM::Write");
  if (!IsOpen()) {
    // Nothing can be sent: a failure, not a success with no bytes.
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) {
    m_Device->Purge(false, true);
    return TransportResult::kOk;
  }

  // RTS is dropped only once the last character has left the line.
  const Deadline deadline(kSerialWriteLimitMs);
  if (m_RtsByHand) m_Device->SetRts(true);
  uint32_t sent = 0;
  SerialOutcome outcome = m_Device->Write(buffer, *size, deadline, sent);
  if (m_RtsByHand && outcome.status == SerialStatus::kOk)
    outcome = m_Device->WaitSent(m_BaudRate, uint32_t(deadline.RemainingMs()));
  if (m_RtsByHand) m_Device->SetRts(false);
  COM_DEBUG("CPortIO_COM::Write COM%d: write ended, %s", int(m_PortNumber), SerialErrorNumber(outcome.error).c_str());
  *size = sent;

  TransportResult result = TransportResult::kOk;
  if (outcome.status == SerialStatus::kTimedOut) {
    m_PortState = kPortStateWriteTimeout;
    COM_DEBUG("CPortIO_COM::Write COM%d: time-out, output discarded", int(m_PortNumber));
    m_Device->Purge(false, true);
    result = TransportResult::kWriteTimeout;
  } else if (outcome.status != SerialStatus::kOk) {
    if (outcome.status == SerialStatus::kGone) m_PortState = kPortStateAccessDenied;
    result = TransportResult::kFailed;
  } else {
    m_PortState = kPortStateDone;
  }
  COM_DEBUG("CPortIO_COM::Write result %s", ToText(result));
  return result;
}

}  // namespace virk
