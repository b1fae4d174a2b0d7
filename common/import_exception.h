// Errors of one record of the configuration file. Raised while a record line
// is parsed and caught by the loader, which reports the text and fails the line.
#pragma once

#include <exception>
#include <string>

namespace virk {

class CImportException : public std::exception {
 public:
  const char* what() const noexcept override { return m_Text.c_str(); }
  const std::string& Text() const { return m_Text; }

 protected:
  explicit CImportException(std::string text) : m_Text(std::move(text)) {}

 private:
  std::string m_Text;
};

// A field that fails its check, optionally with an explanation.
class CFileldException : public CImportException {
 public:
  CFileldException(long line, int field)
      : CImportException("Строка " + std::to_string(line) + ": ошибка поля <" +
                         std::to_string(field) + ">.") {}
  CFileldException(long line, int field, const std::string& explanation)
      : CImportException("Строка " + std::to_string(line) + ": ошибка поля <" +
                         std::to_string(field) + "> - " + explanation + ".") {}
};

// Fewer fields than the record needs; `real` counts the fields after field 0.
class CFileldCountException : public CImportException {
 public:
  CFileldCountException(long line, size_t real, size_t expected)
      : CImportException("Строка " + std::to_string(line) +
                         ": несоответствие количества полей: реальное <" + std::to_string(real) +
                         "> ожидаемое <" + std::to_string(expected) + ">.") {}
};

// A name already used by a sibling (UTF-8 name).
class CNameDubleException : public CImportException {
 public:
  CNameDubleException(long line, int field, const std::string& name)
      : CImportException("Строка " + std::to_string(line) + ": ошибка поля <" +
                         std::to_string(field) + "> -  ошибка дублирования имени " + name + ".") {}
};

}  // namespace virk
