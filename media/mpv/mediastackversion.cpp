#include "media/mpv/mediastackversion.h"

#include <mpv/client.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <clocale>

namespace vk {

namespace {

constexpr int kStackVersion = 0x900;

bool playerStarts()
{
    if ((mpv_client_api_version() >> 16) < 1)
        return false;
    std::setlocale(LC_NUMERIC, "C");
    mpv_handle* mpv = mpv_create();
    if (!mpv)
        return false;
    mpv_set_option_string(mpv, "config", "no");
    mpv_set_option_string(mpv, "terminal", "no");
    mpv_set_option_string(mpv, "vo", "null");
    mpv_set_option_string(mpv, "ao", "null");
    const bool ok = mpv_initialize(mpv) >= 0;
    mpv_terminate_destroy(mpv);
    return ok;
}

bool containersReadable()
{
    return avformat_version() > 0 && av_find_input_format("wav") && av_find_input_format("mov");
}

} // namespace

int DirectXProbe()
{
    return containersReadable() && playerStarts() ? kStackVersion : 0;
}

} // namespace vk
