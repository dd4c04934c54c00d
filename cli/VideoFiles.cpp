// Reading and writing movies with libavformat, libavcodec and libswscale.
#include "VideoFiles.h"

#include "CliError.h"
#include "ImageFiles.h"
#include "Paths.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <vector>

namespace {

// Extensions read as movies: the image library's movie reader claims the first ten, and it is never asked.
constexpr std::array<const char*, 22> MOVIE_EXTENSIONS = {
    ".avi", ".mov", ".qt",  ".mp4",  ".m4a", ".3gp", ".3g2", ".mj2", ".m4v", ".mpg",  ".mpeg",
    ".mkv", ".webm", ".mxf", ".ts", ".mts", ".m2ts", ".flv", ".wmv", ".ogv", ".nut", ".dv"};

// Quality of H.264 and H.265 when --crf is not given: visually lossless for most footage.
constexpr int DEFAULT_X264_CRF = 18;
constexpr int DEFAULT_VP9_CRF = 31;
// Colour conversion: exact rounding, and chroma interpolated at full resolution.
constexpr int SWS_FLAGS = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
// Pictures at least this tall without a colour matrix are taken as HD (BT.709), smaller ones as SD (BT.601).
constexpr int HD_HEIGHT = 720;

// FFmpeg's own messages go nowhere (they would break the one-line errors); the last error is kept to say
// why a call failed.
std::mutex g_log_mutex;
std::string g_last_log_error;

void KeepLastError(void*, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[512];
    std::vsnprintf(line, sizeof(line), format, args);
    std::string text = line;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_last_log_error = text;
}

void QuietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(KeepLastError); });
}

std::string TakeLastLogError()
{
    std::lock_guard<std::mutex> lock(g_log_mutex);
    std::string text;
    text.swap(g_last_log_error);
    return text;
}

// "cannot write out.mp4: Invalid argument (width not divisible by 2)"
[[noreturn]] void Fail(const std::string& what, int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof(text));
    const std::string detail = TakeLastLogError();
    throw CliError(what + ": " + text + (detail.empty() ? "" : " (" + detail + ")"));
}

void Check(int code, const std::string& what)
{
    if (code < 0) {
        Fail(what, code);
    }
}

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

PacketPtr NewPacket()
{
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw std::bad_alloc();
    }
    return packet;
}

FramePtr NewFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        throw std::bad_alloc();
    }
    return frame;
}

// The full-range ("J") formats are the plain ones with full range; the converter wants the plain ones.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& full_range)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        full_range = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        full_range = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        full_range = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        full_range = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        full_range = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

bool IsYuv(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

bool HasAlpha(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

int BitsOf(AVPixelFormat format)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d ? d->comp[0].depth : 8;
}

// The matrix a YUV picture was made with; unspecified ones by the picture's height, as players guess.
AVColorSpace MatrixOf(AVColorSpace tagged, int height)
{
    if (tagged != AVCOL_SPC_UNSPECIFIED && tagged != AVCOL_SPC_RESERVED && tagged != AVCOL_SPC_RGB) {
        return tagged;
    }
    return height >= HD_HEIGHT ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

// Packed R, G, B, A of 8 or 16 bits (native order) between the converter and the host's worlds.
AVPixelFormat PackedFormat(bool deep)
{
    return deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
}

// Seconds of `ticks` units of `base`, as the host reads a time: one division of the two integers.
double Seconds(std::int64_t ticks, AVRational base)
{
    return static_cast<double>(ticks * base.num) / static_cast<double>(base.den);
}

// A presentation time as the host's time: exact in the stream's own units when they fit its 32-bit fields
// (so a frame's time reads back as the same double), else the nearest the command line's clock gives.
HostTime HostTimeOf(std::int64_t ticks, std::int64_t duration, AVRational base)
{
    std::int64_t time = ticks * base.num;
    std::int64_t scale = base.den;
    std::int64_t step = std::max<std::int64_t>(1, duration * base.num);
    const std::int64_t common = std::gcd(std::gcd(time, scale), step);
    if (common > 1) {
        time /= common;
        scale /= common;
        step /= common;
    }
    const std::int64_t most = std::numeric_limits<A_long>::max();
    if (time >= -most && time <= most && scale > 0 && scale <= most && step <= most) {
        return HostTime{static_cast<A_long>(time), static_cast<A_long>(step), static_cast<A_u_long>(scale)};
    }
    return TimeAt(FrameClock{}, Seconds(ticks, base));
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string CodecName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264:
        return "H.264";
    case AV_CODEC_ID_HEVC:
        return "H.265";
    case AV_CODEC_ID_PRORES:
        return "ProRes";
    case AV_CODEC_ID_FFV1:
        return "FFV1";
    default:
        return Upper(avcodec_get_name(id));
    }
}

const char* MediaName(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_AUDIO:
        return "audio";
    case AVMEDIA_TYPE_SUBTITLE:
        return "subtitle";
    case AVMEDIA_TYPE_VIDEO:
        return "video";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "attachment";
    default:
        return "data";
    }
}

