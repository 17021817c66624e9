#pragma once
// The text the row table shows in a cell of a data row, made from the row's fields:
// the section start as time text truncated to the sound's frames (empty when the time
// text cannot hold it) and in ms, the video points as time text in the video's frames,
// the frame interval, the speed ("0.5x" as the span and the section give it, "等速"),
// the effect and its length, the media size. Column 0 shows no text, only the marker
// colour.

#include "timeline/rowtable.h"

#include <QString>

namespace vk {

// A cell of `row` of the table; `soundInterval` is the sound clip's frame interval in ms
// and `soundLength` its length (the end of the last section).
QString RowCellText(const RowTable& table, int row, int col, int soundInterval, int soundLength);

} // namespace vk
