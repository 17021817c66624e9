#pragma once
// Table invariants every edit must keep, small builders for test tables, and the text
// the window shows in a cell.

#include "timeline/editor.h"

#include <gtest/gtest.h>

namespace vk {

// Row 1 starts at 0, every row has a start and starts ascend, and rows without a video
// file carry no registration.
::testing::AssertionResult TableInvariants(const Editor& editor);

// Replaces the table with sections starting at the given ms (the first must be 0).
void MakeSections(Editor& editor, const std::vector<int>& starts, int clipLength, int frameInterval = 33);
// Registers a video span into a row (in and out in ms, interval ms, width, height).
void Register(Editor& editor, int row, const QString& file, int inMsec, int outMsec, int interval = 33, int width = 640,
              int height = 480);

// The text the row table's window shows in a cell of a data row, the section time text
// on sound frames of `soundInterval` ms, the last section ending at `soundLength` ms.
QString CellText(const RowTable& table, int row, int col, int soundInterval, int soundLength);

} // namespace vk
