// The one file of ours that includes FFmpeg's libraries, built into the module vistamaze-ffmpeg.so
// (see FfmpegMovie.h): compressed movies are written and videos read here. FFmpeg's error codes and its
// logging stop here too: every failure leaves as one line of text with the errno value behind it.
#include "output/FfmpegMovie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace vistamaze {
namespace {

// A failure inside the module; converted to VmMovieError at the entry points.
struct Failure {
    int sysError;
    std::string text;
};

std::string AvText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    if (av_strerror(code, text.data(), text.size()) < 0) {
        return "error " + std::to_string(code);
    }
    return text.data();
}

// FFmpeg returns errno values as AVERROR(e), which is -e; its own codes lie far below.
[[noreturn]] void Fail(const std::string& what, int code) {
    throw Failure{code < 0 && code > -4096 ? -code : 0, what + ": " + AvText(code)};
}

void Check(int code, const char* what) {
    if (code < 0) {
        Fail(what, code);
    }
}

struct OutputContextFree {
    void operator()(AVFormatContext* c) const noexcept {
        if (c->pb != nullptr) {
            avio_closep(&c->pb);
        }
        avformat_free_context(c);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* c) const noexcept { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const noexcept { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const noexcept { av_packet_free(&p); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const noexcept { sws_freeContext(s); }
};
struct ResamplerFree {
    void operator()(SwrContext* s) const noexcept { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const noexcept { av_audio_fifo_free(f); }
};
struct DictionaryFree {
    void operator()(AVDictionary* d) const noexcept { av_dict_free(&d); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;

// Options handed to a library call; what the call did not take is left in it.
class Options {
public:
    void Set(const char* key, const std::string& value) {
        AVDictionary* d = dict_.release();
        const int code = av_dict_set(&d, key, value.c_str(), 0);
        dict_.reset(d);
        Check(code, "cannot set an option");
    }
    // For the call: the dictionary it may change, given back afterwards by Keep.
    AVDictionary** Give() {
        raw_ = dict_.release();
        return &raw_;
    }
    void Keep() { dict_.reset(raw_); }

private:
    std::unique_ptr<AVDictionary, DictionaryFree> dict_;
    AVDictionary* raw_ = nullptr;
};

Frame NewFrame() {
    Frame frame(av_frame_alloc());
    if (!frame) {
        throw std::bad_alloc();
    }
    return frame;
}

const AVCodec* FindEncoder(const char* name, const char* kind) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
        throw Failure{0, std::string("this FFmpeg has no ") + kind + " encoder (" + name + ")"};
    }
    return codec;
}

// The supported rate nearest above `rate` (so nothing of the sound is lost), else the highest.
int EncoderRate(const AVCodec* codec, int rate) {
    if (codec->supported_samplerates == nullptr) {
        return rate;
    }
    int above = 0;
    int highest = 0;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
        highest = std::max(highest, *r);
        if (*r >= rate && (above == 0 || *r < above)) {
            above = *r;
        }
    }
    return above != 0 ? above : highest;
}

AVSampleFormat EncoderSampleFormat(const AVCodec* codec) {
    for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) {
            return *f;
        }
    }
    return codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
}

class MovieWriter {
public:
    explicit MovieWriter(const VmMovieRequest& request);
    void AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride);
    void AddSound(const float* samples, std::size_t frames);
    void Finish();

private:
    void OpenVideo(const VmMovieRequest& request);
    void OpenSound(const VmMovieRequest& request);
    AVStream* NewStream(AVCodecContext& codec);
    void Encode(AVCodecContext& codec, AVStream& stream, const AVFrame* frame);
    void EncodeSound(bool all);
    [[nodiscard]] const std::uint8_t* Padded(const std::uint8_t* topRow, std::ptrdiff_t& stride);

    std::unique_ptr<AVFormatContext, OutputContextFree> output_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    int width_ = 0;   // of the pictures handed in
    int height_ = 0;  // of the pictures handed in
    CodecContext video_;
    AVStream* videoStream_ = nullptr;
    std::unique_ptr<SwsContext, ScalerFree> scaler_;
    Frame picture_;
    std::vector<std::uint8_t> padded_;  // a picture with its last column and row repeated
    std::int64_t videoPts_ = 0;
    CodecContext sound_;
    AVStream* soundStream_ = nullptr;
    std::unique_ptr<SwrContext, ResamplerFree> resampler_;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
    Frame converted_;
    Frame soundFrame_;
    int soundChannels_ = 0;  // of the samples handed in
    std::int64_t soundPts_ = 0;
};

