#include "app/shotanalysissetup.h"

#include "app/frmvid.h"
#include "media/analysis/shotworker.h"
#include "media/videopanel.h"

#include <QPointer>

namespace vk {

void ConnectShotAnalysis(VideoPanel& panel, frmVid& window, ShotWorker& worker)
{
    QPointer<frmVid> shown(&window);
    QObject::connect(&panel, &VideoPanel::movieLoaded, &worker, [shown, &worker](const QString& path) {
        if (shown)
            shown->showShotsComing();
        worker.start({path});
    });
    QObject::connect(&worker, &ShotWorker::progress, &window,
                     [&window](quint64, double fraction) { window.showShotProgress(fraction); });
    QPointer<VideoPanel> alive(&panel);
    QObject::connect(&worker, &ShotWorker::fileFinished, &window,
                     [alive, &window](quint64, int, const QString& path, const ShotAnalysis& a, bool) {
                         // The analysis of a file no longer in the panel is not shown.
                         if (!alive || path != alive->fileText())
                             return;
                         alive->setShotBoundaries(a.boundaryMs());
                         window.showShots(a);
                     });
    QObject::connect(&window, &frmVid::stillShown, &worker, [&worker] { worker.cancel(); });
}

} // namespace vk
