#include "datakit/video.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace datakit {

namespace {

bool Fail(const std::string& path, const char* what) {
    std::fprintf(stderr, "datakit: %s: %s\n", path.c_str(), what);
    return false;
}

// Sends one frame (or the end, with a null frame) and writes every packet the encoder gives back.
bool Encode(AVCodecContext* codec, AVFormatContext* format, AVStream* stream, AVFrame* frame, AVPacket* packet) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    while (true) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
}

}  // namespace

bool WriteAvi(const std::string& path, const AviSpec& spec) {
    if (!spec.draw || spec.width == 0 || spec.height == 0 || spec.width % 2 || spec.height % 2)
        return Fail(path, "the video needs a drawing function and an even size");
    // The JPEG encoder works on full-range YUV, which the scaler names a deprecated format and
    // warns about on every run; only errors are worth a line here.
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "avi", path.c_str()) < 0 || !format)
        return Fail(path, "no AVI muxer");
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVStream* stream = encoder ? avformat_new_stream(format, nullptr) : nullptr;
    AVCodecContext* codec = encoder ? avcodec_alloc_context3(encoder) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* scale = nullptr;
    bool ok = stream && codec && frame && packet;
    if (ok) {
        codec->width = static_cast<int>(spec.width);
        codec->height = static_cast<int>(spec.height);
        codec->time_base = AVRational{1, static_cast<int>(spec.framesPerSecond)};
        codec->framerate = AVRational{static_cast<int>(spec.framesPerSecond), 1};
        codec->pix_fmt = AV_PIX_FMT_YUVJ420P;
        codec->global_quality = FF_QP2LAMBDA * 3;
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(codec, encoder, nullptr) >= 0 && avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
        stream->time_base = codec->time_base;
    }
    if (ok) {
        frame->format = codec->pix_fmt;
        frame->width = codec->width;
        frame->height = codec->height;
        ok = av_frame_get_buffer(frame, 0) >= 0;
        scale = sws_getContext(codec->width, codec->height, AV_PIX_FMT_RGB24, codec->width, codec->height,
                               codec->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
        ok = ok && scale != nullptr;
    }
    ok = ok && avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(format, nullptr) >= 0;
    std::vector<uint8_t> rgb(static_cast<size_t>(spec.width) * spec.height * 3);
    for (uint32_t i = 0; ok && i < spec.frameCount; ++i) {
        spec.draw(i, rgb);
        ok = av_frame_make_writable(frame) >= 0;
        const uint8_t* source[1] = {rgb.data()};
        const int stride[1] = {static_cast<int>(spec.width * 3)};
        if (ok) sws_scale(scale, source, stride, 0, codec->height, frame->data, frame->linesize);
        frame->pts = i;
        ok = ok && Encode(codec, format, stream, frame, packet);
    }
    ok = ok && Encode(codec, format, stream, nullptr, packet);
    if (ok) ok = av_write_trailer(format) >= 0;
    if (format->pb) avio_closep(&format->pb);
    sws_freeContext(scale);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_free_context(format);
    return ok || Fail(path, "the video could not be encoded");
}

}  // namespace datakit