MovieWriter::MovieWriter(const VmMovieRequest& request)
    : packet_(av_packet_alloc()), width_(request.width), height_(request.height) {
    if (!packet_) {
        throw std::bad_alloc();
    }
    // The caller checked them for the user; this is the interface's own guard.
    if (request.file == nullptr || request.preset == nullptr || request.width <= 0 || request.height <= 0 ||
        request.frameTime <= 0 || (request.codec != kVmMovieH264 && request.codec != kVmMovieVp9) ||
        request.soundChannels < 0 || request.soundChannels > 8 ||
        (request.soundChannels > 0 && request.soundRate <= 0)) {
        throw Failure{EINVAL, "settings the movie module cannot take"};
    }
    const bool h264 = request.codec == kVmMovieH264;
    // Named as a file outright: a name that begins like "x:" would be taken for a protocol.
    const std::string url = std::string("file:") + request.file;
    AVFormatContext* raw = nullptr;
    Check(avformat_alloc_output_context2(&raw, nullptr, h264 ? "mp4" : "webm", url.c_str()),
          "cannot start the movie");
    output_.reset(raw);
    OpenVideo(request);
    if (request.soundChannels > 0) {
        OpenSound(request);
    }
    Check(avio_open(&output_->pb, url.c_str(), AVIO_FLAG_WRITE), "cannot create the work file");
    Options mux;
    if (h264) {
        // The index goes in front when the movie is complete, so that players start at once.
        mux.Set("movflags", "+faststart");
    }
    const int code = avformat_write_header(output_.get(), mux.Give());
    mux.Keep();
    Check(code, "cannot write the movie's header");
}

AVStream* MovieWriter::NewStream(AVCodecContext& codec) {
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (stream == nullptr) {
        throw std::bad_alloc();
    }
    Check(avcodec_parameters_from_context(stream->codecpar, &codec), "cannot describe a stream");
    stream->time_base = codec.time_base;
    return stream;
}

void MovieWriter::OpenVideo(const VmMovieRequest& request) {
    const bool h264 = request.codec == kVmMovieH264;
    const AVCodec* codec = h264 ? FindEncoder("libx264", "H.264") : FindEncoder("libvpx-vp9", "VP9");
    video_.reset(avcodec_alloc_context3(codec));
    if (!video_) {
        throw std::bad_alloc();
    }
    AVCodecContext& c = *video_;
    // H.264 in 4:2:0 takes only even sizes: an odd picture gets its last column or row once more.
    c.width = h264 ? (request.width + 1) / 2 * 2 : request.width;
    c.height = h264 ? (request.height + 1) / 2 * 2 : request.height;
    const bool exact = request.rateNum > 0 && request.rateDen > 0;
    c.time_base = exact ? AVRational{request.rateDen, request.rateNum} : AVRational{request.frameTime, 1000};
    c.framerate = AVRational{c.time_base.den, c.time_base.num};
    c.sample_aspect_ratio = AVRational{1, 1};
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    // The pictures are sRGB, whose primaries are BT.709's: the matrix below is BT.709's in the
    // limited range, and the stream says so.
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_BT709;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    Options options;
    options.Set("crf", std::to_string(request.crf));
    if (h264) {
        options.Set("preset", request.preset);
        // Every frame is encoded as it comes, in two slices on two threads: without the lookahead,
        // the B-frames and the frame threads the presets ask for, x264 holds about 50 MB at 1080p
        // instead of 150 to 230, and the program's other threads keep the cores busy meanwhile.
        // Stereograms are noise to an encoder: B-frames and the small intra partitions hardly pay
        // on them, and CAVLC codes their many bits in three quarters of CABAC's time. For the
        // default movie the encoder takes 60 % of the time for 16.9 MB instead of 14.7.
        options.Set("rc-lookahead", "0");
        options.Set("partitions", "none");
        options.Set("coder", "cavlc");
        options.Set("x264-params", "sliced-threads=1");
        c.max_b_frames = 0;
        c.thread_count = 2;
    } else {
        // Constant quality: no bit rate aimed at.
        c.bit_rate = 0;
        const bool realtime = std::strcmp(request.preset, "realtime") == 0;
        options.Set("deadline", realtime ? "realtime" : "good");
        options.Set("cpu-used", realtime ? "8" : "4");
        options.Set("row-mt", "1");
        options.Set("lag-in-frames", "0");
    }
    const int code = avcodec_open2(&c, codec, options.Give());
    options.Keep();
    Check(code, h264 ? "cannot start the H.264 encoder" : "cannot start the VP9 encoder");
    videoStream_ = NewStream(c);
    videoStream_->avg_frame_rate = c.framerate;

    scaler_.reset(sws_getContext(c.width, c.height, AV_PIX_FMT_BGR24, c.width, c.height, AV_PIX_FMT_YUV420P,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr,
                                 nullptr));
    if (!scaler_) {
        throw Failure{0, "cannot set up the colour conversion"};
    }
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    Check(sws_setColorspaceDetails(scaler_.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16),
          "cannot set up the colour conversion");
    picture_ = NewFrame();
    picture_->format = c.pix_fmt;
    picture_->width = c.width;
    picture_->height = c.height;
    Check(av_frame_get_buffer(picture_.get(), 0), "cannot hold a frame");
}

