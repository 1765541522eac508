#include "test_session.h"

bool TestSession::tryStart()
{
    if (m_running || m_closeRequested)
        return false;
    m_running = true;
    return true;
}

void TestSession::finish()
{
    m_running = false;
}

bool TestSession::requestClose()
{
    if (!m_running)
        return true;
    m_closeRequested = true;
    return false;
}
