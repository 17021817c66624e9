#pragma once
// The help menu's web pages (update check, support, ranking) on the maker's site.
//
// Every page goes through OpenMakerPage: the address is the site's base address, the
// page path and a query naming the application, its version and the language, e.g.
//   https://videokadro.example.org/service/servlet/support?app=videokadro&ver=2_0_1&lang=japanese
// It is handed to the desktop's default browser. When the desktop cannot open it, the
// user gets the one message of this area (OK button, no icon) and nothing else happens.
//
// The opener is passed in by the caller (the main window keeps one), so that tests can
// record the address or make the opening fail without starting a browser.

#include <QString>
#include <functional>

class QUrl;

namespace vk {

class UserDialogs;

// Scheme and host of the maker's site, without a trailing "/". The one place it is set.
inline constexpr char kMakerSiteBase[] = "https://videokadro.example.org";

// Hands an address to a browser; false when it could not be opened.
using UrlOpener = std::function<bool(const QUrl& url)>;

// base address + path + "?app=videokadro&ver=" + VersionText() + "&lang=japanese".
QString MakerPageUrl(const QString& path);

// The opener itself, or the desktop's (QDesktopServices::openUrl) when it is empty.
UrlOpener UrlOpenerOrDesktop(UrlOpener opener);

// Opens the page in the browser through `opener` (the desktop's when empty); shows the
// failure message through `ui` when the opener fails. Pending events are processed once afterwards, so the menu closes
// before the browser takes the focus.
void OpenMakerPage(UserDialogs& ui, const UrlOpener& opener, const QString& path);

} // namespace vk