void MovieWriter::OpenSound(const VmMovieRequest& request) {
    const bool aac = request.codec == kVmMovieH264;
    const AVCodec* codec = aac ? FindEncoder("aac", "AAC") : FindEncoder("libopus", "Opus");
    sound_.reset(avcodec_alloc_context3(codec));
    if (!sound_) {
        throw std::bad_alloc();
    }
    AVCodecContext& c = *sound_;
    soundChannels_ = request.soundChannels;
    const int channels = request.soundChannels == 1 ? 1 : 2;
    av_channel_layout_default(&c.ch_layout, channels);
    c.sample_rate = EncoderRate(codec, request.soundRate);
    c.sample_fmt = EncoderSampleFormat(codec);
    c.bit_rate = 96000 * channels;
    c.time_base = AVRational{1, c.sample_rate};
    if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    Check(avcodec_open2(&c, codec, nullptr),
          aac ? "cannot start the AAC encoder" : "cannot start the Opus encoder");
    soundStream_ = NewStream(c);

    // More than two channels are mixed down to stereo by their usual layout.
    AVChannelLayout in{};
    av_channel_layout_default(&in, request.soundChannels);
    SwrContext* raw = nullptr;
    const int code = swr_alloc_set_opts2(&raw, &c.ch_layout, c.sample_fmt, c.sample_rate, &in,
                                         AV_SAMPLE_FMT_FLT, request.soundRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    resampler_.reset(raw);
    Check(code, "cannot set up the sound conversion");
    Check(swr_init(resampler_.get()), "cannot set up the sound conversion");
    const int frameSize = c.frame_size > 0 ? c.frame_size : 1024;
    fifo_.reset(av_audio_fifo_alloc(c.sample_fmt, channels, frameSize));
    if (!fifo_) {
        throw std::bad_alloc();
    }
    converted_ = NewFrame();
    soundFrame_ = NewFrame();
}

void MovieWriter::Encode(AVCodecContext& codec, AVStream& stream, const AVFrame* frame) {
    Check(avcodec_send_frame(&codec, frame), "cannot encode the movie");
    for (;;) {
        const int code = avcodec_receive_packet(&codec, packet_.get());
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
            return;
        }
        Check(code, "cannot encode the movie");
        packet_->stream_index = stream.index;
        av_packet_rescale_ts(packet_.get(), codec.time_base, stream.time_base);
        Check(av_interleaved_write_frame(output_.get(), packet_.get()), "cannot write the work file");
    }
}

const std::uint8_t* MovieWriter::Padded(const std::uint8_t* topRow, std::ptrdiff_t& stride) {
    const int width = video_->width;
    const int height = video_->height;
    if (width == width_ && height == height_) {
        return topRow;
    }
    const auto rowBytes = static_cast<std::size_t>(width) * 3;
    padded_.resize(rowBytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = topRow + std::min(y, height_ - 1) * stride;
        std::uint8_t* to = padded_.data() + static_cast<std::size_t>(y) * rowBytes;
        std::memcpy(to, from, static_cast<std::size_t>(width_) * 3);
        if (width != width_) {
            std::memcpy(to + rowBytes - 3, from + (static_cast<std::size_t>(width_) - 1) * 3, 3);
        }
    }
    stride = static_cast<std::ptrdiff_t>(rowBytes);
    return padded_.data();
}

