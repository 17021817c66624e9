#include "app/rowtabletext.h"

#include "base/numbers.h"
#include "base/timetext.h"

namespace vk {

namespace {
// Time text of a point on frames of `interval` ms; empty for none or for a time the
// time text cannot hold.
QString timeText(std::optional<int> ms, int interval)
{
    if (!ms)
        return QString();
    try {
        return MsecToTimeText(*ms, interval);
    } catch (const ConversionError&) {
        return QString();
    }
}

QString number(std::optional<int> value)
{
    return value ? QString::number(*value) : QString();
}
} // namespace

QString RowCellText(const RowTable& table, int rowIndex, int col, int soundInterval, int soundLength)
{
    const Row& row = table.row(rowIndex);
    switch (col) {
    case Col::SectionText:
        return timeText(row.start, soundInterval);
    case Col::VideoFile:
        return row.videoFile;
    case Col::InPoint:
        return timeText(row.inPoint, row.frameInterval.value_or(-1));
    case Col::OutPoint:
        return timeText(row.outPoint, row.frameInterval.value_or(-1));
    case Col::SectionMsec:
        return number(row.start);
    case Col::VideoInterval:
        return number(row.frameInterval);
    case Col::Speed:
        return table.speedText(rowIndex, soundLength);
    case Col::Effect:
        return row.effect;
    case Col::TransMsec:
        return row.effectLength ? ShortestDecimal(*row.effectLength) : QString();
    case Col::Width:
        return row.mediaSize ? QString::number(row.mediaSize->width) : QString();
    case Col::Height:
        return row.mediaSize ? QString::number(row.mediaSize->height) : QString();
    default:
        return QString();
    }
}

} // namespace vk
