#include "csv_loader.h"

#include <chrono>
#include <cstdio>

#include "csv_records.h"
#include "import_exception.h"
#include "log.h"
#include "text.h"

namespace virk {
namespace {

constexpr char kComDuplicate[] = "Обнаружено дублирование COM порта";
constexpr char kDeviceDuplicate[] = "Обнаружено дублирование устройства";

// A message that starts with the line number, then free text.
std::string Format(const char* format, long line, const std::string& text = std::string()) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, line);
  return buffer + text;
}

// Header codes of the file (1 CHANNEL, 2 GROUP, 3 DEVICE, 4 TAG) to item kinds.
int32_t ItemKindOf(int header) {
  switch (header) {
    case 1:
      return kKindChannel;
    case 2:
      return kKindGroup;
    case 3:
      return kKindDevice;
    default:
      return kKindTag;
  }
}

// Parses the record into the new item; the factory's items derive from the bases.
void ParseRecord(long line, const Fields& fields, const CItem& parent, CItem& item) {
  switch (item.Kind()) {
    case kKindChannel:
      return ParseChannelRecord(line, fields, parent, dynamic_cast<CChannelBase&>(item));
    case kKindDevice:
      return ParseDeviceRecord(line, fields, parent, dynamic_cast<CDeviceBase&>(item));
    case kKindGroup:
      return ParseGroupRecord(line, fields, parent, dynamic_cast<CGroupBase&>(item));
    default:
      return ParseTagRecord(line, fields, parent, dynamic_cast<CTagBase&>(item));
  }
}

}  // namespace

CCsvLoader::CCsvLoader(CTreeItemRoot& root, const CItemFactory& factory)
    : m_Root(root), m_Factory(factory) {}

bool CCsvLoader::Load(const std::string& path) {
  LogFormat(LogLevel::Info, kLogUserland, "CCsvLoader::Load %s ", path.c_str());
  const bool loaded = LoadFile(path, true);
  if (loaded)
    LogFormat(LogLevel::Info, kLogUserland, "CCsvLoader::Load %s succeeded ", path.c_str());
  else
    LogFormat(LogLevel::Error, kLogUserland, "CCsvLoader::Load %s failed ", path.c_str());
  return loaded;
}

bool CCsvLoader::LoadPlain(const std::string& path) { return LoadFile(path, false); }

bool CCsvLoader::LoadFile(const std::string& path, bool scrambled) {
  using Clock = std::chrono::steady_clock;
  BeginLoad();
  m_DeferLog = true;
  ConfigLineReader reader;
  Clock::duration reading{}, building{};
  auto mark = Clock::now();
  // Lines are read and processed one at a time; the two times are kept apart.
  if (reader.Open(path, scrambled)) {
    std::u16string line;
    Fields fields;
    for (long n = 0; reader.Next(line); ++n) {
      const auto read = Clock::now();
      reading += read - mark;
      SplitFields(line, fields);
      if (EndsRecordSection(fields)) break;
      // The writers end every record line, so in a .cfg file a last line
      // without its end was cut short and its last field may be incomplete.
      if (scrambled && !reader.LineEnded()) {
        ++m_FailedLines;
        ReportRecordError(n, Format("Строка %ld: файл обрывается посреди строки.", n));
        break;
      }
      ProcessLine(n, fields);
      mark = Clock::now();
      building += mark - read;
    }
  }
  m_DeferLog = false;
  if (!reader.Error().empty()) {
    // What failed, then the reason.
    const char* what = reader.BadEncoding() ? "the file is not valid UTF-8" : "the file cannot be read";
    const std::string message =
        "CCsvLoader::Load File " + path + " error " + what + " [" + reader.Error() + "]";
    m_Errors.push_back({-1, message});
    LogMessage(LogLevel::Error, kLogUserland, message);
    return false;
  }
  m_Root.m_FilePath = path;
  LogFormat(LogLevel::Info, kLogServer, "File read time (seconds): %f",
            std::chrono::duration<double>(reading).count());
  for (const std::string& message : m_DeferredLog) LogMessage(LogLevel::Error, kLogUserland, message);
  m_DeferredLog.clear();
  const bool loaded = FinishLoad();
  LogFormat(LogLevel::Info, kLogServer, "Analise information and build tree time (seconds): %f",
            std::chrono::duration<double>(building).count());
  return loaded;
}

bool CCsvLoader::LoadText(const std::u16string& text) {
  BeginLoad();
  Fields fields;
  long n = 0;
  for (std::u16string_view line : SplitLines(text)) {
    SplitFields(line, fields);
    if (EndsRecordSection(fields)) break;
    ProcessLine(n++, fields);
  }
  return FinishLoad();
}

void CCsvLoader::BeginLoad() {
  m_Errors.clear();
  m_DeferredLog.clear();
  m_Kind = kNone;
  m_Mode = Mode::Ready;
  m_LastChannel = m_LastDevice = m_LastGroup = nullptr;
  m_RecordLines = 0;
  m_FailedLines = 0;
  m_LoggedErrors = 0;
  m_UnloggedErrors = 0;
}