void MovieWriter::AddFrame(const std::uint8_t* topRow, std::ptrdiff_t stride) {
    const std::uint8_t* source = Padded(topRow, stride);
    const auto lineSize = static_cast<int>(stride);
    Check(av_frame_make_writable(picture_.get()), "cannot hold a frame");
    sws_scale(scaler_.get(), &source, &lineSize, 0, video_->height, picture_->data, picture_->linesize);
    picture_->pts = videoPts_++;
    Encode(*video_, *videoStream_, picture_.get());
}

void MovieWriter::AddSound(const float* samples, std::size_t frames) {
    if (!sound_) {
        throw Failure{0, "the movie has no sound track"};
    }
    constexpr std::size_t kStep = std::size_t{1} << 16;
    for (std::size_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min(frames - done, kStep));
        const int room = swr_get_out_samples(resampler_.get(), count);
        Check(room, "cannot convert the sound");
        av_frame_unref(converted_.get());
        converted_->format = sound_->sample_fmt;
        converted_->nb_samples = std::max(room, 1);
        Check(av_channel_layout_copy(&converted_->ch_layout, &sound_->ch_layout), "cannot convert the sound");
        Check(av_frame_get_buffer(converted_.get(), 0), "cannot convert the sound");
        const auto* in =
            reinterpret_cast<const std::uint8_t*>(samples + done * static_cast<std::size_t>(soundChannels_));
        const int made = swr_convert(resampler_.get(), converted_->data, converted_->nb_samples, &in, count);
        Check(made, "cannot convert the sound");
        Check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted_->data), made),
              "cannot convert the sound");
        done += static_cast<std::size_t>(count);
        EncodeSound(false);
    }
}

// Encodes whole encoder frames from the queue; `all`: also the last, shorter one.
void MovieWriter::EncodeSound(bool all) {
    const int frameSize = sound_->frame_size > 0 ? sound_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize || (all && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int count = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        av_frame_unref(soundFrame_.get());
        soundFrame_->format = sound_->sample_fmt;
        soundFrame_->nb_samples = count;
        soundFrame_->sample_rate = sound_->sample_rate;
        Check(av_channel_layout_copy(&soundFrame_->ch_layout, &sound_->ch_layout), "cannot encode the sound");
        Check(av_frame_get_buffer(soundFrame_.get(), 0), "cannot encode the sound");
        Check(av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(soundFrame_->data), count),
              "cannot encode the sound");
        soundFrame_->pts = soundPts_;
        soundPts_ += count;
        Encode(*sound_, *soundStream_, soundFrame_.get());
    }
}

void MovieWriter::Finish() {
    Encode(*video_, *videoStream_, nullptr);
    if (sound_) {
        // What the resampler still holds, then the encoder's own delay.
        for (;;) {
            av_frame_unref(converted_.get());
            converted_->format = sound_->sample_fmt;
            converted_->nb_samples = 4096;
            Check(av_channel_layout_copy(&converted_->ch_layout, &sound_->ch_layout),
                  "cannot convert the sound");
            Check(av_frame_get_buffer(converted_.get(), 0), "cannot convert the sound");
            const int made =
                swr_convert(resampler_.get(), converted_->data, converted_->nb_samples, nullptr, 0);
            Check(made, "cannot convert the sound");
            if (made == 0) {
                break;
            }
            Check(av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted_->data), made),
                  "cannot convert the sound");
        }
        EncodeSound(true);
        Encode(*sound_, *soundStream_, nullptr);
    }
    Check(av_write_trailer(output_.get()), "cannot complete the work file");
    Check(avio_closep(&output_->pb), "cannot complete the work file");
}

struct InputContextFree {
    void operator()(AVFormatContext* c) const noexcept { avformat_close_input(&c); }
};

