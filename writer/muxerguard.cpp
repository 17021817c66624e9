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
// (MP4 files are written by the writer's own encoder, writer/mp4encoder.cpp,
// which never hands over an empty packet and ends the sound with the pictures
// itself.)

extern "C" {
#include <libavformat/avformat.h>
}

#include <dlfcn.h>

namespace {

using WriteFrame = int (*)(AVFormatContext*, AVPacket*);

WriteFrame libraryWriteFrame()
{
    static const WriteFrame next = reinterpret_cast<WriteFrame>(dlsym(RTLD_NEXT, "av_interleaved_write_frame"));
    return next;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int av_interleaved_write_frame(AVFormatContext* s, AVPacket* pkt)
{
    if (pkt && pkt->size == 0 && pkt->side_data_elems == 0)
        return 0; // nothing to store: an empty chunk would only upset decoders
    const WriteFrame next = libraryWriteFrame();
    return next ? next(s, pkt) : AVERROR(ENOSYS);
}
