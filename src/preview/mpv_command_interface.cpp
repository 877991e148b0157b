#include "preview/mpv_command_interface.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <mpv/client.h>

#include <clocale>
#include <cmath>

namespace {

// Errors of the interpreter itself; libmpv's own start at kMpvErrorBase.
enum InterpreterError {
    UnknownCommand = 1,
    NotOpen = 2,
    BadArgument = 3,
    NoMedia = 4,
};
constexpr int kMpvErrorBase = 100;
constexpr int kLoadTimeoutMs = 10000;
constexpr int kSeekTimeoutMs = 3000;

int mpvFailure(int mpvError) {
    return kMpvErrorBase - mpvError;  // libmpv's errors are negative
}

bool same(const QString& word, const char* expected) {
    return word.compare(QLatin1String(expected), Qt::CaseInsensitive) == 0;
}

// The word after `key` in a command ("type", "Alias", "parent"), or "".
QString valueAfter(const QStringList& words, const char* key) {
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        if (same(words.at(i), key)) {
            return words.at(i + 1);
        }
    }
    return QString();
}

}  // namespace

struct MpvCommandInterface::Device {
    mpv_handle* mpv = nullptr;
    quint64 parent = 0;
    bool framesFormat = true;
    bool stopped = true;
    bool loaded = false;

    ~Device() {
        if (mpv != nullptr) {
            mpv_terminate_destroy(mpv);
        }
    }

    double property(const char* name, double fallback = 0) const {
        double value = fallback;
        return mpv_get_property(mpv, name, MPV_FORMAT_DOUBLE, &value) >= 0 ? value : fallback;
    }
    qint64 integer(const char* name) const {
        int64_t value = 0;
        return mpv_get_property(mpv, name, MPV_FORMAT_INT64, &value) >= 0 ? value : 0;
    }
    bool flag(const char* name) const {
        int value = 0;
        return mpv_get_property(mpv, name, MPV_FORMAT_FLAG, &value) >= 0 && value != 0;
    }
    int setFlag(const char* name, bool on) const {
        int value = on ? 1 : 0;
        return mpv_set_property(mpv, name, MPV_FORMAT_FLAG, &value);
    }
    int command(std::initializer_list<const char*> args) const {
        std::vector<const char*> list(args);
        list.push_back(nullptr);
        return mpv_command(mpv, list.data());
    }
    double fps() const {
        const double rate = property("container-fps");
        return rate > 0 ? rate : property("estimated-vf-fps", 25.0);
    }
    // Positions in the device's time format.
    double toSeconds(qint64 position) const {
        return framesFormat ? static_cast<double>(position) / fps()
                            : static_cast<double>(position) / 1000.0;
    }
    qint64 fromSeconds(double seconds) const {
        return std::llround(framesFormat ? seconds * fps() : seconds * 1000.0);
    }
    // Waits for `wanted`, or for the end of the file that `afterStart` says is loading
    // (an end reported before its start belongs to the file before); the other events
    // of the queue are used up.
    int waitFor(mpv_event_id wanted, int timeoutMs, bool afterStart = false) {
        QElapsedTimer clock;
        clock.start();
        bool started = !afterStart;
        while (clock.elapsed() < timeoutMs) {
            const double left = static_cast<double>(timeoutMs - clock.elapsed()) / 1000.0;
            const mpv_event* event = mpv_wait_event(mpv, left);
            if (event->event_id == wanted) {
                return 0;
            }
            if (event->event_id == MPV_EVENT_START_FILE) {
                started = true;
            }
            if (event->event_id == MPV_EVENT_END_FILE && started) {
                const auto* end = static_cast<const mpv_event_end_file*>(event->data);
                return end->reason == MPV_END_FILE_REASON_ERROR
                           ? mpvFailure(end->error)
                           : mpvFailure(MPV_ERROR_NOTHING_TO_PLAY);
            }
            if (event->event_id == MPV_EVENT_SHUTDOWN) {
                return mpvFailure(MPV_ERROR_UNINITIALIZED);
            }
        }
        return mpvFailure(MPV_ERROR_GENERIC);
    }
    void drainEvents() {
        while (mpv_wait_event(mpv, 0)->event_id != MPV_EVENT_NONE) {
        }
    }
};

