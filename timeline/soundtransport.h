#pragma once
// What the row table commands ask of the sound clip panel: read and pause the sound
// player, stop it, move its slider, play or pause, the main window's key commands,
// loading a sound clip and the speed box's text. The sound clip panel implements it;
// the application attaches it to the editor once (Editor::setPanels), and tests attach
// the real panel on a scripted player or nothing at all.
//
// Player failures surface as EngineError, which the commands catch.

#include "base/keycodes.h"

#include <QString>

namespace vk {

class SoundTransport {
public:
    virtual ~SoundTransport() = default;

    // The sound player's position now, in ms (not the timer's last value).
    virtual int playerPosition() = 0;
    // Pauses the sound player at ms.
    virtual void pausePlayerAt(int ms) = 0;
    // Stops the player where it is and the timer.
    virtual void halt() = 0;
    // Moves the slider to a value (clamped to its range), then seeks.
    virtual void scrollTo(int value) = 0;
    virtual void PlayPause() = 0;
    virtual void MainKeyCommand(Key key, int shift) = 0;
    virtual void SndFileLoad(const QString& path) = 0;
    // The text of the speed box.
    virtual const QString& rateText() const = 0;
};

} // namespace vk
