#include "writer/mp4encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

#include <string>

namespace vk {

namespace {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void releasePicture(void* opaque, uint8_t*)
{
    auto* picture = static_cast<Picture420*>(opaque);
    if (picture->release)
        picture->release(picture->owner);
    delete picture;
}

} // namespace

struct Mp4Encoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* soundFrame = nullptr;
    int width = 0, height = 0;
    long long pictures = 0;
    int64_t samples = 0; // sound samples handed to the encoder

    ~State()
    {
        // A file not finished (a cancel, an error) is closed as it stands:
        // the caller removes it.
        if (format && format->pb)
            avio_closep(&format->pb);
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        av_audio_fifo_free(fifo);
        av_packet_free(&packet);
        av_frame_free(&soundFrame);
        avformat_free_context(format);
    }

    // Everything the encoder has ready goes to the muxer.
    bool drain(AVCodecContext* codec, AVStream* stream, std::string& error)
    {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0) {
                error = "符号化に失敗しました（" + avError(got) + "）。";
                return false;
            }
            if (codec == video && packet->duration == 0)
                packet->duration = 1; // every picture lasts one frame
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format, packet);
            av_packet_unref(packet);
            if (written < 0) {
                error = "ファイルに書き込めません（" + avError(written) + "）。";
                return false;
            }
        }
    }

    bool send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string& error)
    {
        const int sent = avcodec_send_frame(codec, frame);
        if (sent < 0 && sent != AVERROR_EOF) {
            error = "符号化に失敗しました（" + avError(sent) + "）。";
            return false;
        }
        return drain(codec, stream, error);
    }

    // One block of sound from the queue (`count` samples, the encoder's block
    // size or, at the very end, what is left).
    bool encodeSound(int count, std::string& error)
    {
        av_frame_unref(soundFrame);
        soundFrame->nb_samples = count;
        soundFrame->format = sound->sample_fmt;
        soundFrame->sample_rate = sound->sample_rate;
        av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout);
        int ok = av_frame_get_buffer(soundFrame, 0);
        if (ok >= 0)
            ok = av_audio_fifo_read(fifo, reinterpret_cast<void**>(soundFrame->data), count);
        if (ok < 0) {
            error = "音声を用意できません（" + avError(ok) + "）。";
            return false;
        }
        soundFrame->pts = samples;
        samples += count;
        return send(sound, soundStream, soundFrame, error);
    }
};

Mp4Encoder::Mp4Encoder() : m(std::make_unique<State>()) {}

Mp4Encoder::~Mp4Encoder() = default;

long long Mp4Encoder::picturesWritten() const
{
    return m->pictures;
}

bool Mp4Encoder::open(const std::string& path, const OutputSettings& o, std::string& error)
{
    State& s = *m;
    int ok = avformat_alloc_output_context2(&s.format, nullptr, o.muxer.c_str(), path.c_str());
    if (ok < 0 || !s.format) {
        error = "出力形式 " + o.muxer + " がありません。";
        return false;
    }
    const bool globalHeader = (s.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

    const AVCodec* videoCodec = avcodec_find_encoder_by_name(o.videoCodec.c_str());
    const AVCodec* soundCodec = avcodec_find_encoder_by_name(o.audioCodec.c_str());
    if (!videoCodec || !soundCodec) {
        error = "符号化方式 " + (videoCodec ? o.audioCodec : o.videoCodec) + " がありません。";
        return false;
    }
    s.video = avcodec_alloc_context3(videoCodec);
    s.sound = avcodec_alloc_context3(soundCodec);
    s.packet = av_packet_alloc();
    s.soundFrame = av_frame_alloc();
    s.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, o.channels, 4096);
    if (!s.video || !s.sound || !s.packet || !s.soundFrame || !s.fifo) {
        error = "メモリが足りません。";
        return false;
    }

    AVCodecContext* v = s.video;
    s.width = v->width = o.width;
    s.height = v->height = o.height;
    v->time_base = AVRational{o.rate.den, o.rate.num};
    v->framerate = AVRational{o.rate.num, o.rate.den};
    v->sample_aspect_ratio = AVRational{o.sampleAspectNum, o.sampleAspectDen};
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    v->thread_count = 0; // the encoder's own choice
    // The engine's colours (its profile is BT.601, limited range).
    v->color_range = AVCOL_RANGE_MPEG;
    v->colorspace = AVCOL_SPC_SMPTE170M;
    v->color_primaries = AVCOL_PRI_SMPTE170M;
    v->color_trc = AVCOL_TRC_SMPTE170M;
    if (globalHeader)
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* videoOptions = nullptr;
    if (!o.videoPreset.empty())
        av_dict_set(&videoOptions, "preset", o.videoPreset.c_str(), 0);
    if (o.videoCrf >= 0)
        av_dict_set(&videoOptions, "crf", std::to_string(o.videoCrf).c_str(), 0);
    ok = avcodec_open2(v, videoCodec, &videoOptions);
    av_dict_free(&videoOptions);
    if (ok < 0) {
        error = "映像の符号化を開始できません（" + avError(ok) + "）。";
        return false;
    }

    AVCodecContext* a = s.sound;
    a->sample_rate = o.sampleRate;
    a->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&a->ch_layout, o.channels);
    a->bit_rate = int64_t(o.audioKbps) * 1000;
    a->time_base = AVRational{1, o.sampleRate};
    if (globalHeader)
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ok = avcodec_open2(a, soundCodec, nullptr);
    if (ok < 0) {
        error = "音声の符号化を開始できません（" + avError(ok) + "）。";
        return false;
    }

    s.videoStream = avformat_new_stream(s.format, nullptr);
    s.soundStream = avformat_new_stream(s.format, nullptr);
    if (!s.videoStream || !s.soundStream) {
        error = "メモリが足りません。";
        return false;
    }
    avcodec_parameters_from_context(s.videoStream->codecpar, v);
    s.videoStream->time_base = v->time_base;
    s.videoStream->avg_frame_rate = v->framerate;
    s.videoStream->sample_aspect_ratio = v->sample_aspect_ratio;
    avcodec_parameters_from_context(s.soundStream->codecpar, a);
    s.soundStream->time_base = a->time_base;

    ok = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (ok < 0) {
        error = "ファイルを作成できません（" + avError(ok) + "）。";
        return false;
    }
    AVDictionary* muxerOptions = nullptr;
    if (!o.muxerFlags.empty())
        av_dict_set(&muxerOptions, "movflags", o.muxerFlags.c_str(), 0);
    ok = avformat_write_header(s.format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (ok < 0) {
        error = "ファイルを書き始められません（" + avError(ok) + "）。";
        return false;
    }
    return true;
}

