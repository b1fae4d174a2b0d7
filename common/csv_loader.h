// Reads the record section of a configuration file into an item tree. The
// server calls Load on a .cfg file; the configurator and the tools use the same
// grammar with their own item classes (through the factory) and options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "csv_text.h"
#include "item.h"

namespace virk {

class CCsvLoader {
 public:
  // One failed line: its zero-based number among the record lines (-1 for the
  // file as a whole) and the message that reports it.
  struct RecordError {
    long line;
    std::string message;
  };
  // Receives "Обнаружено дублирование COM порта" or "Обнаружено дублирование устройства".
  using DuplicateHook = std::function<void(const std::string& text)>;

  CCsvLoader(CTreeItemRoot& root, const CItemFactory& factory);

  // The server's entry: a scrambled .cfg file, with start, end and timing lines in the log.
  bool Load(const std::string& path);
  // A plain .csv file (CR LF read as LF).
  bool LoadPlain(const std::string& path);
  // A .cfg (scrambled) or .csv file, without the start, end and timing lines.
  bool LoadFile(const std::string& path, bool scrambled);
  // Unscrambled text; true only if every record line was accepted.
  bool LoadText(const std::u16string& text);

  // Record errors go to the log (category userland) unless turned off.
  void SetLogRecordErrors(bool log) { m_LogRecordErrors = log; }
  // Only the first `limit` record errors of a load go to the log, then one
  // line with the count of the rest; Errors() still holds them all.
  void SetRecordErrorLogLimit(size_t limit) { m_LogLimit = limit; }
  // With a hook set, a duplicate COM port or device address is passed to it
  // (with the configurator's texts) instead of being reported as a record error.
  void SetDuplicateHook(DuplicateHook hook) { m_DuplicateHook = std::move(hook); }

  // Every failure of the last load, in order, whether logged or not.
  const std::vector<RecordError>& Errors() const { return m_Errors; }

 private:
  enum class Mode { Ready, Error };
  // Kind of the current header, in the file's own codes.
  enum HeaderKind { kNone = 0, kChannelHeader = 1, kGroupHeader = 2, kDeviceHeader = 3, kTagHeader = 4 };

  void BeginLoad();
  // True when there were record lines and every line was accepted.
  bool FinishLoad();
  // Lines before the end of the record section, in order, numbered from 0.
  bool ProcessLine(long line, const Fields& fields);
  bool AcceptLine(long line, const Fields& fields);
  bool ProcessHeader(long line, HeaderKind kind);
  bool ProcessRecord(long line, const Fields& fields);
  // Parses and attaches one record; null with the error reported.
  CItem* AddRecord(long line, const Fields& fields, CItem& parent);
  void ReportRecordError(long line, const std::string& message);
  void ReportDuplicate(long line, const char* hookText, const std::string& message);

  CTreeItemRoot& m_Root;
  const CItemFactory& m_Factory;
  bool m_LogRecordErrors = true;
  size_t m_LogLimit = SIZE_MAX;
  size_t m_LoggedErrors = 0;
  size_t m_UnloggedErrors = 0;
  DuplicateHook m_DuplicateHook;
  std::vector<RecordError> m_Errors;
  // While a file is read, record errors wait until the read time is logged.
  bool m_DeferLog = false;
  std::vector<std::string> m_DeferredLog;

  HeaderKind m_Kind = kNone;
  Mode m_Mode = Mode::Ready;
  CItem* m_LastChannel = nullptr;
  CItem* m_LastDevice = nullptr;
  CItem* m_LastGroup = nullptr;
  long m_RecordLines = 0;
  long m_FailedLines = 0;
};

}  // namespace virk
