// The MPEG-4 module: FFmpeg's MP4/MOV reader and writer behind MediaModule, over file
// descriptors the program opened itself.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
}

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "plugins/ffmpeg/media_module.h"

namespace {

// FFmpeg's time base of microseconds (its own macro is a C compound literal).
constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr int kIoBuffer = 256 * 1024;
// Only the MP4/MOV reader, and no protocol: a name is never opened by FFmpeg.
const char* const kFormats = "mov,mp4,m4a,3gp,3g2,mj2";

QString errorOf(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// FFmpeg's log, kept off the terminal. What a call of ours logs on its own thread, at
// warning or above, is kept while the call lasts: the most severe line, the latest of
// equals, explains a failure. Everything else goes.
class LogCapture {
public:
    // Set by every call: the preview's player sets its own handler when it starts.
    LogCapture() : m_outer(t_current) {
        t_current = this;
        av_log_set_callback(&LogCapture::log);
    }
    ~LogCapture() { t_current = m_outer; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Forgets what was logged so far: a new part has its own reasons.
    void forget() {
        m_line.clear();
        m_pending.clear();
    }

    // `problem`, with FFmpeg's line after it in brackets when it logged one.
    void explain(QString* problem) const {
        if (!m_line.isEmpty() && !problem->contains(m_line)) {
            *problem += QStringLiteral(" (") + m_line + QLatin1Char(')');
        }
    }

private:
    static void log(void* context, int level, const char* format, va_list arguments) {
        LogCapture* capture = t_current;
        // The level's upper bits may carry a colour.
        const int severity = level >= 0 ? level & 0xff : level;
        if (capture == nullptr || severity > AV_LOG_WARNING) {
            return;
        }
        char text[1024];
        int printPrefix = 0;  // no "[h264 @ 0x...]": the line speaks in the job's text
        av_log_format_line2(context, level, format, arguments, text, sizeof text, &printPrefix);
        capture->take(severity, text);
    }

    // A line may come in pieces; it counts once it ends.
    void take(int severity, const char* piece) {
        m_pending += QString::fromUtf8(piece);
        if (!m_pending.endsWith(QLatin1Char('\n'))) {
            return;
        }
        QString line = m_pending.trimmed();
        m_pending.clear();
        while (line.endsWith(QLatin1Char('.'))) {
            line.chop(1);  // the job's text ends the sentence
        }
        if (!line.isEmpty() && (m_line.isEmpty() || severity <= m_severity)) {
            m_line = line;
            m_severity = severity;
        }
    }

    static thread_local LogCapture* t_current;
    LogCapture* m_outer;
    QString m_pending;
    QString m_line;
    int m_severity = AV_LOG_WARNING;
};

thread_local LogCapture* LogCapture::t_current = nullptr;

int readFd(void* opaque, uint8_t* buffer, int size) {
    const int fd = *static_cast<int*>(opaque);
    for (;;) {
        const ssize_t got = ::read(fd, buffer, static_cast<size_t>(size));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return AVERROR(errno);
        }
        return got == 0 ? AVERROR_EOF : static_cast<int>(got);
    }
}

int writeFd(void* opaque, uint8_t* buffer, int size) {
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, buffer + done, static_cast<size_t>(size - done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return AVERROR(put == 0 ? ENOSPC : errno);
        }
        done += static_cast<int>(put);
    }
    return done;
}

int64_t seekFd(void* opaque, int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

// An AVIOContext over one of our descriptors, freed with its buffer.
struct Io {
    int fd;
    AVIOContext* context = nullptr;

    Io(int descriptor, bool writing) : fd(descriptor) {
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
        if (buffer != nullptr) {
            context =
                avio_alloc_context(buffer, kIoBuffer, writing ? 1 : 0, &fd,
                                   writing ? nullptr : readFd, writing ? writeFd : nullptr, seekFd);
        }
        if (context == nullptr) {
            av_free(buffer);
        }
    }
    ~Io() {
        if (context != nullptr) {
            av_freep(&context->buffer);
            avio_context_free(&context);
        }
    }
    Io(const Io&) = delete;
    Io& operator=(const Io&) = delete;
};

struct InputDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputDeleter>;

// Opens the MP4/MOV file behind `io`; nothing, with why, otherwise.
Input openInput(Io& io, QString* problem) {
    if (io.context == nullptr) {
        *problem = QStringLiteral("out of memory");
        return nullptr;
    }
    ::lseek(io.fd, 0, SEEK_SET);
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        *problem = QStringLiteral("out of memory");
        return nullptr;
    }
    context->pb = io.context;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    context->format_whitelist = av_strdup(kFormats);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const AVInputFormat* mov = av_find_input_format("mov");
    int result = avformat_open_input(&context, nullptr, mov, &options);
    av_dict_free(&options);
    if (result < 0) {
        *problem = errorOf(result);
        return nullptr;  // avformat_open_input freed the context
    }
    Input input(context);
    result = avformat_find_stream_info(context, nullptr);
    if (result < 0) {
        *problem = errorOf(result);
        return nullptr;
    }
    return input;
}

QString shortCodecName(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_H264:
            return QStringLiteral("H.264");
        case AV_CODEC_ID_HEVC:
            return QStringLiteral("HEVC");
        case AV_CODEC_ID_MPEG4:
            return QStringLiteral("MPEG-4 Visual");
        case AV_CODEC_ID_AAC:
            return QStringLiteral("AAC");
        case AV_CODEC_ID_MP3:
            return QStringLiteral("MP3");
        case AV_CODEC_ID_AC3:
            return QStringLiteral("AC-3");
        case AV_CODEC_ID_EAC3:
            return QStringLiteral("E-AC-3");
        default:
            break;
    }
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    return descriptor != nullptr ? QString::fromUtf8(descriptor->name).toUpper()
                                 : QStringLiteral("unknown");
}

