#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT, turned into a signal on the thread that made the watch:
// the handler only writes a byte to a socket pair, as nothing else is safe there.
class TerminationWatch : public QObject {
    Q_OBJECT

public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

Q_SIGNALS:
    void terminationRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
