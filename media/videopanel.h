#pragma once
// The video registration panel: loads one video or still into the video player,
// previews it, keeps a range on its slider and registers spans into the row table.
//
// (This header is extended by the panel's implementation; the methods below are the
// ones the row table commands rely on.)

#include <QObject>
#include <QString>

namespace vk {

class Editor;
class MediaPlayerEngine;

class VideoPanel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoPanel)

public:
    VideoPanel(Editor& editor, MediaPlayerEngine& player, QObject* parent = nullptr);
    ~VideoPanel() override;

    // Row selection: loads the row's video (column 2) at its in point with the range set
    // to its in..out points and "選択=…ms"; a still shows the still controls.
    void ShowRowVideo(int row);
    // A still image dropped on the row table: load it and register it into the selected row.
    void RegisterDroppedStill(const QString& path);
    // Puts a speed into the speed box as text (takes effect on Enter).
    void setRateText(const QString& text);
    // The play/pause action of the panel.
    void PlayPause();

signals:
    void changed();

private:
    Editor& m_editor;
    MediaPlayerEngine& m_player;
};

} // namespace vk
