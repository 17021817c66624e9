#include "base/userdialogs.h"

#include <QFileInfo>

namespace vk {

bool ConfirmOverwrite(UserDialogs& ui, const QString& path)
{
    if (!QFileInfo::exists(path))
        return true;
    return ui.askYesNo(path + QStringLiteral("\r\n") + QStringLiteral("は既に存在します。上書きしますか？"),
                       UserDialogs::Icon::Warning);
}

} // namespace vk
