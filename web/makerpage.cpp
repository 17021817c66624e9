#include "web/makerpage.h"

#include "base/userdialogs.h"
#include "base/version.h"

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
} // namespace

QString MakerPageUrl(const QString& path)
{
    return QLatin1String(kMakerSiteBase) + path + QStringLiteral("?app=") + QStringLiteral("videokadro") +
           QStringLiteral("&ver=") + VersionText() + QStringLiteral("&lang=japanese");
}

UrlOpener UrlOpenerOrDesktop(UrlOpener opener)
{
    return opener ? std::move(opener) : UrlOpener(DefaultOpener);
}

void OpenMakerPage(UserDialogs& ui, const UrlOpener& opener, const QString& path)
{
    bool opened = false;
    try {
        const QUrl url(MakerPageUrl(path), QUrl::StrictMode);
        opened = url.isValid() && (opener ? opener(url) : DefaultOpener(url));
    } catch (const std::exception&) {
        opened = false;
    }
    if (!opened) {
        ui.message(QStringLiteral("アプリケーション上からサポートWebサイトにアクセスできません。") +
                       QStringLiteral("\r\n") + QStringLiteral("ネットワークの状態を確認して下さい。"),
                   UserDialogs::Icon::None);
        return;
    }
    QCoreApplication::processEvents();
}

} // namespace vk
