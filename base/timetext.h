#pragma once
// Time text of the row table and the position fields: "hh:mm:ss:ff", where ff counts
// frames of the clip's frame interval in ms. Conversion errors as in numbers.h.

#include <QString>

namespace vk {

// Splits ms into hours, minutes, seconds and frames of `interval` ms. With interval 0
// the frames value is left as the caller set it.
void SplitMsec(int ms, int interval, int& hours, int& minutes, int& seconds, int& frames);
// "hh:mm:ss:ff" with at least two digits per field.
QString MsecToTimeText(int ms, int interval);
// Reads the fields at fixed positions 1-2, 4-5, 7-8, 10-11; separators are not checked.
int TimeTextToMsec(const QString& text, int interval);

} // namespace vk