// The encoder people mean by a codec's name: the library's best one for the formats we write.
const AVCodec* EncoderFor(AVCodecID id)
{
    const char* preferred = id == AV_CODEC_ID_H264     ? "libx264"
                            : id == AV_CODEC_ID_HEVC   ? "libx265"
                            : id == AV_CODEC_ID_PRORES ? "prores_ks"
                            : id == AV_CODEC_ID_VP9    ? "libvpx-vp9"
                            : id == AV_CODEC_ID_VP8    ? "libvpx"
                                                       : nullptr;
    const AVCodec* codec = preferred ? avcodec_find_encoder_by_name(preferred) : nullptr;
    return codec ? codec : avcodec_find_encoder(id);
}

// --codec: an alias or any of the library's video encoders.
const AVCodec* EncoderNamed(const std::string& name)
{
    static const std::map<std::string, AVCodecID> ALIASES = {
        {"h264", AV_CODEC_ID_H264}, {"h.264", AV_CODEC_ID_H264}, {"avc", AV_CODEC_ID_H264},
        {"h265", AV_CODEC_ID_HEVC}, {"hevc", AV_CODEC_ID_HEVC},   {"prores", AV_CODEC_ID_PRORES},
        {"ffv1", AV_CODEC_ID_FFV1}, {"vp9", AV_CODEC_ID_VP9}};
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto alias = ALIASES.find(lower);
    const AVCodec* codec = alias != ALIASES.end() ? EncoderFor(alias->second) : avcodec_find_encoder_by_name(name.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        throw CliError("--codec " + Quoted(name) + ": no such video encoder; give h264, h265, prores, ffv1, vp9 or an "
                       "encoder that ffmpeg -encoders lists");
    }
    return codec;
}

// The container's usual codec for rendered frames: H.264 for delivery, ProRes or FFV1 for deep or
// transparent masters where the container is their home.
const AVCodec* DefaultEncoder(const std::string& extension, bool deep, bool alpha)
{
    AVCodecID id = AV_CODEC_ID_NONE;
    if (extension == ".mp4" || extension == ".m4v" || extension == ".3gp") {
        id = AV_CODEC_ID_H264;
    } else if (extension == ".mov" || extension == ".qt") {
        id = deep || alpha ? AV_CODEC_ID_PRORES : AV_CODEC_ID_H264;
    } else if (extension == ".mkv") {
        id = deep || alpha ? AV_CODEC_ID_FFV1 : AV_CODEC_ID_H264;
    } else if (extension == ".avi" || extension == ".nut") {
        id = AV_CODEC_ID_FFV1;
    } else if (extension == ".webm") {
        id = AV_CODEC_ID_VP9;
    }
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : EncoderFor(id);
    if (!codec) {
        throw CliError("no default video codec for " + Quoted(extension) +
                       " files: choose one with --codec, or write .mp4, .mov or .mkv");
    }
    return codec;
}

bool Lossless(const AVCodec* codec)
{
    const AVCodecDescriptor* d = avcodec_descriptor_get(codec->id);
    return d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY);
}

// The encoded pixel format: a lossless codec keeps the rendered RGB exactly; a lossy one keeps the source's
// format where it can, else takes the usual one for the depth (4:2:0 8-bit, 4:2:2 10-bit).
AVPixelFormat ChoosePixelFormat(const AVCodec* codec, AVPixelFormat source, bool deep, bool alpha)
{
    const AVPixelFormat* list = codec->pix_fmts;
    AVPixelFormat target = AV_PIX_FMT_NONE;
    if (Lossless(codec)) {
        target = deep ? (alpha ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGB48) : (alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
    } else {
        for (const AVPixelFormat* format = list; format && *format != AV_PIX_FMT_NONE; ++format) {
            if (*format == source) {
                return source;
            }
        }
        target = deep ? (alpha ? AV_PIX_FMT_YUVA444P16 : AV_PIX_FMT_YUV422P10)
                      : (alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P);
    }
    if (!list) {
        return target;
    }
    return avcodec_find_best_pix_fmt_of_list(list, target, alpha, nullptr);
}

}   // namespace

bool IsMovieFile(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    return std::find(MOVIE_EXTENSIONS.begin(), MOVIE_EXTENSIONS.end(), extension) != MOVIE_EXTENSIONS.end();
}

