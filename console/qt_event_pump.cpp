#include "qt_event_pump.h"

#include "test_session.h"

#include <QCoreApplication>

QtEventPump::QtEventPump(const TestSession &session) : m_session(session)
{
}

void QtEventPump::processPending()
{
    if (!m_sinceLast.isValid() || m_sinceLast.elapsed() >= kIntervalMs) {
        QCoreApplication::processEvents();
        m_sinceLast.start();
    }
    if (m_session.cancelRequested())
        throw TestCancelled();
}
