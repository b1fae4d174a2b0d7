// Naming of new, added and pasted items: names are unique among siblings, and
// a clash is resolved by counting up the trailing number of the name.
#pragma once

#include <string>

#include "common/item.h"

// "Tag_9" -> "Tag_10", "Tag" -> "Tag1".
std::string IncrementTrailingNumber(const std::string& name);

// The name itself when no child of `parent` has it, else the first free name
// reached by counting up its trailing number.
std::string UniqueChildName(const virk::CItem& parent, std::string name);

// The name of a new item or of the next tag of a series: its trailing number
// counted up at least once, then further while a child of `parent` has it.
std::string NextFreeName(const virk::CItem& parent, const std::string& name);

// Appends "_Copy1" unless the name already carries a copy suffix.
std::string WithCopySuffix(const std::string& name);