std::string VideoLibraryVersions()
{
    const auto version = [](unsigned v) {
        return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
               std::to_string(AV_VERSION_MICRO(v));
    };
    return std::string("FFmpeg ") + av_version_info() + " (libavformat " + version(avformat_version()) +
           ", libavcodec " + version(avcodec_version()) + ", libswscale " + version(swscale_version()) + ")";
}

// ---- reading ----

struct IndexEntry {
    std::int64_t pts;
    std::int64_t duration;
};

struct MovieReader::Impl {
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    SwsContext* converter = nullptr;
    int video = -1;
    AVStream* stream = nullptr;
    std::vector<IndexEntry> index;   // every frame's presentation time, in presentation order
    PacketPtr packet = NewPacket();
    FramePtr frame = NewFrame();
    std::vector<std::uint8_t> packed;
    bool flushing = false;
    long next = 0;
    int width = 0, height = 0;
    MovieWriter::Impl* copy_to = nullptr;

    ~Impl()
    {
        sws_freeContext(converter);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }

    void Open(AVFormatContext*& context) const
    {
        QuietLibraries();
        Check(avformat_open_input(&context, path.c_str(), nullptr, nullptr), "cannot read " + path);
        Check(avformat_find_stream_info(context, nullptr), "cannot read " + path);
    }

    // A pass over the picture's packets: how many frames, and when each is shown. Packets the file marks
    // for discarding (before an edit list's start) are not frames of the movie.
    void BuildIndex()
    {
        AVFormatContext* scan = nullptr;
        try {
            Open(scan);
            PacketPtr p = NewPacket();
            for (;;) {
                const int r = av_read_frame(scan, p.get());
                if (r == AVERROR_EOF) {
                    break;
                }
                Check(r, "cannot read " + path);
                if (p->stream_index == video && !(p->flags & AV_PKT_FLAG_DISCARD)) {
                    const std::int64_t pts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
                    index.push_back(IndexEntry{pts == AV_NOPTS_VALUE ? static_cast<std::int64_t>(index.size()) : pts,
                                               p->duration});
                }
                av_packet_unref(p.get());
            }
        } catch (...) {
            avformat_close_input(&scan);
            throw;
        }
        avformat_close_input(&scan);
        std::sort(index.begin(), index.end(), [](const IndexEntry& a, const IndexEntry& b) { return a.pts < b.pts; });
        if (index.empty()) {
            throw CliError(path + " holds no video frames");
        }
    }

    std::int64_t DurationAt(std::size_t i) const
    {
        if (index[i].duration > 0) {
            return index[i].duration;
        }
        return i + 1 < index.size() ? index[i + 1].pts - index[i].pts : 0;
    }

    void Hand(AVPacket* p);

    // Reads one packet: pictures to the decoder, others to a writer copying them; false at the end.
    bool ReadPacket()
    {
        const int r = av_read_frame(format, packet.get());
        if (r == AVERROR_EOF) {
            return false;
        }
        Check(r, "cannot read " + path);
        if (packet->stream_index == video) {
            const int sent = avcodec_send_packet(decoder, packet.get());
            av_packet_unref(packet.get());
            Check(sent, path + ": frame " + std::to_string(next) + " is damaged");
        } else {
            Hand(packet.get());
            av_packet_unref(packet.get());
        }
        return true;
    }

    void Convert(const AVFrame& picture, PixelDepth world, FloatImage& image)
    {
        bool full_range = picture.color_range == AVCOL_RANGE_JPEG;
        const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(picture.format), full_range);
        const bool deep = BitsOf(source) > 8;
        const AVPixelFormat packed_format = PackedFormat(deep);
        converter = sws_getCachedContext(converter, picture.width, picture.height, source, picture.width,
                                         picture.height, packed_format, SWS_FLAGS, nullptr, nullptr, nullptr);
        if (!converter) {
            throw CliError(path + ": cannot convert its pictures (" + av_get_pix_fmt_name(source) + ")");
        }
        if (IsYuv(source)) {
            const int* matrix = sws_getCoefficients(MatrixOf(picture.colorspace, picture.height));
            sws_setColorspaceDetails(converter, matrix, full_range ? 1 : 0, matrix, 1, 0, 1 << 16, 1 << 16);
        }
        const int bytes_per_pixel = deep ? 8 : 4;
        const std::size_t row = static_cast<std::size_t>(picture.width) * bytes_per_pixel;
        packed.resize(row * picture.height);
        std::uint8_t* planes[4] = {packed.data(), nullptr, nullptr, nullptr};
        int strides[4] = {static_cast<int>(row), 0, 0, 0};
        sws_scale(converter, picture.data, picture.linesize, 0, picture.height, planes, strides);

