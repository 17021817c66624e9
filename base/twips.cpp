#include "base/twips.h"

#include <cmath>

namespace vk {

int PixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

int TwipsToPixels(int twips)
{
    return int(std::lround(double(twips) / kTwipsPerPixel));
}

} // namespace vk
