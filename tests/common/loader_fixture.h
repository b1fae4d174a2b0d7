// Shared by the loader and writer tests: record texts and a captured log.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/csv_loader.h"
#include "common/log.h"

namespace virk {

inline const char16_t kChannelHeader[] = u"CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14";
inline const char16_t kDeviceHeader[] = u"DEVICE;1;2;3;4;5;6;7";
inline const char16_t kGroupHeader[] = u"GROUP;1;2;3";
inline const char16_t kTagHeader[] = u"TAG;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17";
inline const char16_t kDefaultChannel[] =
    u";Channel_0;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет";
inline const char16_t kDefaultDevice[] = u";Device_0;1;Нет;125;2000;0;Да";
inline const char16_t kDefaultGroup[] = u";Group_0;50;мс";
inline const char16_t kDefaultTag[] =
    u";Tag_0;Входной регистр;1;0;0;Да;;;Вещ32;BA DC;Нет;;;;;Константа;0";

// Lines joined with LF, each ending with one.
inline std::u16string Lines(std::initializer_list<std::u16string> lines) {
  std::u16string text;
  for (const std::u16string& line : lines) text += line + u'\n';
  return text;
}

// A channel, device and group at their defaults, then the given tag lines.
inline std::u16string WithTags(std::initializer_list<std::u16string> tags) {
  std::u16string text = Lines({kChannelHeader, kDefaultChannel, kDeviceHeader, kDefaultDevice,
                               kGroupHeader, kDefaultGroup, kTagHeader});
  for (const std::u16string& tag : tags) text += tag + u'\n';
  return text;
}

struct LogEntry {
  LogLevel level;
  int category;
  std::string text;
};

// Captures what the loader logs for the duration of a test.
class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Previous = SetLogFunction([this](LogLevel level, int category, const std::string& text) {
      m_Log.push_back({level, category, text});
    });
  }
  void TearDown() override { SetLogFunction(std::move(m_Previous)); }

  std::vector<std::string> LoggedTexts(int category) const {
    std::vector<std::string> texts;
    for (const LogEntry& entry : m_Log)
      if (entry.category == category) texts.push_back(entry.text);
    return texts;
  }

  std::vector<LogEntry> m_Log;

 private:
  LogFunction m_Previous;
};

}  // namespace virk