        const bool alpha = HasAlpha(source);
        const double full = deep ? 65535.0 : 255.0;
        image = FloatImage(picture.width, picture.height);
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                double rgba[4];
                for (int c = 0; c < 4; ++c) {
                    const std::size_t at = y * row + (static_cast<std::size_t>(x) * 4 + c) * (deep ? 2 : 1);
                    std::uint16_t code = packed[at];
                    if (deep) {
                        std::memcpy(&code, &packed[at], sizeof(code));
                    }
                    rgba[c] = code / full;
                }
                image.Set(x, y, WorldValue(rgba[2], world), WorldValue(rgba[1], world), WorldValue(rgba[0], world),
                          alpha ? WorldValue(rgba[3], world) : 1.0f);
            }
        }
    }
};

MovieReader::MovieReader(const std::string& path) : impl_(std::make_unique<Impl>())
{
    Impl& m = *impl_;
    m.path = path;
    m.Open(m.format);
    const AVCodec* codec = nullptr;
    m.video = av_find_best_stream(m.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (m.video < 0 || !codec) {
        throw CliError(m.video == AVERROR_DECODER_NOT_FOUND ? "cannot read " + path + ": no decoder for its pictures"
                                                            : path + " holds no video stream");
    }
    m.stream = m.format->streams[m.video];
    m.decoder = avcodec_alloc_context3(codec);
    if (!m.decoder) {
        throw std::bad_alloc();
    }
    Check(avcodec_parameters_to_context(m.decoder, m.stream->codecpar), "cannot read " + path);
    m.decoder->pkt_timebase = m.stream->time_base;
    m.decoder->thread_count = 0;
    Check(avcodec_open2(m.decoder, codec, nullptr), "cannot decode " + path);
    m.width = m.decoder->width;
    m.height = m.decoder->height;
    if (m.width <= 0 || m.height <= 0) {
        throw CliError("cannot read " + path + ": its pictures have no size");
    }
    m.BuildIndex();
}

MovieReader::~MovieReader() = default;

int MovieReader::width() const
{
    return impl_->width;
}

int MovieReader::height() const
{
    return impl_->height;
}

long MovieReader::frame_count() const
{
    return static_cast<long>(impl_->index.size());
}

PixelDepth MovieReader::depth() const
{
    bool full_range = false;
    return BitsOf(PlainFormat(impl_->decoder->pix_fmt, full_range)) > 8 ? PixelDepth::Bits16 : PixelDepth::Bits8;
}

bool MovieReader::has_alpha() const
{
    return HasAlpha(impl_->decoder->pix_fmt);
}

long MovieReader::FrameAt(double seconds) const
{
    const Impl& m = *impl_;
    long found = -1;
    for (std::size_t i = 0; i < m.index.size(); ++i) {
        if (Seconds(m.index[i].pts - m.index.front().pts, m.stream->time_base) <= seconds) {
            found = static_cast<long>(i);
        }
    }
    return found;
}

std::string MovieReader::RateText() const
{
    const Impl& m = *impl_;
    for (std::size_t i = 2; i < m.index.size(); ++i) {
        if (m.index[i].pts - m.index[i - 1].pts != m.index[1].pts - m.index[0].pts) {
            return "variable frame rate";
        }
    }
    const AVRational rate = m.stream->avg_frame_rate.num > 0 ? m.stream->avg_frame_rate : m.stream->r_frame_rate;
    char text[32];
    std::snprintf(text, sizeof(text), "%.5g fps", rate.den > 0 ? av_q2d(rate) : 0.0);
    return text;
}

bool MovieReader::Next(MovieFrame& out, std::optional<PixelDepth> world)
{
    Impl& m = *impl_;
    for (;;) {
        const int r = avcodec_receive_frame(m.decoder, m.frame.get());
        if (r == 0) {
            break;
        }
        if (r == AVERROR_EOF) {
            return false;
        }
        if (r != AVERROR(EAGAIN)) {
            Fail(m.path + ": frame " + std::to_string(m.next) + " is damaged", r);
        }
        if (m.flushing) {
            return false;
        }
        if (!m.ReadPacket()) {
            Check(avcodec_send_packet(m.decoder, nullptr), "cannot decode " + m.path);
            m.flushing = true;
        }
    }
    AVFrame& picture = *m.frame;
    const long number = m.next++;
    if (picture.decode_error_flags != 0 || (picture.flags & AV_FRAME_FLAG_CORRUPT)) {
        av_frame_unref(&picture);
        throw CliError(m.path + ": frame " + std::to_string(number) + " is damaged");
    }
    if (picture.width != m.width || picture.height != m.height) {
        const std::string size = std::to_string(picture.width) + " x " + std::to_string(picture.height);
        av_frame_unref(&picture);
        throw CliError(m.path + ": frame " + std::to_string(number) + " is " + size + ", the first " +
                       std::to_string(m.width) + " x " + std::to_string(m.height));
    }
    const std::size_t slot = std::min<std::size_t>(static_cast<std::size_t>(number), m.index.size() - 1);
    std::int64_t pts = picture.pts != AV_NOPTS_VALUE ? picture.pts : picture.best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
        pts = m.index[slot].pts;
    }
    out.index = number;
    out.pts = pts;
    out.duration = picture.pkt_duration > 0 ? picture.pkt_duration : m.DurationAt(slot);
    const std::int64_t since_first = pts - m.index.front().pts;
    out.seconds = Seconds(since_first, m.stream->time_base);
    out.time = HostTimeOf(since_first, out.duration, m.stream->time_base);
    if (world) {
        m.Convert(picture, *world, out.image);
    } else {
        out.image = FloatImage();
    }
    av_frame_unref(&picture);
    return true;
}

