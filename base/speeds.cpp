#include "base/speeds.h"

namespace vk {

int RateIndexToPercent(int index)
{
    static const int percents[18] = {50,  60,  70,  80,  90,  95,  100, 105, 110,
                                     120, 130, 140, 150, 160, 170, 180, 190, 200};
    if (index < 0 || index > 17)
        return 0;
    return percents[index];
}

const QStringList& SpeedListTexts()
{
    static const QStringList texts = {QStringLiteral("0.5"), QStringLiteral("0.6"),  QStringLiteral("0.7"),
                                      QStringLiteral("0.8"), QStringLiteral("0.9"),  QStringLiteral("0.95"),
                                      QStringLiteral("1.0"), QStringLiteral("1.05"), QStringLiteral("1.1"),
                                      QStringLiteral("1.2"), QStringLiteral("1.3"),  QStringLiteral("1.4"),
                                      QStringLiteral("1.5"), QStringLiteral("1.6"),  QStringLiteral("1.7"),
                                      QStringLiteral("1.8"), QStringLiteral("1.9"),  QStringLiteral("2.0")};
    return texts;
}

} // namespace vk