// Grey or colour pictures: not hardware surfaces, not raw sensor (Bayer) data, not formats the
// scaler cannot take.
bool GreyOrColour(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && d->nb_components > 0 &&
           (d->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER)) == 0 &&
           sws_isSupportedInput(format) > 0;
}

bool Grey(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && d->nb_components <= 2 &&
           (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0;
}

// One stream of a file, demuxed and decoded on its own: the sound and the frames of a video are
// read through two of these, so that either can be read whole first.
class StreamDecoder {
public:
    StreamDecoder(const char* file, AVMediaType type) : packet_(av_packet_alloc()), frame_(NewFrame()) {
        if (!packet_) {
            throw std::bad_alloc();
        }
        const std::string url = std::string("file:") + file;
        // Files only, also for what the file names (playlists, references): the helper that reads
        // it may not open connections anyway, and should not be seen trying.
        Options options;
        options.Set("protocol_whitelist", "file");
        AVFormatContext* raw = nullptr;
        const int code = avformat_open_input(&raw, url.c_str(), nullptr, options.Give());
        options.Keep();
        Check(code, "cannot open it");
        input_.reset(raw);
        Check(avformat_find_stream_info(input_.get(), nullptr), "cannot read its streams");
        const AVCodec* codec = nullptr;
        index_ = av_find_best_stream(input_.get(), type, -1, -1, &codec, 0);
        if (index_ < 0) {
            return;
        }
        const AVCodecParameters& parameters = *input_->streams[index_]->codecpar;
        const char* kind = type == AVMEDIA_TYPE_VIDEO ? "its video" : "its sound track";
        if (codec == nullptr) {
            throw Failure{0, std::string(kind) + " is in a format this FFmpeg cannot decode"};
        }
        decoder_.reset(avcodec_alloc_context3(codec));
        if (!decoder_) {
            throw std::bad_alloc();
        }
        Check(avcodec_parameters_to_context(decoder_.get(), &parameters), "cannot read its streams");
        decoder_->thread_count = 2;
        Check(avcodec_open2(decoder_.get(), codec, nullptr),
              type == AVMEDIA_TYPE_VIDEO ? "cannot decode its video" : "cannot decode its sound track");
    }

    [[nodiscard]] bool Found() const noexcept { return index_ >= 0; }
    [[nodiscard]] const AVStream& Stream() const noexcept { return *input_->streams[index_]; }
    [[nodiscard]] const AVCodecContext& Decoder() const noexcept { return *decoder_; }

    // The next decoded frame, or null after the last. Valid until the next call.
    const AVFrame* Next(const char* what) {
        for (;;) {
            const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (received == 0) {
                return frame_.get();
            }
            if (received == AVERROR_EOF) {
                return nullptr;
            }
            if (received != AVERROR(EAGAIN)) {
                Fail(what, received);
            }
            if (flushed_) {
                return nullptr;
            }
            const int read = av_read_frame(input_.get(), packet_.get());
            if (read == AVERROR_EOF) {
                flushed_ = true;
                Check(avcodec_send_packet(decoder_.get(), nullptr), what);
                continue;
            }
            Check(read, "cannot read the file");
            if (packet_->stream_index == index_) {
                const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
                av_packet_unref(packet_.get());
                Check(sent, what);
            } else {
                av_packet_unref(packet_.get());
            }
        }
    }

private:
    std::unique_ptr<AVFormatContext, InputContextFree> input_;
    CodecContext decoder_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    Frame frame_;
    int index_ = -1;
    bool flushed_ = false;
};

class VideoReader {
public:
    VideoReader(const char* file, bool withSound, VmVideoFacts& facts);
    int NextFrame(std::uint8_t* pixels, std::ptrdiff_t stride);
    long long NextSound(float* samples, std::size_t maxFrames);

private:
    void OpenSound();

    std::string file_;
    VmVideoFacts facts_{};
    StreamDecoder video_;
    std::unique_ptr<SwsContext, ScalerFree> scaler_;
    std::unique_ptr<StreamDecoder> sound_;
    std::unique_ptr<SwrContext, ResamplerFree> resampler_;
    int inChannels_ = 0;  // of the frames the resampler takes
    int inFormat_ = -1;
    std::vector<float> pending_;  // converted samples not yet handed out
    std::size_t pendingDone_ = 0;
    bool soundEnded_ = false;
};

VideoReader::VideoReader(const char* file, bool withSound, VmVideoFacts& facts)
    : file_(file), video_(file, AVMEDIA_TYPE_VIDEO) {
    if (!video_.Found()) {
        throw Failure{0, "it holds no video stream"};
    }
    const AVCodecContext& d = video_.Decoder();
    if (d.width <= 0 || d.height <= 0) {
        throw Failure{0, "its video has no frame size"};
    }
    if (!GreyOrColour(d.pix_fmt)) {
        const char* name = av_get_pix_fmt_name(d.pix_fmt);
        throw Failure{0, std::string("its pixel format ") + (name != nullptr ? name : "(none)") +
                             " is neither grey nor colour"};
    }
    const AVStream& stream = video_.Stream();
    AVRational rate = stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0 ? stream.avg_frame_rate
                                                                                     : stream.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = AVRational{0, 0};
    }
    facts_.width = d.width;
    facts_.height = d.height;
    facts_.rateNum = rate.num;
    facts_.rateDen = rate.den;
    facts_.frames = std::max<long long>(stream.nb_frames, 0);
    facts_.grey = Grey(d.pix_fmt) ? 1 : 0;
    if (withSound) {
        OpenSound();
    }
    facts = facts_;
}

