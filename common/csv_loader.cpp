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

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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
  m_Errors.clear();
  const auto start = std::chrono::steady_clock::now();
  std::string bytes, error;
  std::u16string text;
  size_t badOffset = 0;
  const bool read = ReadFileBytes(path, bytes, error);
  if (read && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  if (!read || !DecodeUtf8(bytes, text, badOffset)) {
    // What failed, then the reason.
    const std::string what = read ? "the file is not valid UTF-8" : "the file cannot be read";
    const std::string why = read ? InvalidUtf8Message(badOffset) : error;
    const std::string message = "CCsvLoader::Load File " + path + " error " + what + " [" + why + "]";
    m_Errors.push_back({-1, message});
    LogMessage(LogLevel::Error, kLogUserland, message);
    return false;
  }
  if (scrambled) Scramble(text);
  m_Root.m_FilePath = path;
  const std::vector<std::u16string_view> lines = RecordLines(text);
  LogFormat(LogLevel::Info, kLogServer, "File read time (seconds): %f", SecondsSince(start));

  const auto build = std::chrono::steady_clock::now();
  const bool loaded = ProcessLines(lines);
  LogFormat(LogLevel::Info, kLogServer, "Analise information and build tree time (seconds): %f",
            SecondsSince(build));
  return loaded;
}

bool CCsvLoader::LoadText(const std::u16string& text) {
  m_Errors.clear();
  return ProcessLines(RecordLines(text));
}

std::vector<std::u16string_view> CCsvLoader::RecordLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines = SplitLines(text);
  Fields fields;
  for (size_t n = 0; n < lines.size(); ++n) {
    SplitFields(lines[n], fields);
    if (EndsRecordSection(fields)) {
      lines.resize(n);
      break;
    }
  }
  return lines;
}

bool CCsvLoader::ProcessLines(const std::vector<std::u16string_view>& lines) {
  m_Kind = kNone;
  m_Mode = Mode::Ready;
  m_LastChannel = m_LastDevice = m_LastGroup = nullptr;
  m_RecordLines = 0;
  bool allAccepted = true;
  Fields fields;
  for (size_t n = 0; n < lines.size(); ++n) {
    SplitFields(lines[n], fields);
    if (!ProcessLine(long(n), fields)) allAccepted = false;
  }
  if (m_RecordLines == 0) {
    ReportRecordError(-1, "No record lines in the configuration");
    return false;
  }
  return allAccepted;
}

bool CCsvLoader::ProcessLine(long line, const Fields& fields) {
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
  if (m_LogRecordErrors) LogMessage(LogLevel::Error, kLogUserland, message);
}

void CCsvLoader::ReportDuplicate(long line, const char* hookText, const std::string& message) {
  if (!m_DuplicateHook) return ReportRecordError(line, message);
  m_Errors.push_back({line, hookText});
  m_DuplicateHook(hookText);
}

}  // namespace virk
