#include "stop_signals.h"

#include <csignal>

namespace {

constexpr int kStopSignals[] = { SIGINT, SIGTERM };

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previous[2];
bool g_installed[2] = { false, false };

void RestoreDefault(int signal)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

extern "C" void NoteSignal(int signal)
{
    g_received = signal;
    // The next stop signal ends the process at once (sigaction is
    // async-signal-safe).
    for (int i = 0; i < 2; ++i) {
        if (g_installed[i])
            RestoreDefault(kStopSignals[i]);
    }
}

} // namespace

StopSignals::StopSignals()
{
    g_received = 0;
    struct sigaction action = {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    // Interrupted waits resume; the run looks at the flag when it can act on it.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        sigaction(kStopSignals[i], nullptr, &g_previous[i]);
        g_installed[i] = g_previous[i].sa_handler != SIG_IGN;
        if (g_installed[i])
            sigaction(kStopSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < 2; ++i) {
        if (g_installed[i])
            sigaction(kStopSignals[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
}

int StopSignals::received()
{
    return g_received;
}

void StopSignals::endBy(int signal)
{
    RestoreDefault(signal);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
}
