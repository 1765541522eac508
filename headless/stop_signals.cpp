#include "stop_signals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previousInt;
struct sigaction g_previousTerm;

extern "C" void NoteSignal(int signal)
{
    g_received = signal;
}

} // namespace

StopSignals::StopSignals()
{
    g_received = 0;
    struct sigaction action = {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted waits resume; the run looks at the flag when it can act on it.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int StopSignals::received()
{
    return g_received;
}
