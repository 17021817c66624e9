#include "writer/transitionstyle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace vk {

namespace {

struct ClsidRow {
    const char* clsid; // upper case, without braces
    TransitionStyle style;
};

constexpr ClsidRow kClsids[] = {
    {"16B280C5-EE70-11D1-9066-00C04FD9189D", TransitionStyle::Fade},
    {"C3BDF740-0B58-11D2-A484-00C04F8EFB69", TransitionStyle::Barn},
    {"00C429C0-0BA9-11D2-A484-00C04F8EFB69", TransitionStyle::Blinds},
    {"107045D1-06E0-11D2-8D6D-00C04F8EF8E0", TransitionStyle::Burn},
    {"93073C40-0BA5-11D2-A484-00C04F8EFB69", TransitionStyle::Inset},
    {"3F69F351-0379-11D2-A484-00C04F8EFB69", TransitionStyle::Iris},
    {"4CCEA634-FBE0-11D1-906A-00C04FD9189D", TransitionStyle::Pixelate},
    {"424B71AF-0695-11D2-A484-00C04F8EFB69", TransitionStyle::RadialWipe},
    {"810E402F-056B-11D2-A484-00C04F8EFB69", TransitionStyle::Slide},
    {"ACA97E00-0C7D-11D2-A484-00C04F8EFB69", TransitionStyle::Spiral},
    {"7658F2A2-0A83-11D2-A484-00C04F8EFB69", TransitionStyle::Stretch},
    {"5AE1DAE0-1461-11D2-A484-00C04F8EFB69", TransitionStyle::Wheel},
    {"AF279B30-86EB-11D1-81BF-0000F87557DB", TransitionStyle::Wipe},
    {"E6E73D20-0C8A-11D2-A484-00C04F8EFB69", TransitionStyle::Zigzag},
};

constexpr double kPi = 3.14159265358979323846;

// Order of the cells of a cols x rows grid walked as a square spiral from the
// outer ring inwards, clockwise from the top-left corner.
std::vector<int> spiralOrder(int cols, int rows)
{
    std::vector<int> order(size_t(cols) * rows, 0);
    int top = 0, left = 0, bottom = rows - 1, right = cols - 1, n = 0;
    while (top <= bottom && left <= right) {
        for (int x = left; x <= right; ++x)
            order[size_t(top) * cols + x] = n++;
        for (int y = top + 1; y <= bottom; ++y)
            order[size_t(y) * cols + right] = n++;
        if (top < bottom)
            for (int x = right - 1; x >= left; --x)
                order[size_t(bottom) * cols + x] = n++;
        if (left < right)
            for (int y = bottom - 1; y > top; --y)
                order[size_t(y) * cols + left] = n++;
        ++top;
        ++left;
        --bottom;
        --right;
    }
    return order;
}

} // namespace

TransitionStyle transitionStyleForClsid(const std::string& clsid)
{
    std::string key;
    for (char c : clsid)
        if (c != '{' && c != '}' && !std::isspace(static_cast<unsigned char>(c)))
            key += char(std::toupper(static_cast<unsigned char>(c)));
    for (const ClsidRow& row : kClsids)
        if (key == row.clsid)
            return row.style;
    return TransitionStyle::Fade;
}

const char* transitionStyleName(TransitionStyle style)
{
    switch (style) {
    case TransitionStyle::Fade:
        return "fade";
    case TransitionStyle::Barn:
        return "barn";
    case TransitionStyle::Blinds:
        return "blinds";
    case TransitionStyle::Burn:
        return "burn";
    case TransitionStyle::Inset:
        return "inset";
    case TransitionStyle::Iris:
        return "iris";
    case TransitionStyle::Pixelate:
        return "pixelate";
    case TransitionStyle::RadialWipe:
        return "radial";
    case TransitionStyle::Slide:
        return "slide";
    case TransitionStyle::Spiral:
        return "spiral";
    case TransitionStyle::Stretch:
        return "stretch";
    case TransitionStyle::Wheel:
        return "wheel";
    case TransitionStyle::Wipe:
        return "wipe";
    case TransitionStyle::Zigzag:
        return "zigzag";
    }
    return "fade";
}

