// The time text and number conversions of the row table: the input is read as two
// 32-bit values and a cell text.

#include "base/timetext.h"
#include "base/numbers.h"
#include "fuzz/fuzzsupport.h"

#include <QString>

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vk;
    int32_t ms = 0;
    int32_t interval = 0;
    double value = 0;
    if (size >= 8) {
        std::memcpy(&ms, data, 4);
        std::memcpy(&interval, data + 4, 4);
    }
    if (size >= 16)
        std::memcpy(&value, data + 8, 8);
    const size_t skip = size >= 16 ? 16 : size >= 8 ? 8 : 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + skip), qsizetype(size - skip));

    try {
        const QString t = MsecToTimeText(ms, interval);
        // A time under 100 hours with frames of 10 ms or more (two digits per field) reads
        // back within one frame.
        if (ms >= 0 && interval >= 10 && ms < 100 * 3600000) {
            const int back = TimeTextToMsec(t, interval);
            if (back > ms || ms - back >= interval)
                fuzz::fail("a time text does not read back to its time");
        }
    } catch (const ConversionError&) {
    }
    try {
        TimeTextToMsec(text, interval);
    } catch (const ConversionError&) {
    }
    try {
        int h = 0, m = 0, s = 0, f = 0;
        SplitMsec(ms, interval, h, m, s, f);
    } catch (const ConversionError&) {
    }
    try {
        ParseNumber(text);
    } catch (const ConversionError&) {
    }
    int out = 0;
    bool ok = TryParseInt32(text, out);
    try {
        if (ParseInt32(text) != out || !ok)
            fuzz::fail("ParseInt32 and TryParseInt32 disagree");
    } catch (const ConversionError&) {
        if (ok)
            fuzz::fail("ParseInt32 and TryParseInt32 disagree");
    }
    try {
        RoundToInt32(value);
    } catch (const ConversionError&) {
    }
    if (std::isfinite(value)) {
        RoundTo3(value);
        const QString d = ShortestDecimal(value);
        if (d.isEmpty())
            fuzz::fail("ShortestDecimal gave no text");
    }
    return 0;
}
