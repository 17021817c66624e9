#include "app/ui.h"

#include <QFileInfo>

namespace vk {

bool ConfirmOverwrite(Ui& ui, const QString& path)
{
    if (!QFileInfo::exists(path))
        return true;
    return ui.askYesNo(path + QStringLiteral("\r\n") + QStringLiteral("は既に存在します。上書きしますか？"),
                       Ui::Icon::Warning);
}

} // namespace vk