// "H.264 High", "AAC LC".
QString codecText(const AVCodecParameters& parameters) {
    QString text = shortCodecName(parameters.codec_id);
    if (const char* profile = avcodec_profile_name(parameters.codec_id, parameters.profile)) {
        text += QLatin1Char(' ') + QString::fromUtf8(profile);
    }
    return text;
}

int rotationOf(const AVStream& stream) {
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr) {
        return 0;
    }
    const double counterClockwise =
        av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(counterClockwise)) {
        return 0;
    }
    return (static_cast<int>(std::lround(-counterClockwise)) % 360 + 360) % 360;
}

MediaStream describeStream(const AVStream& stream) {
    const AVCodecParameters& parameters = *stream.codecpar;
    MediaStream described;
    described.codec = codecText(parameters);
    if (parameters.codec_type == AVMEDIA_TYPE_VIDEO) {
        described.kind = MediaStream::Kind::Video;
        described.width = parameters.width;
        described.height = parameters.height;
        const AVRational rate =
            stream.avg_frame_rate.num != 0 ? stream.avg_frame_rate : stream.r_frame_rate;
        described.frameRate = rate.den != 0 ? av_q2d(rate) : 0;
        described.frames = stream.nb_frames;
        described.rotation = rotationOf(stream);
    } else if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
        described.kind = MediaStream::Kind::Audio;
        described.sampleRate = parameters.sample_rate;
        char layout[64] = {};
        if (av_channel_layout_describe(&parameters.ch_layout, layout, sizeof layout) > 0) {
            described.channels = QString::fromUtf8(layout);
        }
    }
    return described;
}

