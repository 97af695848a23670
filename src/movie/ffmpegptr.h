#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace lv::ff {

// One owner per libav type, so no path can leak a handle.
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// An output context with its file: closes the file, then frees the context.
struct OutputFree {
    void operator()(AVFormatContext* f) const
    {
        if (f->pb && !(f->oformat->flags & AVFMT_NOFILE))
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct InputFree {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFree>;
using InputPtr = std::unique_ptr<AVFormatContext, InputFree>;

} // namespace lv::ff