void VideoReader::OpenSound() {
    auto sound = std::make_unique<StreamDecoder>(file_.c_str(), AVMEDIA_TYPE_AUDIO);
    if (!sound->Found()) {
        return;
    }
    const AVCodecContext& d = sound->Decoder();
    if (d.ch_layout.nb_channels <= 0 || d.sample_rate <= 0) {
        throw Failure{0, "its sound track has no sample format"};
    }
    // More than two channels are mixed down to stereo, as the movie writers would: a WAV file of
    // more needs the extensible format, which not every AVI player takes.
    facts_.soundChannels = std::min(d.ch_layout.nb_channels, 2);
    facts_.soundRate = d.sample_rate;
    sound_ = std::move(sound);
}

int VideoReader::NextFrame(std::uint8_t* pixels, std::ptrdiff_t stride) {
    const AVFrame* frame = video_.Next("cannot decode a frame");
    if (frame == nullptr) {
        return 0;
    }
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (!GreyOrColour(format)) {
        throw Failure{0, "a frame's pixel format is neither grey nor colour"};
    }
    const AVPixelFormat to = facts_.grey != 0 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGR24;
    scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height, format, facts_.width,
                                       facts_.height, to, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) {
        throw Failure{0, "cannot convert a frame"};
    }
    std::uint8_t* planes[4] = {pixels, nullptr, nullptr, nullptr};
    const int lines[4] = {static_cast<int>(stride), 0, 0, 0};
    if (sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, planes, lines) <= 0) {
        throw Failure{0, "cannot convert a frame"};
    }
    return 1;
}

long long VideoReader::NextSound(float* samples, std::size_t maxFrames) {
    const auto channels = static_cast<std::size_t>(facts_.soundChannels);
    while (pendingDone_ == pending_.size() && sound_ && !soundEnded_) {
        const AVFrame* frame = sound_->Next("cannot decode the sound track");
        if (frame == nullptr) {
            soundEnded_ = true;
            break;
        }
        // The resampler is set up for the first frame; a later one must match it, or it would read
        // planes the frame does not have.
        if (frame->sample_rate != facts_.soundRate ||
            (resampler_ && (frame->ch_layout.nb_channels != inChannels_ || frame->format != inFormat_))) {
            throw Failure{0, "its sound track changes its sample format"};
        }
        if (!resampler_) {
            AVChannelLayout out{};
            av_channel_layout_default(&out, facts_.soundChannels);
            AVChannelLayout in{};
            int code = av_channel_layout_copy(&in, &frame->ch_layout);
            SwrContext* raw = nullptr;
            if (code >= 0) {
                code = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_FLT, facts_.soundRate, &in,
                                           static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                           nullptr);
            }
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&out);
            resampler_.reset(raw);
            Check(code, "cannot convert the sound track");
            Check(swr_init(resampler_.get()), "cannot convert the sound track");
            inChannels_ = frame->ch_layout.nb_channels;
            inFormat_ = frame->format;
        }
        const int room = swr_get_out_samples(resampler_.get(), frame->nb_samples);
        Check(room, "cannot convert the sound track");
        pending_.resize(static_cast<std::size_t>(room) * channels);
        auto* out = reinterpret_cast<std::uint8_t*>(pending_.data());
        const int made =
            swr_convert(resampler_.get(), &out, room, const_cast<const std::uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        Check(made, "cannot convert the sound track");
        pending_.resize(static_cast<std::size_t>(made) * channels);
        pendingDone_ = 0;
    }
    const std::size_t count =
        std::min(maxFrames, (pending_.size() - pendingDone_) / std::max<std::size_t>(channels, 1));
    std::copy_n(pending_.data() + pendingDone_, count * channels, samples);
    pendingDone_ += count * channels;
    return static_cast<long long>(count);
}