bool CCsvLoader::FinishLoad() {
  if (m_RecordLines == 0) ReportRecordError(-1, "No record lines in the configuration");
  if (m_UnloggedErrors)
    LogFormat(LogLevel::Error, kLogUserland, "... and %zu more record errors", m_UnloggedErrors);
  return m_RecordLines != 0 && m_FailedLines == 0;
}

bool CCsvLoader::ProcessLine(long line, const Fields& fields) {
  const bool accepted = AcceptLine(line, fields);
  if (!accepted) ++m_FailedLines;
  return accepted;
}

bool CCsvLoader::AcceptLine(long line, const Fields& fields) {
  const std::u16string_view keyword = fields.empty() ? std::u16string_view() : fields[0];
  if (keyword.empty()) {
    ++m_RecordLines;
    return m_Mode == Mode::Ready && ProcessRecord(line, fields);
  }
  if (keyword == u"CHANNEL") {
    m_Kind = kChannelHeader;
    m_Mode = Mode::Ready;
    return true;
  }
  if (keyword == u"DEVICE") return ProcessHeader(line, kDeviceHeader);
  if (keyword == u"GROUP") return ProcessHeader(line, kGroupHeader);
  if (keyword == u"TAG") return ProcessHeader(line, kTagHeader);
  ReportRecordError(line, Format("Строка %ld: неизвестное ключевое слово '", line,
                                 Utf16ToUtf8(std::u16string(keyword)) + "'."));
  return false;
}

bool CCsvLoader::ProcessHeader(long line, HeaderKind kind) {
  if (m_Mode == Mode::Error) return false;  // the failed parent was reported already
  const bool placed = kind == kTagHeader ? m_Kind >= kGroupHeader : m_Kind != kNone;
  if (!placed) {
    ReportRecordError(line, Format("Строка %ld: неверный формат файла.", line));
    m_Mode = Mode::Error;
    return false;
  }
  m_Kind = kind;
  return true;
}

bool CCsvLoader::ProcessRecord(long line, const Fields& fields) {
  CItem* parent = nullptr;
  CItem** last = nullptr;
  switch (m_Kind) {
    case kChannelHeader:
      parent = &m_Root, last = &m_LastChannel;
      break;
    case kDeviceHeader:
      parent = m_LastChannel, last = &m_LastDevice;
      break;
    case kGroupHeader:
      parent = m_LastDevice, last = &m_LastGroup;
      break;
    case kTagHeader:
      parent = m_LastGroup, last = nullptr;
      break;
    case kNone:
      break;
  }
  if (!parent) {
    // A record before any header, or with no accepted item to hang it under.
    ReportRecordError(line, Format("Строка %ld: неверный формат файла.", line));
    return false;
  }
  CItem* added = AddRecord(line, fields, *parent);
  if (last && added) *last = added;
  if (!added && m_Kind != kTagHeader) m_Mode = Mode::Error;
  return added != nullptr;
}

CItem* CCsvLoader::AddRecord(long line, const Fields& fields, CItem& parent) {
  const int32_t kind = ItemKindOf(m_Kind);
  ItemPtr item = m_Factory.Create(kind);
  if (!item || item->Kind() != kind) {
    ReportRecordError(line, Format("Строка %ld: ошибка: ", line, "no item of this kind"));
    return nullptr;
  }
  try {
    ParseRecord(line, fields, parent, *item);
  } catch (const CImportException& e) {
    ReportRecordError(line, e.Text());
    return nullptr;
  }
  if (kind == kKindChannel && static_cast<CChannelBase&>(*item).m_Data.Com() &&
      parent.FindConflict(*item)) {
    ReportDuplicate(line, kComDuplicate,
                    CFileldException(line, 15, "Дублирование номера COM порта").Text());
    return nullptr;
  }
  if (kind == kKindDevice && parent.FindConflict(*item)) {
    ReportDuplicate(line, kDeviceDuplicate,
                    Format("Строка %ld: ошибка: ", line, "дублирование устройства"));
    return nullptr;
  }
  CItem* added = item.get();
  return parent.AddChild(std::move(item)) ? added : nullptr;
}

void CCsvLoader::ReportRecordError(long line, const std::string& message) {
  m_Errors.push_back({line, message});
  if (!m_LogRecordErrors) return;
  if (m_LoggedErrors == m_LogLimit) {
    ++m_UnloggedErrors;
    return;
  }
  ++m_LoggedErrors;
  if (m_DeferLog)
    m_DeferredLog.push_back(message);
  else
    LogMessage(LogLevel::Error, kLogUserland, message);
}

void CCsvLoader::ReportDuplicate(long line, const char* hookText, const std::string& message) {
  if (!m_DuplicateHook) return ReportRecordError(line, message);
  m_Errors.push_back({line, hookText});
  m_DuplicateHook(hookText);
}

}  // namespace virk