// ---- writing ----

struct MovieWriter::Impl {
    PendingFile file;                      // first member: removed last, after the file is closed
    std::string target;
    AVFormatContext* out = nullptr;
    AVCodecContext* encoder = nullptr;
    SwsContext* converter = nullptr;
    AVStream* video = nullptr;
    FramePtr frame = NewFrame();
    PacketPtr packet = NewPacket();
    std::vector<std::uint8_t> packed;
    bool deep = false;                     // 16-bit codes into the converter
    bool encoded_alpha = false;
    std::map<std::int64_t, std::int64_t> durations;   // pts -> duration, for the encoder's packets
    std::int64_t next_pts = 0;
    long frames = 0;

    // Copying from a source movie.
    MovieReader::Impl* source = nullptr;
    std::vector<int> stream_map;           // source stream -> output stream, -1: not copied
    std::int64_t offset = 0;               // source picture ticks taken off every time (a range's start)
    bool windowed = false;                 // only packets in [window_start, window_end) are copied
    std::int64_t window_start = 0, window_end = 0;
    int copied = 0, left_out = 0;
    std::string copied_kinds;

    explicit Impl(const std::string& path) : file(path), target(path) {}

    ~Impl()
    {
        if (source) {
            source->copy_to = nullptr;
        }
        sws_freeContext(converter);
        avcodec_free_context(&encoder);
        if (out) {
            if (out->pb) {
                avio_closep(&out->pb);
            }
            avformat_free_context(out);
        }
    }

    void CreateContainer()
    {
        QuietLibraries();
        CheckWritableFolder(target);
        Check(avformat_alloc_output_context2(&out, nullptr, nullptr, target.c_str()), "cannot write " + target);
    }

    void CheckFits(AVCodecID id, const std::string& what, const std::string& advice)
    {
        if (avformat_query_codec(out->oformat, id, FF_COMPLIANCE_NORMAL) == 0) {
            throw CliError(what + " (" + CodecName(id) + ") cannot go into a " + LowerExtension(target) + " file: " +
                           advice);
        }
    }

