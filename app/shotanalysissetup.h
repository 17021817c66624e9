#pragma once
// The shots of the movies the video panel loads: each movie loaded is analysed in the
// background (or read from the cache), and a newer load cancels the analysis before it.
// The boundaries go to the panel (for ｼｮｯﾄに吸着 and the D/F jumps), the analysis'
// progress and then the shots to the filmstrip of the panel's window; a still in the
// panel cancels the analysis of the movie before it.

namespace vk {

class ShotWorker;
class VideoPanel;
class frmVid;

// Connects `worker` to the panel and its window; all three outlive the connections.
void ConnectShotAnalysis(VideoPanel& panel, frmVid& window, ShotWorker& worker);

} // namespace vk
