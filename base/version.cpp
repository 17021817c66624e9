#include "base/version.h"

#include "base/versionnumbers.h"

namespace vk {

QString VersionText()
{
    return QStringLiteral("%1_%2_%3").arg(VK_VERSION_MAJOR).arg(VK_VERSION_MINOR).arg(VK_VERSION_REVISION);
}

} // namespace vk
