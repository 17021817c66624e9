#include "writer/numbertext.h"

#include <charconv>

namespace vk {

std::string numberText(double value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 10);
    return std::string(buf, r.ptr);
}

std::string fixedText(double value, int decimals)
{
    // 330 characters hold the largest double written out in full, with its decimals.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return numberText(value);
    return std::string(buf, r.ptr);
}

bool parseNumberText(std::string_view text, double& out)
{
    // from_chars takes no "+" of its own.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    double v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    out = v;
    return true;
}

} // namespace vk
