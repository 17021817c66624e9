#pragma once
// Table invariants every edit must keep, and small builders for test tables.

#include "timeline/editor.h"

#include <gtest/gtest.h>

namespace vk {

// Row 1 starts at 0, starts ascend, column 1 is the time text of column 5, and rows
// without a video file carry no registration cells.
::testing::AssertionResult TableInvariants(const Editor& editor);

// Replaces the table with sections starting at the given ms (the first must be 0).
void MakeSections(Editor& editor, const std::vector<int>& starts, int clipLength, int frameInterval = 33);
// Registers a video span into a row (in and out in ms, interval ms, width, height).
void Register(Editor& editor, int row, const QString& file, int inMsec, int outMsec, int interval = 33, int width = 640,
              int height = 480);

} // namespace vk
