#pragma once
// What the row table commands ask of the video registration panel: a row's speed put
// into its speed box, play or pause, showing a row's video, and registering a still
// image dropped on the table. The video panel implements it; the application attaches
// it to the editor once (Editor::setPanels).

#include <QString>

namespace vk {

class VideoRegistration {
public:
    virtual ~VideoRegistration() = default;

    virtual void setRateText(const QString& text) = 0;
    virtual void PlayPause() = 0;
    virtual void ShowRowVideo(int row) = 0;
    virtual void RegisterDroppedStill(const QString& path) = 0;
};

} // namespace vk