// Without a sound device every file would look for one again, which costs the next
// load more than the load itself: once none is found, the player stays silent.
void MpvCommandInterface::keepMissingAudioOff(Device& device) {
    if (!m_options.audioOutput.isEmpty()) {
        return;
    }
    bool hasAudio = false;
    const qint64 tracks = device.integer("track-list/count");
    for (qint64 i = 0; i < tracks && !hasAudio; ++i) {
        const QByteArray name = "track-list/" + QByteArray::number(i) + "/type";
        char* type = mpv_get_property_string(device.mpv, name.constData());
        hasAudio = type != nullptr && QByteArray(type) == "audio";
        mpv_free(type);
    }
    char* output = mpv_get_property_string(device.mpv, "current-ao");
    const bool none = output == nullptr;
    mpv_free(output);
    if (hasAudio && none) {
        mpv_set_property_string(device.mpv, "ao", "null");
    }
}

MpvCommandInterface::MpvCommandInterface(Options options) : m_options(std::move(options)) {}

MpvCommandInterface::~MpvCommandInterface() = default;

QStringList MpvCommandInterface::words(const QString& command) {
    QStringList result;
    QString word;
    bool inQuotes = false;
    bool started = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (inQuotes && c == QLatin1Char('\\') && i + 1 < command.size()) {
            word += command.at(++i);
        } else if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            started = true;
        } else if (!inQuotes && c.isSpace()) {
            if (started) {
                result.append(word);
            }
            word.clear();
            started = false;
        } else {
            word += c;
            started = true;
        }
    }
    if (started) {
        result.append(word);
    }
    return result;
}

QString MpvCommandInterface::errorString(int error) {
    switch (error) {
        case UnknownCommand:
            return QStringLiteral("Unknown command.");
        case NotOpen:
            return QStringLiteral("The device is not open.");
        case BadArgument:
            return QStringLiteral("A parameter of the command is missing or not valid.");
        case NoMedia:
            return QStringLiteral("The file has no picture or sound to play.");
        default:
            break;
    }
    return QString::fromUtf8(mpv_error_string(kMpvErrorBase - error));
}

MpvCommandInterface::Device* MpvCommandInterface::device(const QString& alias) {
    const auto found = m_open.constFind(alias.toLower());
    return found == m_open.constEnd() ? nullptr : found->get();
}

std::unique_ptr<MpvCommandInterface::Device> MpvCommandInterface::makeDevice(quint64 parent,
                                                                             int* error) {
    std::setlocale(LC_NUMERIC, "C");  // libmpv refuses any other numeric locale
    auto device = std::make_unique<Device>();
    device->parent = parent;
    device->mpv = mpv_create();
    if (device->mpv == nullptr) {
        *error = mpvFailure(MPV_ERROR_NOMEM);
        return nullptr;
    }
    const auto option = [&](const char* name, const QByteArray& value) {
        mpv_set_option_string(device->mpv, name, value.constData());
    };
    if (parent != 0) {
        option("wid", QByteArray::number(parent));
    }
    if (!m_options.videoOutput.isEmpty()) {
        option("vo", m_options.videoOutput.toUtf8());
    } else {
        // Outputs that draw into another program's window, the software renderer of a
        // machine without a graphics card included; libmpv's own probing would pass
        // over that one and open a window of its own (SDL's, which also takes over the
        // program's termination signal).
        option("vo", QByteArrayLiteral("gpu,xv,x11"));
        option("gpu-sw", QByteArrayLiteral("yes"));
    }
    if (!m_options.audioOutput.isEmpty()) {
        option("ao", m_options.audioOutput.toUtf8());
    }
    // Frame-exact positions, and the last frame kept on screen at the end.
    for (const auto& [name, value] :
         {std::pair{"keep-open", "yes"}, std::pair{"hr-seek", "yes"},
          std::pair{"hr-seek-demuxer-offset", "1"}, std::pair{"pause", "yes"},
          std::pair{"idle", "yes"}, std::pair{"config", "no"}, std::pair{"terminal", "no"},
          std::pair{"input-default-bindings", "no"}, std::pair{"input-vo-keyboard", "no"},
          std::pair{"osc", "no"}, std::pair{"load-scripts", "no"}, std::pair{"ytdl", "no"},
          std::pair{"audio-display", "no"}, std::pair{"force-window", "no"}}) {
        option(name, QByteArray(value));
    }
    const int started = mpv_initialize(device->mpv);
    if (started < 0) {
        *error = mpvFailure(started);
        return nullptr;
    }
    return device;
}

