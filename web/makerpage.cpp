#include "web/makerpage.h"

#include "base/version.h"
#include "base/userdialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <exception>

namespace vk {

namespace {

bool DefaultOpener(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

UrlOpener& CurrentOpener()
{
    static UrlOpener opener = DefaultOpener;
    return opener;
}

} // namespace

QString MakerPageUrl(const QString& path)
{
    return QLatin1String(kMakerSiteBase) + path + QStringLiteral("?app=") + QStringLiteral("videokadro") +
           QStringLiteral("&ver=") + VersionText() + QStringLiteral("&lang=japanese");
}

UrlOpener SetUrlOpener(UrlOpener opener)
{
    UrlOpener previous = CurrentOpener();
    CurrentOpener() = opener ? std::move(opener) : UrlOpener(DefaultOpener);
    return previous;
}

void OpenMakerPage(UserDialogs& ui, const QString& path)
{
    bool opened = false;
    try {
        const QUrl url(MakerPageUrl(path), QUrl::StrictMode);
        opened = url.isValid() && CurrentOpener()(url);
    } catch (const std::exception&) {
        opened = false;
    }
    if (!opened) {
        ui.message(QStringLiteral("アプリケーション上からサポートWebサイトにアクセスできません。") + QStringLiteral("\r\n") +
                       QStringLiteral("ネットワークの状態を確認して下さい。"),
                   UserDialogs::Icon::None);
        return;
    }
    QCoreApplication::processEvents();
}

} // namespace vk
