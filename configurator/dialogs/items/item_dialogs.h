// The setup dialog of an item's kind, filled from the item.
#pragma once

#include <QDialog>
#include <memory>

#include "common/item.h"

std::unique_ptr<QDialog> CreateItemDialog(virk::CItem* item, QWidget* parent);
