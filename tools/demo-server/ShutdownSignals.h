#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal through a self-pipe, so that the
// server leaves its event loop and ends its child processes cleanly.
class ShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void shutdownRequested(int signalNumber);

private:
    static void handle(int signalNumber);

    QSocketNotifier *m_notifier = nullptr;
};