    // The encoder with its pixel format, colour tags and options, and the output's picture stream.
    void OpenEncoder(const AVCodec* codec, int width, int height, bool alpha, AVRational time_base, AVRational rate,
                     const AVCodecParameters* like, const MovieOptions& options)
    {
        CheckFits(codec->id, "the video codec", "choose another --codec or output format");
        const AVPixelFormat format = ChoosePixelFormat(codec, like ? static_cast<AVPixelFormat>(like->format)
                                                                   : AV_PIX_FMT_NONE, deep, alpha);
        encoder = avcodec_alloc_context3(codec);
        if (!encoder) {
            throw std::bad_alloc();
        }
        encoder->width = width;
        encoder->height = height;
        encoder->pix_fmt = format;
        encoder->time_base = time_base;
        encoder->framerate = rate;
        encoder->sample_aspect_ratio = like ? like->sample_aspect_ratio : AVRational{1, 1};
        encoded_alpha = HasAlpha(format);
        if (IsYuv(format)) {
            bool full_range = false;
            PlainFormat(format, full_range);
            if (like && IsYuv(static_cast<AVPixelFormat>(like->format))) {
                encoder->colorspace = MatrixOf(like->color_space, like->height);
                encoder->color_range = full_range || like->color_range == AVCOL_RANGE_JPEG ? AVCOL_RANGE_JPEG
                                                                                          : AVCOL_RANGE_MPEG;
                encoder->color_primaries = like->color_primaries;
                encoder->color_trc = like->color_trc;
                encoder->chroma_sample_location = like->chroma_location;
            } else {
                encoder->colorspace = MatrixOf(AVCOL_SPC_UNSPECIFIED, height);
                encoder->color_range = full_range ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
            }
        } else if (av_pix_fmt_desc_get(format)->flags & AV_PIX_FMT_FLAG_RGB) {
            encoder->colorspace = AVCOL_SPC_RGB;
            encoder->color_range = AVCOL_RANGE_JPEG;
        }
        if (out->oformat->flags & AVFMT_GLOBALHEADER) {
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }

        AVDictionary* settings = nullptr;
        const std::string name = codec->name;
        if (name == "libx264" || name == "libx265") {
            av_dict_set_int(&settings, "crf", options.crf.value_or(DEFAULT_X264_CRF), 0);
            if (name == "libx265") {
                av_dict_set(&settings, "x265-params", "log-level=none", 0);
            }
        } else if (name == "libvpx-vp9") {
            av_dict_set_int(&settings, "crf", options.crf.value_or(DEFAULT_VP9_CRF), 0);
            av_dict_set(&settings, "b", "0", 0);
        } else if (options.crf) {
            throw CliError("--crf sets the quality of H.264, H.265 and VP9, not of " + CodecName(codec->id));
        }
        if (name == "prores_ks") {
            const bool keep = like && like->codec_id == AV_CODEC_ID_PRORES && like->profile >= FF_PROFILE_PRORES_PROXY &&
                              like->profile <= FF_PROFILE_PRORES_XQ;
            const bool four_four_four = av_pix_fmt_desc_get(format)->log2_chroma_w == 0;
            const int profile = keep && (like->profile >= FF_PROFILE_PRORES_4444) == four_four_four
                                    ? like->profile
                                    : (four_four_four ? FF_PROFILE_PRORES_4444 : FF_PROFILE_PRORES_HQ);
            av_dict_set_int(&settings, "profile", profile, 0);
        } else if (name == "ffv1") {
            av_dict_set(&settings, "level", "3", 0);
            av_dict_set(&settings, "slicecrc", "1", 0);
        }
        const int opened = avcodec_open2(encoder, codec, &settings);
        av_dict_free(&settings);
        Check(opened, "cannot write " + target + " with " + codec->name + " (" + av_get_pix_fmt_name(format) + ", " +
                          std::to_string(width) + " x " + std::to_string(height) + ")");

        video = avformat_new_stream(out, nullptr);
        if (!video) {
            throw std::bad_alloc();
        }
        Check(avcodec_parameters_from_context(video->codecpar, encoder), "cannot write " + target);
        video->time_base = encoder->time_base;
        video->avg_frame_rate = rate;
        video->r_frame_rate = rate;

        frame->format = format;
        frame->width = width;
        frame->height = height;
        Check(av_frame_get_buffer(frame.get(), 0), "cannot write " + target);
        converter = sws_getContext(width, height, PackedFormat(deep), width, height, format, SWS_FLAGS, nullptr,
                                   nullptr, nullptr);
        if (!converter) {
            throw CliError("cannot write " + target + ": no conversion to " + av_get_pix_fmt_name(format));
        }
        if (IsYuv(format)) {
            const int* matrix = sws_getCoefficients(encoder->colorspace);
            sws_setColorspaceDetails(converter, matrix, 1, matrix, encoder->color_range == AVCOL_RANGE_JPEG ? 1 : 0, 0,
                                     1 << 16, 1 << 16);
        }
    }

