#include "media/transport.h"

#include "base/numbers.h"
#include "base/speeds.h"
#include "base/timetext.h"

#include <algorithm>

namespace vk {

void Transport::setLength(int length)
{
    m_slider.min = 0;
    m_slider.max = length;
    m_slider.value = 0;
    m_slider.tick = RoundToInt32(double(length) / 100.0);
}

void Transport::setValue(int value)
{
    m_slider.value = std::clamp(value, m_slider.min, std::max(m_slider.min, m_slider.max));
}

void Transport::showPosition(int ms, int frameInterval)
{
    int h = 0, m = 0, s = 0, f = 0;
    SplitMsec(ms, frameInterval, h, m, s, f);
    m_hour = QString::number(h);
    m_minute = QString::number(m);
    m_second = QString::number(s);
    m_frame = QString::number(f);
    m_sliderTip = QString::number(ms);
}

void Transport::chooseRate(int index)
{
    m_rateIndex = index;
    if (index >= 0 && index < SpeedListTexts().size())
        m_rateText = SpeedListTexts().at(index);
}

void Transport::typeRateText(const QString& text)
{
    m_rateText = text;
    m_rateIndex = int(SpeedListTexts().indexOf(text));
}

std::optional<int> Transport::typedPercent() const
{
    try {
        return RoundToInt32(ParseNumber(m_rateText) * 100.0);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

void Transport::pressAt(int xTwips, int yTwips)
{
    m_downX = xTwips;
    m_downY = yTwips;
}

bool Transport::releasedInPlace(int xTwips, int yTwips) const
{
    return xTwips == m_downX && yTwips == m_downY;
}

std::optional<double> Transport::keyStep(Key key, int shift, double frameInterval, double length)
{
    const bool mod = (shift & (Shift::Shift | Shift::Ctrl | Shift::Alt)) != 0;
    switch (key) {
    case Key::Comma:
    case Key::Up:
        return mod ? -10.0 * frameInterval : -frameInterval;
    case Key::Period:
    case Key::Down:
        return mod ? 10.0 * frameInterval : frameInterval;
    case Key::N:
    case Key::Left:
        return mod ? -length / 30.0 : -length / 100.0;
    case Key::M:
    case Key::Right:
        return mod ? length / 30.0 : length / 100.0;
    default:
        return std::nullopt;
    }
}

} // namespace vk