bool usesLumaMap(TransitionStyle style)
{
    switch (style) {
    case TransitionStyle::Barn:
    case TransitionStyle::Blinds:
    case TransitionStyle::Inset:
    case TransitionStyle::Iris:
    case TransitionStyle::RadialWipe:
    case TransitionStyle::Spiral:
    case TransitionStyle::Wheel:
    case TransitionStyle::Wipe:
    case TransitionStyle::Zigzag:
        return true;
    default:
        return false;
    }
}

std::string lumaMapFileName(TransitionStyle style)
{
    return std::string("vk-") + transitionStyleName(style) + ".pgm";
}

std::vector<unsigned char> lumaMap(TransitionStyle style, int width, int height)
{
    const int w = std::max(1, width), h = std::max(1, height);
    std::vector<unsigned char> map(size_t(w) * h, 0);
    // Grid used by the cell-based patterns (spiral, zigzag).
    const int cols = 8, rows = 6;
    const std::vector<int> spiral = spiralOrder(cols, rows);
    const double aspect = double(w) / h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double u = (x + 0.5) / w, v = (y + 0.5) / h;
            const double dx = (u - 0.5) * aspect, dy = v - 0.5;
            double t = 0; // progress at which this pixel flips, 0..1
            switch (style) {
            case TransitionStyle::Wipe: // bar from the left edge
                t = u;
                break;
            case TransitionStyle::Barn: // doors opening from the vertical centre line
                t = std::fabs(u - 0.5) * 2;
                break;
            case TransitionStyle::Blinds: { // ten horizontal slats opening downwards
                const double slats = 10;
                t = v * slats - std::floor(v * slats);
                break;
            }
            case TransitionStyle::Inset: // box growing from the top-left corner
                t = std::max(u, v);
                break;
            case TransitionStyle::Iris: { // circle opening from the centre
                const double maxR = std::sqrt(0.25 * aspect * aspect + 0.25);
                t = std::sqrt(dx * dx + dy * dy) / maxR;
                break;
            }
            case TransitionStyle::RadialWipe: { // clock hand from twelve, clockwise
                double a = std::atan2(dx, -dy); // 0 at twelve, growing clockwise
                if (a < 0)
                    a += 2 * kPi;
                t = a / (2 * kPi);
                break;
            }
            case TransitionStyle::Wheel: { // four spokes sweeping round
                double a = std::atan2(dx, -dy);
                if (a < 0)
                    a += 2 * kPi;
                const double spokes = 4;
                const double s = a * spokes / (2 * kPi);
                t = s - std::floor(s);
                break;
            }
            case TransitionStyle::Spiral: { // cells revealed along a square spiral
                const int cx = std::min(cols - 1, x * cols / w), cy = std::min(rows - 1, y * rows / h);
                t = (spiral[size_t(cy) * cols + cx] + 0.5) / (cols * rows);
                break;
            }
            case TransitionStyle::Zigzag: { // a snake running along the rows, turning at each edge
                const int cy = std::min(rows - 1, y * rows / h);
                const double along = (cy % 2 == 0) ? u : 1 - u;
                t = (cy + along) / rows;
                break;
            }
            default:
                t = 0.5;
                break;
            }
            const double scaled = std::clamp(t, 0.0, 1.0) * 255.0;
            map[size_t(y) * w + x] = static_cast<unsigned char>(std::lround(scaled));
        }
    }
    return map;
}

bool writeLumaMap(TransitionStyle style, int width, int height, const std::string& path)
{
    const std::vector<unsigned char> map = lumaMap(style, width, height);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P5\n%d %d\n255\n", std::max(1, width), std::max(1, height));
    const bool ok = std::fwrite(map.data(), 1, map.size(), f) == map.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace vk