    // The source's audio and subtitle streams, as they are.
    void AddCopiedStreams(const std::string& source_path)
    {
        AVFormatContext* in = source->format;
        stream_map.assign(in->nb_streams, -1);
        for (unsigned i = 0; i < in->nb_streams; ++i) {
            const AVStream* from = in->streams[i];
            const AVMediaType type = from->codecpar->codec_type;
            if (static_cast<int>(i) == source->video) {
                continue;
            }
            if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE) {
                ++left_out;
                continue;
            }
            CheckFits(from->codecpar->codec_id,
                      std::string("the ") + MediaName(type) + " stream " + std::to_string(i) + " of " + source_path,
                      "write a format that holds it, such as the source's own (" + LowerExtension(source_path) + ")");
            AVStream* to = avformat_new_stream(out, nullptr);
            if (!to) {
                throw std::bad_alloc();
            }
            Check(avcodec_parameters_copy(to->codecpar, from->codecpar), "cannot write " + target);
            to->codecpar->codec_tag = 0;
            to->time_base = from->time_base;
            to->disposition = from->disposition;
            av_dict_copy(&to->metadata, from->metadata, 0);
            stream_map[i] = to->index;
            ++copied;
            copied_kinds = copied_kinds.empty() || copied_kinds == MediaName(type) ? MediaName(type) : "audio and subtitle";
        }
    }

    void Start()
    {
        Check(avio_open(&out->pb, file.path().c_str(), AVIO_FLAG_WRITE), "cannot write " + target);
        Check(avformat_write_header(out, nullptr), "cannot write " + target);
    }

    void WritePacket(AVPacket* p, const std::string& what)
    {
        Check(av_interleaved_write_frame(out, p), "cannot write " + target + " (" + what + ")");
    }

    void Copy(AVPacket* p)
    {
        const int to = p->stream_index < static_cast<int>(stream_map.size()) ? stream_map[p->stream_index] : -1;
        if (to < 0) {
            return;
        }
        const AVStream* from = source->format->streams[p->stream_index];
        const AVRational picture_base = source->stream->time_base;
        const std::int64_t at = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (windowed && at != AV_NOPTS_VALUE &&
            (av_compare_ts(at, from->time_base, window_start, picture_base) < 0 ||
             av_compare_ts(at, from->time_base, window_end, picture_base) >= 0)) {
            return;
        }
        if (offset != 0) {
            const std::int64_t shift = av_rescale_q(offset, picture_base, from->time_base);
            p->pts = p->pts == AV_NOPTS_VALUE ? p->pts : p->pts - shift;
            p->dts = p->dts == AV_NOPTS_VALUE ? p->dts : p->dts - shift;
        }
        av_packet_rescale_ts(p, from->time_base, out->streams[to]->time_base);
        p->stream_index = to;
        p->pos = -1;
        WritePacket(p, std::string(MediaName(from->codecpar->codec_type)) + " stream");
    }

    // Sends a frame (null: the end) and writes what the encoder gives back.
    void Encode(AVFrame* picture)
    {
        Check(avcodec_send_frame(encoder, picture), "cannot encode " + target);
        for (;;) {
            const int r = avcodec_receive_packet(encoder, packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                return;
            }
            Check(r, "cannot encode " + target);
            if (const auto duration = durations.find(packet->pts); duration != durations.end()) {
                packet->duration = duration->second;
                durations.erase(duration);
            }
            av_packet_rescale_ts(packet.get(), encoder->time_base, video->time_base);
            packet->stream_index = video->index;
            WritePacket(packet.get(), "video");
        }
    }
};

void MovieReader::Impl::Hand(AVPacket* p)
{
    if (copy_to) {
        copy_to->Copy(p);
    }
}