struct OutputDeleter {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
using Output = std::unique_ptr<AVFormatContext, OutputDeleter>;

// Hands a part's descriptor back when the join is done with it.
class PartLease {
public:
    PartLease(const RemuxParts& parts, size_t index) : m_parts(parts), m_fd(parts.open(index)) {}
    ~PartLease() {
        if (m_fd != -1) {
            m_parts.close(m_fd);
        }
    }
    PartLease(const PartLease&) = delete;
    PartLease& operator=(const PartLease&) = delete;
    int fd() const { return m_fd; }

private:
    const RemuxParts& m_parts;
    int m_fd;
};

class FfmpegMedia final : public MediaModule {
public:
    std::optional<MediaDescription> describe(int fd, QString* problem) override {
        const LogCapture log;
        Io io(fd, false);
        const Input input = openInput(io, problem);
        if (!input) {
            log.explain(problem);
            return std::nullopt;
        }
        MediaDescription description;
        description.duration =
            input->duration > 0 ? static_cast<double>(input->duration) / AV_TIME_BASE : 0;
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            description.streams.append(describeStream(*input->streams[i]));
        }
        return description;
    }

    RemuxResult remux(const RemuxParts& parts, int output, const char* container,
                      const RemuxProgress& progress, QString* problem) override {
        LogCapture log;
        const RemuxResult result = join(parts, output, container, progress, log, problem);
        if (result == RemuxResult::Failed) {
            log.explain(problem);
        }
        return result;
    }

private:
    static RemuxResult join(const RemuxParts& parts, int output, const char* container,
                            const RemuxProgress& progress, LogCapture& log, QString* problem) {
        Io out(output, true);
        AVFormatContext* made = nullptr;
        if (out.context == nullptr ||
            avformat_alloc_output_context2(&made, nullptr, container, nullptr) < 0) {
            *problem = QStringLiteral("out of memory");
            return RemuxResult::Failed;
        }
        Output muxer(made);
        muxer->pb = out.context;
        muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
        quint64 done = 0;
        qint64 end = AV_NOPTS_VALUE;  // where the parts before end, in microseconds
        std::vector<qint64> lastDts;  // per output stream
        for (size_t part = 0; part < parts.count; ++part) {
            log.forget();
            const PartLease lease(parts, part);
            if (lease.fd() == -1) {
                *problem = QStringLiteral("part %1 cannot be opened").arg(part + 1);
                return RemuxResult::Failed;
            }
            Io io(lease.fd(), false);
            const Input input = openInput(io, problem);
            if (!input) {
                return RemuxResult::Failed;
            }
            if (part == 0 && !addStreams(*muxer, *input, problem)) {
                return RemuxResult::Failed;
            }
            lastDts.resize(muxer->nb_streams, AV_NOPTS_VALUE);
            const RemuxResult result =
                copyPackets(*muxer, *input, io, end, lastDts, &done, progress, problem);
            if (result != RemuxResult::Done) {
                return result;
            }
        }
        const int result = av_write_trailer(muxer.get());
        if (result < 0) {
            *problem = errorOf(result);
            return RemuxResult::Failed;
        }
        avio_flush(muxer->pb);
        return RemuxResult::Done;
    }

