#pragma once
// The transport shared by the sound clip panel and the video registration panel: the
// slider (range, value, tick and the marked range), the speed box (list entry or typed
// speed), the position read-out (hours, minutes, seconds, frames and the slider's tool
// tip), the click-to-position press and the steps of the cursor keys. It holds values
// only; each panel drives its own player with them.

#include "base/keycodes.h"

#include <QString>
#include <optional>

namespace vk {

class Transport final {
public:
    // The track bar in milliseconds, with the marked range (video panel only).
    struct Slider {
        int min = 0;
        int max = 100;
        int value = 0;
        int tick = 1;
        int selStart = 0;
        int selLength = 0;
        bool selShown = false;
        int selEnd() const { return selStart + selLength; }
    };

    // ---- slider -------------------------------------------------------------------
    const Slider& slider() const { return m_slider; }
    Slider& slider() { return m_slider; }
    // A clip of `length` ms: range 0..length at 0, a tick per hundredth.
    void setLength(int length);
    // Values before the start or past the end stay on the slider's range.
    void setValue(int value);

    // ---- position read-out --------------------------------------------------------
    // The four fields and the tool tip for `ms` at `frameInterval` ms per frame.
    void showPosition(int ms, int frameInterval);
    const QString& hourText() const { return m_hour; }
    const QString& minuteText() const { return m_minute; }
    const QString& secondText() const { return m_second; }
    const QString& frameText() const { return m_frame; }
    const QString& sliderToolTip() const { return m_sliderTip; }

    // ---- speed box ----------------------------------------------------------------
    // The chosen list index (-1 when the text was typed) and the box's text.
    int rateIndex() const { return m_rateIndex; }
    const QString& rateText() const { return m_rateText; }
    // A list entry chosen: its index and text (an index off the list keeps the text).
    void chooseRate(int index);
    // Text typed into the box (its list index when it is one of the entries).
    void typeRateText(const QString& text);
    // The typed speed in percent; none when the text is not a number.
    std::optional<int> typedPercent() const;

    // ---- click-to-position --------------------------------------------------------
    void pressAt(int xTwips, int yTwips);
    // True when the release is where the press was (a click, not a drag).
    bool releasedInPlace(int xTwips, int yTwips) const;

    // ---- keys -----------------------------------------------------------------------
    // The move of a stepping key (comma/period and up/down a frame, ten with a
    // modifier; N/M and left/right a hundredth of the length, a thirtieth with a
    // modifier); none for any other key.
    static std::optional<double> keyStep(Key key, int shift, double frameInterval, double length);

private:
    Slider m_slider;
    QString m_hour, m_minute, m_second, m_frame, m_sliderTip;
    int m_rateIndex = 6;
    QString m_rateText = QStringLiteral("1.0");
    int m_downX = -1;
    int m_downY = -1;
};

} // namespace vk