int MpvCommandInterface::open(const QStringList& words) {
    if (words.size() < 2) {
        return BadArgument;
    }
    const QString& path = words.at(1);
    const QString alias = valueAfter(words, "Alias").toLower();
    const quint64 parent = valueAfter(words, "parent").toULongLong();
    if (alias.isEmpty()) {
        return BadArgument;
    }
    if (m_open.contains(alias)) {
        return BadArgument;  // the alias is in use
    }
    std::shared_ptr<Device> device;
    if (m_spare && m_spare->parent == parent) {
        device = std::move(m_spare);  // starting a player is the slow part
    } else {
        int error = 0;
        device = makeDevice(parent, &error);
        if (!device) {
            return error;
        }
    }
    device->framesFormat = true;
    device->stopped = true;
    device->loaded = false;
    device->drainEvents();
    device->setFlag("pause", true);
    mpv_set_property_string(device->mpv, "end", "none");  // an end holds for every file
    const QByteArray file = QFile::encodeName(path);
    int error = device->command({"loadfile", file.constData(), "replace"});
    if (error >= 0) {
        error = device->waitFor(MPV_EVENT_FILE_LOADED, kLoadTimeoutMs, true);
    } else {
        error = mpvFailure(error);
    }
    if (error != 0) {
        device->command({"stop"});
        m_spare = std::move(device);
        return error;
    }
    device->loaded = true;
    m_open.insert(alias, device);
    return 0;
}

int MpvCommandInterface::seekTo(Device& device, qint64 position) {
    const QByteArray seconds = QByteArray::number(device.toSeconds(position), 'f', 6);
    device.drainEvents();
    const int sent = device.command({"seek", seconds.constData(), "absolute+exact"});
    if (sent < 0) {
        return mpvFailure(sent);
    }
    return device.waitFor(MPV_EVENT_PLAYBACK_RESTART, kSeekTimeoutMs);
}

int MpvCommandInterface::play(Device& device, const QStringList& words) {
    const QString from = valueAfter(words, "from");
    const QString to = valueAfter(words, "to");
    if (!from.isEmpty()) {
        if (const int error = seekTo(device, from.toLongLong()); error != 0) {
            return error;
        }
    }
    if (!from.isEmpty() && from == to) {
        device.stopped = false;  // a play of one frame shows it and stays there
        return 0;
    }
    const QByteArray end = to.isEmpty()
                               ? QByteArray("none")
                               : QByteArray::number(device.toSeconds(to.toLongLong()), 'f', 6);
    mpv_set_property_string(device.mpv, "end", end.constData());
    device.stopped = false;
    return device.setFlag("pause", false) < 0 ? mpvFailure(MPV_ERROR_GENERIC) : 0;
}