    static bool addStreams(AVFormatContext& muxer, const AVFormatContext& input, QString* problem) {
        for (unsigned i = 0; i < input.nb_streams; ++i) {
            AVStream* stream = avformat_new_stream(&muxer, nullptr);
            if (stream == nullptr ||
                avcodec_parameters_copy(stream->codecpar, input.streams[i]->codecpar) < 0) {
                *problem = QStringLiteral("out of memory");
                return false;
            }
            stream->codecpar->codec_tag = 0;  // the writer picks its own for the codec
            stream->time_base = input.streams[i]->time_base;
            av_dict_copy(&stream->metadata, input.streams[i]->metadata, 0);
            // The rotation a phone recorded stays with the picture.
            size_t size = 0;
            if (const uint8_t* matrix =
                    av_stream_get_side_data(input.streams[i], AV_PKT_DATA_DISPLAYMATRIX, &size)) {
                if (uint8_t* copy =
                        av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, size)) {
                    memcpy(copy, matrix, size);
                }
            }
        }
        av_dict_copy(&muxer.metadata, input.metadata, 0);
        const int result = avformat_write_header(&muxer, nullptr);
        if (result < 0) {
            *problem = errorOf(result);
            return false;
        }
        return true;
    }

    // The stream a part is lined up by: its first video, or its first stream.
    static int anchorOf(const AVFormatContext& input) {
        for (unsigned i = 0; i < input.nb_streams; ++i) {
            if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                return static_cast<int>(i);
            }
        }
        return 0;
    }

    // The part's packets, every stream moved by one amount: the part's first picture
    // follows the last picture of the parts before it (`end`, in microseconds).
    static RemuxResult copyPackets(AVFormatContext& muxer, AVFormatContext& input, Io& io,
                                   qint64& end, std::vector<qint64>& lastDts, quint64* done,
                                   const RemuxProgress& progress, QString* problem) {
        const int anchor = anchorOf(input);
        const AVStream& anchorStream = *input.streams[anchor];
        const qint64 anchorStart =
            anchorStream.start_time != AV_NOPTS_VALUE
                ? av_rescale_q(anchorStream.start_time, anchorStream.time_base, kMicroseconds)
                : 0;
        const bool first = end == AV_NOPTS_VALUE;
        const qint64 shiftUs = first ? 0 : end - anchorStart;
        AVPacket* packet = av_packet_alloc();
        if (packet == nullptr) {
            *problem = QStringLiteral("out of memory");
            return RemuxResult::Failed;
        }
        const std::unique_ptr<AVPacket, void (*)(AVPacket*)> owned(
            packet, [](AVPacket* p) { av_packet_free(&p); });
        qint64 lastRead = 0;
        qint64 anchorEnd = first ? anchorStart : end;
        for (;;) {
            int result = av_read_frame(&input, packet);
            if (result == AVERROR_EOF) {
                break;
            }
            if (result < 0) {
                *problem = errorOf(result);
                return RemuxResult::Failed;
            }
            const qint64 position = avio_tell(io.context);
            *done += static_cast<quint64>(std::max<qint64>(0, position - lastRead));
            lastRead = std::max(lastRead, position);
            if (packet->stream_index >= static_cast<int>(muxer.nb_streams)) {
                av_packet_unref(packet);
                continue;
            }
            const AVRational from = input.streams[packet->stream_index]->time_base;
            const AVRational to = muxer.streams[packet->stream_index]->time_base;
            if (packet->stream_index == anchor && packet->pts != AV_NOPTS_VALUE) {
                anchorEnd = std::max(
                    anchorEnd,
                    av_rescale_q(packet->pts + packet->duration, from, kMicroseconds) + shiftUs);
            }
            const qint64 shift = av_rescale_q(shiftUs, kMicroseconds, to);
            av_packet_rescale_ts(packet, from, to);
            packet->pts = packet->pts != AV_NOPTS_VALUE ? packet->pts + shift : AV_NOPTS_VALUE;
            packet->dts = packet->dts != AV_NOPTS_VALUE ? packet->dts + shift : AV_NOPTS_VALUE;
            packet->pos = -1;
            // Sound that starts before its part's picture would overlap the part before:
            // those few packets go.
            qint64& last = lastDts[static_cast<size_t>(packet->stream_index)];
            if (packet->dts != AV_NOPTS_VALUE && last != AV_NOPTS_VALUE && packet->dts <= last) {
                av_packet_unref(packet);
                continue;
            }
            if (packet->dts != AV_NOPTS_VALUE) {
                last = packet->dts;
            }
            result = av_interleaved_write_frame(&muxer, packet);
            if (result < 0) {
                *problem = errorOf(result);
                return RemuxResult::Failed;
            }
            if (progress && !progress(*done)) {
                return RemuxResult::Stopped;
            }
        }
        end = anchorEnd;
        return RemuxResult::Done;
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) MediaModule* zarvoMediaModule() {
    static FfmpegMedia module;
    return &module;
}
