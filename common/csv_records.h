// Record-line parsers: each fills a new, detached item of its kind from the
// fields of one line (field 0 is the empty keyword column) or throws one of the
// CImportException family. Names are checked for uniqueness under `parent`.
#pragma once

#include "csv_text.h"
#include "item.h"

namespace virk {

void ParseChannelRecord(long line, const Fields& fields, const CItem& parent, CChannelBase& channel);
void ParseDeviceRecord(long line, const Fields& fields, const CItem& parent, CDeviceBase& device);
void ParseGroupRecord(long line, const Fields& fields, const CItem& parent, CGroupBase& group);
void ParseTagRecord(long line, const Fields& fields, const CItem& parent, CTagBase& tag);

}  // namespace virk