int MpvCommandInterface::status(Device& device, const QString& item, QString* answer) {
    device.drainEvents();
    const bool atEnd = device.flag("eof-reached");
    if (same(item, "mode")) {
        *answer = device.stopped || atEnd ? QStringLiteral("stopped")
                  : device.flag("pause")  ? QStringLiteral("paused")
                                          : QStringLiteral("playing");
    } else if (same(item, "length")) {
        *answer = QString::number(device.fromSeconds(device.property("duration")));
    } else if (same(item, "position")) {
        // At the end the last frame stays on screen; the position is then the length.
        const char* where = atEnd ? "duration" : "time-pos";
        *answer = QString::number(device.fromSeconds(device.property(where)));
    } else if (same(item, "speed")) {
        *answer = QString::number(std::llround(device.property("speed", 1.0) * 1000.0));
    } else {
        return BadArgument;
    }
    return 0;
}

int MpvCommandInterface::set(Device& device, const QStringList& words) {
    if (words.size() >= 5 && same(words.at(2), "time") && same(words.at(3), "format")) {
        if (same(words.at(4), "frames") || same(words.at(4), "ms") ||
            same(words.at(4), "milliseconds")) {
            device.framesFormat = same(words.at(4), "frames");
            return 0;
        }
        return BadArgument;
    }
    if (words.size() >= 5 && same(words.at(2), "audio")) {
        const bool off = same(words.at(4), "off");
        if (!off && !same(words.at(4), "on")) {
            return BadArgument;
        }
        return device.setFlag("mute", off) < 0 ? mpvFailure(MPV_ERROR_PROPERTY_UNAVAILABLE) : 0;
    }
    return BadArgument;
}

int MpvCommandInterface::sendString(const QString& command, QString* answer) {
    answer->clear();
    const QStringList parts = words(command);
    if (parts.isEmpty()) {
        return UnknownCommand;
    }
    const QString& verb = parts.first();
    if (same(verb, "open")) {
        return open(parts);
    }
    if (parts.size() < 2) {
        return BadArgument;
    }
    Device* target = device(parts.at(1));
    if (target == nullptr) {
        return NotOpen;
    }
    Device& dev = *target;
    if (same(verb, "close")) {
        keepMissingAudioOff(dev);
        dev.command({"stop"});
        dev.loaded = false;
        m_spare = m_open.take(parts.at(1).toLower());
        return 0;
    }
    if (same(verb, "play")) {
        return play(dev, parts);
    }
    if (same(verb, "pause") || same(verb, "stop")) {
        dev.stopped = same(verb, "stop");
        return dev.setFlag("pause", true) < 0 ? mpvFailure(MPV_ERROR_GENERIC) : 0;
    }
    if (same(verb, "resume")) {
        dev.stopped = false;
        return dev.setFlag("pause", false) < 0 ? mpvFailure(MPV_ERROR_GENERIC) : 0;
    }
    if (same(verb, "seek") && parts.size() >= 4 && same(parts.at(2), "to")) {
        return seekTo(dev, parts.at(3).toLongLong());
    }
    if (same(verb, "put")) {
        return 0;  // the picture fills the window it was opened in
    }
    if (same(verb, "set")) {
        return set(dev, parts);
    }
    if (same(verb, "setaudio")) {
        const qsizetype to = parts.indexOf(QStringLiteral("to"));
        if (to < 0 || to + 1 >= parts.size()) {
            return BadArgument;
        }
        // The device's scale is 0..1000; libmpv's is percent.
        const double volume = parts.at(to + 1).toDouble() / 10.0;
        return mpv_set_property(dev.mpv, "volume", MPV_FORMAT_DOUBLE,
                                const_cast<double*>(&volume)) < 0
                   ? mpvFailure(MPV_ERROR_PROPERTY_UNAVAILABLE)
                   : 0;
    }
    if (same(verb, "status") && parts.size() >= 3) {
        return status(dev, parts.at(2), answer);
    }
    if (same(verb, "where") && parts.size() >= 3 && same(parts.at(2), "destination")) {
        const qint64 width = dev.integer("width");
        const qint64 height = dev.integer("height");
        if (width <= 0 || height <= 0) {
            return NoMedia;
        }
        *answer = QStringLiteral("0 0 %1 %2").arg(width).arg(height);
        return 0;
    }
    return UnknownCommand;
}
