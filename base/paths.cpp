#include "base/paths.h"

namespace vk {

QString& AddTrailingSeparator(QString& path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace vk
