#pragma once
// The playback speed lists of the sound and video panels.

#include <QStringList>

namespace vk {

// Speed list index 0..17 to percent (50 .. 200); any other index gives 0.
int RateIndexToPercent(int index);
// The 18 speed texts "0.5" .. "2.0" of the speed lists.
const QStringList& SpeedListTexts();

} // namespace vk