bool Mp4Encoder::addPicture(const Picture420& picture, std::string& error)
{
    State& s = *m;
    auto* owned = new Picture420(picture);
    AVFrame* frame = av_frame_alloc();
    // The frame refers to the caller's planes; the buffer's free function
    // hands them back.
    AVBufferRef* buffer = frame ? av_buffer_create(picture.planes[0], size_t(s.width) * s.height * 3 / 2,
                                                   releasePicture, owned, AV_BUFFER_FLAG_READONLY)
                                : nullptr;
    if (!buffer) {
        releasePicture(owned, nullptr);
        av_frame_free(&frame);
        error = "メモリが足りません。";
        return false;
    }
    frame->buf[0] = buffer;
    for (int i = 0; i < 3; ++i) {
        frame->data[i] = picture.planes[i];
        frame->linesize[i] = picture.strides[i];
    }
    frame->width = s.width;
    frame->height = s.height;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->sample_aspect_ratio = s.video->sample_aspect_ratio;
    frame->pts = s.pictures++;
    const bool ok = s.send(s.video, s.videoStream, frame, error);
    av_frame_free(&frame); // the planes go back once the encoder lets go of them
    return ok;
}

bool Mp4Encoder::addSound(const float* const* planes, int samples, std::string& error)
{
    State& s = *m;
    if (samples <= 0)
        return true;
    void* data[AV_NUM_DATA_POINTERS] = {};
    for (int c = 0; c < s.sound->ch_layout.nb_channels && c < AV_NUM_DATA_POINTERS; ++c)
        data[c] = const_cast<float*>(planes[c]);
    const int ok = av_audio_fifo_write(s.fifo, data, samples);
    if (ok < samples) {
        error = "音声を用意できません（" + avError(ok < 0 ? ok : AVERROR(ENOMEM)) + "）。";
        return false;
    }
    const int block = s.sound->frame_size > 0 ? s.sound->frame_size : 1024;
    while (av_audio_fifo_size(s.fifo) >= block)
        if (!s.encodeSound(block, error))
            return false;
    return true;
}

bool Mp4Encoder::finish(std::string& error)
{
    State& s = *m;
    // The last, short block of sound: the encoder pads it for coding, and the
    // file says where the sound really ends.
    if (av_audio_fifo_size(s.fifo) > 0 && !s.encodeSound(av_audio_fifo_size(s.fifo), error))
        return false;
    if (!s.send(s.video, s.videoStream, nullptr, error) || !s.send(s.sound, s.soundStream, nullptr, error))
        return false;
    const int ok = av_write_trailer(s.format);
    const int closed = avio_closep(&s.format->pb);
    if (ok < 0 || closed < 0) {
        error = "ファイルを書き終えられません（" + avError(ok < 0 ? ok : closed) + "）。";
        return false;
    }
    return true;
}

} // namespace vk