void Report(VmMovieError* error, int sysError, const std::string& text) {
    if (error == nullptr) {
        return;
    }
    error->sysError = sysError;
    std::snprintf(error->text, sizeof error->text, "%s", text.c_str());
}

// Runs `work`, turning what it throws into `error`; returns 0 or -1.
template <typename Work>
int Guarded(VmMovieError* error, Work&& work) noexcept {
    try {
        work();
        return 0;
    } catch (const Failure& f) {
        Report(error, f.sysError, f.text);
    } catch (const std::bad_alloc&) {
        Report(error, ENOMEM, "not enough memory");
    } catch (const std::exception& e) {
        Report(error, 0, e.what());
    } catch (...) {
        Report(error, 0, "an unknown failure");
    }
    return -1;
}

void* Open(const VmMovieRequest* request, VmMovieError* error) {
    std::unique_ptr<MovieWriter> movie;
    Guarded(error, [&] { movie = std::make_unique<MovieWriter>(*request); });
    return movie.release();
}

int AddFrame(void* movie, const std::uint8_t* topRow, std::ptrdiff_t stride, VmMovieError* error) {
    return Guarded(error, [&] { static_cast<MovieWriter*>(movie)->AddFrame(topRow, stride); });
}

int AddSound(void* movie, const float* samples, std::size_t frames, VmMovieError* error) {
    return Guarded(error, [&] { static_cast<MovieWriter*>(movie)->AddSound(samples, frames); });
}

int Finish(void* movie, VmMovieError* error) {
    return Guarded(error, [&] { static_cast<MovieWriter*>(movie)->Finish(); });
}

void Close(void* movie) {
    // The handle is the one Open released.
    std::unique_ptr<MovieWriter> owned(static_cast<MovieWriter*>(movie));
}

void* OpenVideo(const char* file, int withSound, VmVideoFacts* facts, VmMovieError* error) {
    std::unique_ptr<VideoReader> video;
    Guarded(error, [&] {
        if (file == nullptr || facts == nullptr) {
            throw Failure{EINVAL, "no file to read"};
        }
        video = std::make_unique<VideoReader>(file, withSound != 0, *facts);
    });
    return video.release();
}

int NextFrame(void* video, std::uint8_t* pixels, std::ptrdiff_t stride, VmMovieError* error) {
    int got = -1;
    const int code =
        Guarded(error, [&] { got = static_cast<VideoReader*>(video)->NextFrame(pixels, stride); });
    return code < 0 ? code : got;
}

long long NextSound(void* video, float* samples, std::size_t maxFrames, VmMovieError* error) {
    long long got = -1;
    const int code =
        Guarded(error, [&] { got = static_cast<VideoReader*>(video)->NextSound(samples, maxFrames); });
    return code < 0 ? code : got;
}

void CloseVideo(void* video) {
    // The handle is the one OpenVideo released.
    std::unique_ptr<VideoReader> owned(static_cast<VideoReader*>(video));
}

constexpr VmMovieModule kModule{kFfmpegMovieAbi, Open,      AddFrame,  AddSound,  Finish,
                                Close,           OpenVideo, NextFrame, NextSound, CloseVideo};

}  // namespace
}  // namespace vistamaze

extern "C" __attribute__((visibility("default"))) const VmMovieModule* VistamazeFfmpegMovie() {
    // The programs' output is their own: FFmpeg's notes would only interleave with it, and every
    // failure is reported through the calls' errors.
    av_log_set_level(AV_LOG_QUIET);
    return &vistamaze::kModule;
}
