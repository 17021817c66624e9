// Keeps empty packets away from the file muxers.
//
// When the engine's file writer (the avformat consumer) finishes, it drains
// its sound encoder one last time and hands whatever came back to the muxer,
// even when nothing came back: an empty packet without timestamps. The muxers
// complain about its timestamps, and the AVI muxer stores it as a zero-length
// sound chunk at the end of the file, which decoders then reject ("Invalid
// argument"), although no sample is missing.
//
// This program therefore defines the muxer entry point the consumer calls.
// The executable's definition comes first in the symbol search, so the
// consumer's calls land here; empty packets that carry nothing at all are
// dropped, everything else (including the final flush with no packet) goes on
// to the library's own function. The symbol is exported from the executable
// by its link options (writer/CMakeLists.txt).
//
// The same place cuts an MP4's sound at the end of the pictures. The engine
// hands the sound encoder whole blocks (1024 samples for AAC) and fills the
// last one with silence, so the encoder counts the silence as sound and the
// file says its sound lasts up to 21 ms longer than the pictures - more than
// a frame at 59.94 and 60 fps. The MP4 muxer takes the length of the last
// sample from the packet's duration (its edit list ends there), so the last
// sound packet's duration is cut to end with the pictures; its data is
// unchanged. Packets that would start after the end carry only that silence
// and are left out.

extern "C" {
#include <libavformat/avformat.h>
}

#include "writer/muxerguard.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <dlfcn.h>

namespace {

using WriteFrame = int (*)(AVFormatContext*, AVPacket*);

WriteFrame libraryWriteFrame()
{
    static const WriteFrame next = reinterpret_cast<WriteFrame>(dlsym(RTLD_NEXT, "av_interleaved_write_frame"));
    return next;
}

std::atomic<double> g_soundEnd{0};

bool isMp4Family(const AVFormatContext* s)
{
    const char* name = s && s->oformat ? s->oformat->name : nullptr;
    return name && (std::strcmp(name, "mp4") == 0 || std::strcmp(name, "mov") == 0);
}

} // namespace

void vk::limitMp4SoundEnd(double seconds)
{
    g_soundEnd.store(seconds);
}

extern "C" __attribute__((visibility("default"))) int av_interleaved_write_frame(AVFormatContext* s, AVPacket* pkt)
{
    if (pkt && pkt->size == 0 && pkt->side_data_elems == 0)
        return 0; // nothing to store: an empty chunk would only upset decoders
    const double end = g_soundEnd.load();
    if (pkt && end > 0 && pkt->pts != AV_NOPTS_VALUE && pkt->duration > 0 &&
        unsigned(pkt->stream_index) < s->nb_streams &&
        s->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && isMp4Family(s)) {
        const AVRational tb = s->streams[pkt->stream_index]->time_base;
        const int64_t limit = std::llround(end * tb.den / tb.num);
        if (pkt->pts >= limit)
            return 0;
        if (pkt->pts + pkt->duration > limit)
            pkt->duration = limit - pkt->pts;
    }
    const WriteFrame next = libraryWriteFrame();
    return next ? next(s, pkt) : AVERROR(ENOSYS);
}
