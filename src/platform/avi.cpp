#include "platform/avi.h"

#include <cstdio>
#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

struct AviStream {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int streamIndex = -1;
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};
    int64_t startTime = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    int32_t lastIndex = -1;  // index of the frame held in `frame`, -1 when none
    bool ended = false;      // the decoder has given out every frame since the last seek
};

namespace {

// Frames are sized from the stream; anything larger is refused before a buffer is made for it.
constexpr int32_t kMaxSide = 8192;

void Report(const char* path, const char* fault) { std::fprintf(stderr, "video: %s: %s\n", path, fault); }

int32_t FrameIndexOf(const AviStream& s, int64_t pts) {
    if (pts == AV_NOPTS_VALUE) return s.lastIndex + 1;
    const AVRational perFrame = av_inv_q(s.frameRate);
    return static_cast<int32_t>(av_rescale_q(pts - s.startTime, s.timeBase, perFrame));
}

// The next decoded frame into s.frame; false at the end of the stream or on a decoding fault.
bool DecodeNext(AviStream& s) {
    if (s.ended) return false;
    for (;;) {
        int got = avcodec_receive_frame(s.codec, s.frame);
        if (got == 0) {
            s.lastIndex = FrameIndexOf(s, s.frame->best_effort_timestamp);
            return true;
        }
        if (got != AVERROR(EAGAIN)) {
            s.ended = true;
            return false;
        }
        int read = av_read_frame(s.format, s.packet);
        if (read < 0) {
            avcodec_send_packet(s.codec, nullptr);  // drain what the decoder still holds
            continue;
        }
        if (s.packet->stream_index == s.streamIndex) avcodec_send_packet(s.codec, s.packet);
        av_packet_unref(s.packet);
    }
}

bool SeekTo(AviStream& s, int32_t index) {
    const int64_t ts = s.startTime + av_rescale_q(index, av_inv_q(s.frameRate), s.timeBase);
    if (av_seek_frame(s.format, s.streamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(s.format, s.streamIndex, s.startTime, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(s.codec);
    s.lastIndex = -1;
    s.ended = false;
    return true;
}

}  // namespace

AviStream* OpenAviFile(const char* path, AviStreamInfo* info) {
    // The library's own log would add lines of its own to stderr; faults are reported below, once.
    av_log_set_level(AV_LOG_QUIET);
    AviStream* s = new AviStream;
    const char* fault = nullptr;
    if (avformat_open_input(&s->format, path, nullptr, nullptr) < 0) {
        fault = "cannot be opened as a video";
    } else if (avformat_find_stream_info(s->format, nullptr) < 0 ||
               (s->streamIndex = av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) < 0) {
        fault = "no video stream";
    }
    const AVCodec* decoder = nullptr;
    AVStream* st = nullptr;
    if (!fault) {
        st = s->format->streams[s->streamIndex];
        decoder = avcodec_find_decoder(st->codecpar->codec_id);
        if (!decoder) fault = "no decoder for its video stream";
    }
    if (!fault) {
        s->codec = avcodec_alloc_context3(decoder);
        if (!s->codec || avcodec_parameters_to_context(s->codec, st->codecpar) < 0 ||
            avcodec_open2(s->codec, decoder, nullptr) < 0)
            fault = "its video stream cannot be decoded";
    }
    if (!fault) {
        s->width = st->codecpar->width;
        s->height = st->codecpar->height;
        s->timeBase = st->time_base;
        s->frameRate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        s->startTime = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
        if (s->width <= 0 || s->height <= 0 || s->width > kMaxSide || s->height > kMaxSide)
            fault = "frame size out of range";
        else if (s->frameRate.num <= 0 || s->frameRate.den <= 0 || s->timeBase.num <= 0 || s->timeBase.den <= 0)
            fault = "no frame rate";
    }
    int64_t frames = 0;
    if (!fault) {
        frames = st->nb_frames;
        if (frames <= 0 && st->duration != AV_NOPTS_VALUE)
            frames = av_rescale_q(st->duration, s->timeBase, av_inv_q(s->frameRate));
        if (frames <= 0) fault = "no frames";
        else if (frames > std::numeric_limits<int32_t>::max()) fault = "frame count out of range";
    }
    if (!fault) {
        s->frameCount = static_cast<int32_t>(frames);
        s->scaler = sws_getContext(s->width, s->height, s->codec->pix_fmt, s->width, s->height, AV_PIX_FMT_BGR24,
                                   SWS_POINT, nullptr, nullptr, nullptr);
        s->packet = av_packet_alloc();
        s->frame = av_frame_alloc();
        if (!s->scaler || !s->packet || !s->frame) fault = "its frames cannot be converted";
    }
    if (fault) {
        Report(path, fault);
        CloseAviStream(s);
        return nullptr;
    }
    info->width = s->width;
    info->height = s->height;
    info->frameCount = s->frameCount;
    info->durationMs = av_rescale(s->frameCount, 1000LL * s->frameRate.den, s->frameRate.num);
    return s;
}

bool ReadAviFrame(AviStream* s, int32_t index, uint8_t* out) {
    if (!s || !out || index < 0 || index >= s->frameCount) return false;
    // Backwards, or far enough ahead that a seek is cheaper than decoding every frame between.
    if (index < s->lastIndex || (s->lastIndex >= 0 && index - s->lastIndex > 64) || (s->lastIndex < 0 && s->ended)) {
        if (!SeekTo(*s, index)) return false;
    }
    while (s->lastIndex < index) {
        if (!DecodeNext(*s)) return false;
    }
    if (s->frame->width != s->width || s->frame->height != s->height) return false;
    // Bottom row first: write the rows from the end of the buffer upwards.
    const int stride = s->width * 3;
    uint8_t* planes[4] = {out + static_cast<int64_t>(s->height - 1) * stride, nullptr, nullptr, nullptr};
    int strides[4] = {-stride, 0, 0, 0};
    s->scaler = sws_getCachedContext(s->scaler, s->width, s->height, static_cast<AVPixelFormat>(s->frame->format),
                                     s->width, s->height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!s->scaler) return false;
    return sws_scale(s->scaler, s->frame->data, s->frame->linesize, 0, s->height, planes, strides) == s->height;
}

void CloseAviStream(AviStream* s) {
    if (!s) return;
    sws_freeContext(s->scaler);
    av_frame_free(&s->frame);
    av_packet_free(&s->packet);
    avcodec_free_context(&s->codec);
    avformat_close_input(&s->format);
    delete s;
}
