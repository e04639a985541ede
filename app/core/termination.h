#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace mk {

// Turns SIGTERM, SIGINT and SIGHUP (logging off, a system shutdown, Ctrl+C
// in a terminal) into a call on the event loop, so the program shuts down as
// if its window had been closed: settings written, tables closed, the clean
// shutdown marker set.
class TerminationHandler : public QObject
{
    Q_OBJECT

public:
    explicit TerminationHandler(std::function<void()> onTerminate, QObject* parent = nullptr);
    ~TerminationHandler() override;

private:
    std::function<void()> m_onTerminate;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace mk
