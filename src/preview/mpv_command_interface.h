#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

#include "preview/module_multimedia.h"

struct mpv_handle;

// The project's own interpreter of the preview's media command texts, over libmpv:
// one player per alias, the picture drawn into the parent window the open names
// (libmpv's "wid"), positions in frames or milliseconds as the time format says.
// Commands: open, play [from F] [to T], pause, resume, stop, close, seek to F,
// put window at, set time format, set audio, setaudio volume, status mode | length |
// position | speed, where destination.
class MpvCommandInterface : public MciCommandInterface {
public:
    struct Options {
        QString videoOutput;  // libmpv's "vo"; empty for its own choice
        QString audioOutput;  // "ao"
    };

    explicit MpvCommandInterface(Options options = {});
    ~MpvCommandInterface() override;
    MpvCommandInterface(const MpvCommandInterface&) = delete;
    MpvCommandInterface& operator=(const MpvCommandInterface&) = delete;

    int sendString(const QString& command, QString* answer) override;
    QString errorString(int error) override;

    // The words of a command: blanks separate them, double quotes keep a word together
    // and a backslash in quotes escapes the next character.
    static QStringList words(const QString& command);

private:
    struct Device;

    int open(const QStringList& words);
    int play(Device& device, const QStringList& words);
    int status(Device& device, const QString& item, QString* answer);
    int set(Device& device, const QStringList& words);
    int seekTo(Device& device, qint64 position);
    Device* device(const QString& alias);
    void keepMissingAudioOff(Device& device);
    std::unique_ptr<Device> makeDevice(quint64 parent, int* error);

    Options m_options;
    QHash<QString, std::shared_ptr<Device>> m_open;  // by alias, in lower case
    std::shared_ptr<Device> m_spare;                 // a closed player kept for the next open
};
