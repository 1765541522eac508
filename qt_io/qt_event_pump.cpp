#include "qt_event_pump.h"

#include <QCoreApplication>

QtEventPump::QtEventPump(std::function<bool()> cancelRequested) : m_cancelRequested(std::move(cancelRequested))
{
}

void QtEventPump::processPending()
{
    if (!m_sinceLast.isValid() || m_sinceLast.elapsed() >= kIntervalMs) {
        QCoreApplication::processEvents();
        m_sinceLast.start();
    }
    if (m_cancelRequested())
        throw TestCancelled();
}
