// A small configuration for the window tests: two channels, one device with
// two groups, tags at registers 9, 10 and 100 in the first group.
#pragma once

#include <QString>

#include "common/item.h"

void BuildSample(virk::CTreeItemRoot& root);
// Writes the sample as plain CSV to `path`; false when it cannot.
bool WriteSample(const QString& path);
