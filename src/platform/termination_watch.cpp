#include "platform/termination_watch.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

int g_signalPair[2] = {-1, -1};
constexpr int kWatchedSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void noteTermination(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPair[0], &byte, 1);
}

}  // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPair) != 0) {
        return;  // the default action stays: the program ends as before
    }
    m_notifier = new QSocketNotifier(g_signalPair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatch::drain);
    struct sigaction action = {};
    action.sa_handler = noteTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kWatchedSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

TerminationWatch::~TerminationWatch() {
    if (m_notifier == nullptr) {
        return;
    }
    for (const int signal : kWatchedSignals) {
        ::signal(signal, SIG_DFL);
    }
    delete m_notifier;
    ::close(g_signalPair[0]);
    ::close(g_signalPair[1]);
    g_signalPair[0] = g_signalPair[1] = -1;
}

void TerminationWatch::drain() {
    char bytes[16];
    while (::read(g_signalPair[1], bytes, sizeof bytes) > 0) {
    }
    Q_EMIT terminationRequested();
}
