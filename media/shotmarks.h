#pragma once
// The shots of the movie in the video panel, as the panel moves by them: the starts of
// its shots but the first (ms, in order), whether Z and X snap to them
// ("ショットに吸着": within 3 frames of a boundary, the boundary's first frame), and the
// boundary before or after a position (D and F). A boundary's first frame is at the
// first whole ms at or after it, the slider value that shows it.

#include <optional>
#include <vector>

namespace vk {

class ShotMarks final {
public:
    // The starts of the shots but the first, in any order.
    void setBoundaries(std::vector<double> boundariesMs);
    void clear() { m_boundaries.clear(); }
    const std::vector<double>& boundaries() const { return m_boundaries; }

    void setSnap(bool on) { m_snap = on; }
    bool snap() const { return m_snap; }

    // The boundary Z or X would snap to from `value`, on frames of `frameInterval` ms;
    // nothing when none is near (whether snapping is on or not).
    std::optional<int> snapTarget(int value, int frameInterval) const;
    // The last boundary before `value`; the movie's start when there is none.
    int previous(int value) const;
    // The first boundary after `value`; nothing when there is none.
    std::optional<int> next(int value) const;

private:
    std::vector<double> m_boundaries;
    bool m_snap = false;
};

} // namespace vk
