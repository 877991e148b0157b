#pragma once

#include <QObject>
#include <QString>

// Desktop notifications over the freedesktop.org service: a line of text that, when
// clicked, asks for the window. Nothing is sent where no such service runs.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifier(QObject* parent = nullptr);
    void notify(const QString& summary, const QString& body);

Q_SIGNALS:
    void clicked();

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);

private:
    uint m_lastId = 0;
};
