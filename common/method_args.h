// The one-string argument of addNode and editNode: fields separated by ';',
// decoded into an item's settings through the model's field parsers, so the
// methods accept exactly the ranges the configuration file accepts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/item.h"

namespace virk {

using MethodFields = std::vector<std::string>;

// Splits at every ';'. A separator at the very end adds no empty field; eight
// fields get an empty ninth (a device whose last, character-coded field is 0).
MethodFields SplitMethodArgument(const std::string& input);

// Leading blanks, optional sign, digits up to the first non-digit; 0 without digits.
int64_t DecimalField(const std::string& field);
// The code point of the first UTF-8 character; 0 for an empty field.
uint32_t CharacterCodedField(const std::string& field);

// Fields a message of the kind carries (field 1; a channel's type is field 3);
// 0 for an unknown kind or channel type.
size_t ExpectedFieldCount(const MethodFields& fields);

// Applies the name and settings of fields 2.. to a detached item of the kind
// in field 1, made with default settings. False when the field count does not
// fit the kind or any field is outside its range.
bool ApplyItemFields(CItem& item, const MethodFields& fields);

// The sender's side of the same layout: the item's name and settings as
// fields 2.. of its message (kinds, flags and numbers in decimal,
// character-coded fields as their character, zero as an empty field).
MethodFields ItemSettingsFields(const CItem& item);

// Copies the settings record of `from` into `to`, both of one kind.
bool CopyItemSettings(CItem& to, const CItem& from);

}  // namespace virk
