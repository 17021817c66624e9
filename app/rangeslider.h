#pragma once
// The track bar of both panels' windows: a horizontal slider that hands its keys and
// clicks to the panel behind it and draws the panel's marked range over its groove.
// Positions go out in twips from the slider's left edge, as the panels count.
//
// Two click rules: PassThrough gives every press and release to the panel first and
// lets the slider handle them as usual; ClickToPosition (left button only) holds a press
// off the thumb back from the slider, so the release positions the value instead of the
// slider's page step, while a press on the thumb drags it.

#include "base/keycodes.h"

#include <QSlider>
#include <functional>

class QStyleOptionSlider;

namespace vk {

class RangeSlider final : public QSlider {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RangeSlider)

public:
    enum class ClickRule { PassThrough, ClickToPosition };

    // A key with a code: true when the panel took it (the slider then ignores it).
    std::function<bool(Key, int shift)> onKey;
    // Press and release at (x, y) in twips; the release also gives the slider's width.
    std::function<void(int xTwips, int yTwips)> onMouseDown;
    std::function<void(int xTwips, int yTwips, int widthTwips)> onMouseUp;

    // The marked range drawn over the groove, asked for at every paint (none drawn
    // when not shown or empty, or without a provider).
    struct Marks {
        bool shown = false;
        int start = 0;
        int length = 0;
    };
    std::function<Marks()> marks;

    explicit RangeSlider(ClickRule rule, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;

private:
    void styleOption(QStyleOptionSlider& opt) const;
    void paintMarks();
    bool mouseEvent(QMouseEvent* event, bool press);

    ClickRule m_rule;
    bool m_pressOnGroove = false;
};

} // namespace vk
