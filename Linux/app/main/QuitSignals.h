#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP end the suite through the same clean exit as
// its Exit command (sync log deleted, tray icon removed): the handler only
// writes a byte that the event loop reads.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