MovieWriter::MovieWriter(const std::string& path, MovieReader& source, long first, long last, int width, int height,
                         PixelDepth world, const MovieOptions& options)
    : impl_(std::make_unique<Impl>(path))
{
    Impl& w = *impl_;
    MovieReader::Impl& s = *source.impl_;
    w.CreateContainer();
    w.deep = world != PixelDepth::Bits8;
    const AVCodecParameters* like = s.stream->codecpar;
    const bool alpha = source.has_alpha();
    const AVCodec* codec = nullptr;
    if (!options.codec.empty()) {
        codec = EncoderNamed(options.codec);
    } else if (const AVCodec* same = EncoderFor(like->codec_id);
               same && avformat_query_codec(w.out->oformat, same->id, FF_COMPLIANCE_NORMAL) != 0) {
        codec = same;   // the source's codec, where the container holds it
    } else {
        codec = DefaultEncoder(LowerExtension(path), w.deep, alpha);
    }
    const AVRational rate = s.stream->avg_frame_rate.num > 0 ? s.stream->avg_frame_rate : s.stream->r_frame_rate;
    w.OpenEncoder(codec, width, height, alpha, s.stream->time_base, rate, like, options);
    w.video->r_frame_rate = s.stream->r_frame_rate;
    av_dict_copy(&w.video->metadata, s.stream->metadata, 0);
    av_dict_set(&w.video->metadata, "encoder", nullptr, 0);
    std::size_t size = 0;
    if (const std::uint8_t* matrix = av_stream_get_side_data(s.stream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        if (std::uint8_t* copy = av_stream_new_side_data(w.video, AV_PKT_DATA_DISPLAYMATRIX, size)) {
            std::memcpy(copy, matrix, size);
        }
    }
    av_dict_copy(&w.out->metadata, s.format->metadata, 0);
    av_dict_set(&w.out->metadata, "encoder", nullptr, 0);

    // Not every frame: the other streams are cut to the frames' span and everything moves back by the
    // time before the first frame written, so the piece starts where the whole movie starts.
    w.source = &s;
    const long count = static_cast<long>(s.index.size());
    if (first > 0 || last < count - 1) {
        w.windowed = true;
        w.window_start = s.index[first].pts;
        w.window_end = last + 1 < count ? s.index[last + 1].pts : s.index[last].pts + std::max<std::int64_t>(1, s.DurationAt(last));
        w.offset = s.index[first].pts - s.index.front().pts;
    }
    w.AddCopiedStreams(source.impl_->path);
    w.Start();
    s.copy_to = &w;
}

MovieWriter::MovieWriter(const std::string& path, const FrameClock& clock, int width, int height, PixelDepth world,
                         bool alpha, const MovieOptions& options)
    : impl_(std::make_unique<Impl>(path))
{
    Impl& w = *impl_;
    w.CreateContainer();
    w.deep = world != PixelDepth::Bits8;
    const AVCodec* codec =
        options.codec.empty() ? DefaultEncoder(LowerExtension(path), w.deep, alpha) : EncoderNamed(options.codec);
    const int common = std::gcd(static_cast<int>(clock.scale), static_cast<int>(clock.step));
    const AVRational rate{static_cast<int>(clock.scale) / common, static_cast<int>(clock.step) / common};
    w.OpenEncoder(codec, width, height, alpha, av_inv_q(rate), rate, nullptr, options);
    w.Start();
}

MovieWriter::~MovieWriter() = default;

void MovieWriter::Write(const FloatImage& image, const MovieFrame* from)
{
    Impl& w = *impl_;
    if (image.width != w.encoder->width || image.height != w.encoder->height) {
        throw CliError("cannot write " + w.target + ": a frame of " + std::to_string(image.width) + " x " +
                       std::to_string(image.height) + " in a movie of " + std::to_string(w.encoder->width) + " x " +
                       std::to_string(w.encoder->height));
    }
    // Packed codes; without alpha in the movie, composited over black.
    const double full = w.deep ? 65535.0 : 255.0;
    const std::size_t row = static_cast<std::size_t>(image.width) * (w.deep ? 8 : 4);
    w.packed.resize(row * image.height);
    for (A_long y = 0; y < image.height; ++y) {
        for (A_long x = 0; x < image.width; ++x) {
            const float* p = image.At(x, y);
            const double alpha = std::clamp(static_cast<double>(p[3]), 0.0, 1.0);
            const double rgba[4] = {p[2], p[1], p[0], p[3]};
            for (int c = 0; c < 4; ++c) {
                const double value = c < 3 && !w.encoded_alpha ? rgba[c] * alpha : rgba[c];
                const std::uint16_t code = static_cast<std::uint16_t>(FileCodeOf(value, full));
                const std::size_t at = y * row + (static_cast<std::size_t>(x) * 4 + c) * (w.deep ? 2 : 1);
                if (w.deep) {
                    std::memcpy(&w.packed[at], &code, sizeof(code));
                } else {
                    w.packed[at] = static_cast<std::uint8_t>(code);
                }
            }
        }
    }
    Check(av_frame_make_writable(w.frame.get()), "cannot write " + w.target);
    const std::uint8_t* planes[4] = {w.packed.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(row), 0, 0, 0};
    sws_scale(w.converter, planes, strides, 0, image.height, w.frame->data, w.frame->linesize);

    const std::int64_t pts = from ? from->pts - w.offset : w.next_pts++;
    w.durations[pts] = from ? from->duration : 1;
    w.frame->pts = pts;
    w.Encode(w.frame.get());
    ++w.frames;
}

std::string MovieWriter::Finish()
{
    Impl& w = *impl_;
    w.Encode(nullptr);
    if (w.source) {
        MovieReader::Impl* source = w.source;
        // The rest of the source's other streams, up to its end.
        while (true) {
            const int r = av_read_frame(source->format, source->packet.get());
            if (r == AVERROR_EOF) {
                break;
            }
            Check(r, "cannot read " + source->path);
            if (source->packet->stream_index != source->video) {
                w.Copy(source->packet.get());
            }
            av_packet_unref(source->packet.get());
        }
    }
    Check(av_write_trailer(w.out), "cannot write " + w.target);
    Check(avio_closep(&w.out->pb), "cannot write " + w.target);
    w.file.Commit();

    std::string text = CodecName(w.encoder->codec_id) + " " + av_get_pix_fmt_name(w.encoder->pix_fmt) + " " +
                       Upper(LowerExtension(w.target).substr(1));
    if (w.copied > 0) {
        text += ", " + std::to_string(w.copied) + " " + w.copied_kinds + (w.copied == 1 ? " stream" : " streams") +
                " copied";
    }
    if (w.left_out > 0) {
        text += ", " + std::to_string(w.left_out) + (w.left_out == 1 ? " data stream" : " data streams") + " left out";
    }
    return text;
}
