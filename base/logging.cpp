#include "base/logging.h"

namespace vk {

Q_LOGGING_CATEGORY(lcPlayer, "videokadro.player")
Q_LOGGING_CATEGORY(lcEdit, "videokadro.edit")

void LogPassedOver(const QLoggingCategory& (*category)(), const char* doing, const std::exception& e)
{
    qCWarning(category, "%s: %s", doing, e.what());
}

} // namespace vk
