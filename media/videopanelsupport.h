#pragma once
// Shared by the two source files of the video registration panel (preview, and range
// and registration): its messages, the error rules of its commands and the redraw
// guard. Not for use outside the panel.

#include "base/engineerror.h"
#include "base/keycodes.h"
#include "base/numbers.h"
#include "media/videopanel.h"

#include <QString>
#include <stdexcept>

namespace vk::videopanel {

inline const QString kNoFile = QStringLiteral("入力映像ファイルが指定されていません。");
inline const QString kBadFormat = QStringLiteral("入力ファイル形式が正しくありません。");
inline const QString kNoPicture =
    QStringLiteral("入力ファイル形式が正しくありません。動画または静止画ファイルを指定してください。");
inline const QString kNotFound = QStringLiteral("ファイルが見つかりません。");

// A file that cannot be loaded is named on the line above the reason, so the user
// knows which file it was (a row's registration, a dropped still).
inline QString loadMessage(const QString& path, const QString& reason)
{
    return path + QLatin1Char('\n') + reason;
}
inline const QString kNoSound = QStringLiteral("音声ﾌｧｲﾙが正しく読み込まれていません。");

// Runs one command: a player call that fails, a row without a field it needs or a row that
// does not exist ends it without a message; the steps already done stay done.
template <typename F>
void command(F&& f)
{
    try {
        f();
    } catch (const EngineError&) {
    } catch (const ConversionError&) {
    } catch (const std::out_of_range&) {
    }
}

// One step of play/pause or the seek: a failing player call is skipped.
template <typename F>
void step(F&& f)
{
    try {
        f();
    } catch (const EngineError&) {
    }
}

// Tells the window to redraw once the event is handled, however it ends.
class ChangedOnExit final {
public:
    explicit ChangedOnExit(VideoPanel& panel) : m_panel(panel) {}
    ~ChangedOnExit() { emit m_panel.changed(); }
    ChangedOnExit(const ChangedOnExit&) = delete;
    ChangedOnExit& operator=(const ChangedOnExit&) = delete;

private:
    VideoPanel& m_panel;
};

} // namespace vk::videopanel
