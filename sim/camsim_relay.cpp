#include "sim/camsim_relay.h"

#include "sim/camsim_priority.h"
#include "sim/camsim_pty.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <new>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kMostRelays = 4;
constexpr std::size_t kRelayStack = std::size_t { 256 } * 1024;
constexpr int kGapSlots = 16;
// A relay that holds the turn longer than this was stopped with its CPU;
// another takes the turn over.
constexpr auto kTurnTimeout = 5ms;
// How long an idle relay sleeps when nothing wakes it (it is woken by bytes
// queued and by the console's input).
constexpr auto kIdle = 100ms;

std::int64_t Ns(TimePoint t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

TimePoint At(std::int64_t ns)
{
    return TimePoint(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns)));
}

int Pending(int fd)
{
    int n = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return n;
}

} // namespace

struct GapSlot {
    std::atomic<std::uint64_t> sequence; // index + 1 once written
    std::atomic<std::int64_t> lengthNs;
    std::atomic<std::uint64_t> atByte;
};

struct RelayShared {
    std::atomic<int> quit;
    std::atomic<int> master;
    std::atomic<int> slave;
    std::atomic<std::int64_t> originNs; // the wire's schedule
    std::atomic<std::uint64_t> fed; // bytes camsim queued, over all replies
    std::atomic<std::uint64_t> drained; // bytes camsim took back out of the queue
    std::atomic<std::int64_t> lastDeliveryNs;
    std::atomic<std::int64_t> flowSinceNs;
    std::atomic<std::int64_t> inputSeenNs; // 0: none noted
    std::atomic<std::int64_t> lastReadNs; // when camsim last read the console's input
    std::atomic<std::int64_t> turnNs; // 0: free; else when a relay took it
    std::atomic<std::uint64_t> gapsWritten;
    GapSlot gaps[kGapSlots];
    // Set before the relays start, read-only after.
    int queueRead;
    bool fast;
    bool realtime;
    pid_t parent;
};

namespace {

struct RelayStart {
    RelayShared *shared;
    int cpu; // -1: not bound
};

// Bytes the relays moved into the pty: everything queued, less what camsim
// took back and what still waits. camsim counts bytes as queued before it
// queues them and as taken back after, so a look between the two sees more
// delivered than there is, never less, and the relays err on the slow side.
std::uint64_t Delivered(const RelayShared &s, std::size_t queued)
{
    const std::uint64_t fed = s.fed.load();
    const std::uint64_t gone = s.drained.load() + queued;
    return fed > gone ? fed - gone : 0;
}

bool TakeTurn(RelayShared &s, std::int64_t now)
{
    std::int64_t held = 0;
    if (s.turnNs.compare_exchange_strong(held, now))
        return true;
    return now - held > std::chrono::nanoseconds(kTurnTimeout).count() && s.turnNs.compare_exchange_strong(held, now);
}

void ReleaseTurn(RelayShared &s, std::int64_t taken)
{
    s.turnNs.compare_exchange_strong(taken, 0);
}

void NoteDelivery(RelayShared &s, std::int64_t now, std::uint64_t atByte)
{
    const std::int64_t previous = s.lastDeliveryNs.exchange(now);
    const std::int64_t since = std::max(previous, s.flowSinceNs.load());
    if (now - since < std::chrono::nanoseconds(kReportedGap).count())
        return;
    const std::uint64_t index = s.gapsWritten.fetch_add(1);
    GapSlot &slot = s.gaps[index % kGapSlots];
    slot.lengthNs.store(now - since);
    slot.atByte.store(atByte);
    slot.sequence.store(index + 1);
}

// Moves up to `count` queued bytes into the pty in one step.
ssize_t Move(int queue, int master, std::size_t count)
{
    const ssize_t moved = ::splice(queue, nullptr, master, nullptr, count, SPLICE_F_NONBLOCK);
    if (moved >= 0 || errno != EINVAL)
        return moved;
    // A kernel whose ttys take no splice: read and write, under the turn.
    char buf[kMaxUnread];
    const ssize_t got = ::read(queue, buf, std::min(count, sizeof buf));
    if (got <= 0)
        return got;
    ssize_t done = 0;
    while (done < got) {
        const ssize_t w = ::write(master, buf + done, static_cast<std::size_t>(got - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break; // the pty is gone: what is left is dropped with the reply
        done += w;
    }
    return done;
}

void RelayOnce(RelayShared &s, int queued)
{
    const int master = s.master.load();
    const int slave = s.slave.load();
    if (master < 0 || queued <= 0)
        return;
    const std::int64_t now = Ns(Clock::now());
    if (!TakeTurn(s, now))
        return;
    std::optional<std::size_t> unread;
    if (int pending = 0; slave >= 0 && ::ioctl(slave, TIOCINQ, &pending) == 0 && pending >= 0)
        unread = static_cast<std::size_t>(pending);
    const std::uint64_t delivered = Delivered(s, static_cast<std::size_t>(queued));
    std::int64_t origin = s.originNs.load();
    const RelayMove move
        = PlanRelayMove(At(now), At(origin), delivered, static_cast<std::size_t>(queued), unread, s.fast);
    if (move.newOrigin)
        s.originNs.compare_exchange_strong(origin, Ns(*move.newOrigin));
    if (move.bytes > 0) {
        if (Move(s.queueRead, master, move.bytes) > 0)
            NoteDelivery(s, now, delivered);
    } else if (move.heldBack) {
        // The console has not read what it has: the reply waits on it, which
        // is no gap of camsim's.
        s.lastDeliveryNs.store(now);
    }
    ReleaseTurn(s, now);
}

// Notes when the console's input arrived, for camsim to measure how late its
// answer was. Only input that is still there counts: camsim may have read it
// between the wake-up and the look. A note from before camsim's last read is
// spent (camsim may have taken the note away just before it was made).
void NoteInput(RelayShared &s, int master)
{
    const std::int64_t now = Ns(Clock::now());
    if (Pending(master) <= 0)
        return;
    std::int64_t noted = s.inputSeenNs.load();
    if (noted == 0 || noted <= s.lastReadNs.load())
        s.inputSeenNs.compare_exchange_strong(noted, now);
}

// SIGUSR1 only wakes a relay from its poll.
void OnWake(int)
{
}

int RelayMain(void *arg)
{
    const RelayStart start = *static_cast<RelayStart *>(arg);
    RelayShared &s = *start.shared;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != s.parent)
        return 0;
    ::prctl(PR_SET_NAME, "camsim-relay");
    if (start.cpu >= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(start.cpu, &set);
        ::sched_setaffinity(0, sizeof set, &set);
    }
    // camsim's own policy is not handed on to its children.
    if (s.realtime)
        RaiseSchedulingPriority();
    const auto tick = std::chrono::milliseconds(s.fast ? kFastTick : kPaceTick);

    while (!s.quit.load()) {
        const int queued = Pending(s.queueRead);
        RelayOnce(s, queued);

        const int master = s.master.load();
        // The console's input is watched whether or not camsim has seen the
        // console come (camsim may be stopped since before), while none waits
        // for camsim: input that waits is noted, and looked at again a tick
        // later rather than polled for in a busy loop.
        const bool inputWaits = master >= 0 && Pending(master) > 0;
        if (inputWaits)
            NoteInput(s, master);
        pollfd fds[2];
        nfds_t n = 0;
        if (queued == 0)
            fds[n++] = { s.queueRead, POLLIN, 0 };
        const bool watchInput = master >= 0 && !inputWaits;
        if (watchInput)
            fds[n++] = { master, POLLIN, 0 };
        const auto wait = queued > 0 || inputWaits ? tick : std::chrono::milliseconds(kIdle);
        const int ready = ::poll(fds, n, static_cast<int>(wait.count()));
        if (ready > 0 && watchInput && (fds[n - 1].revents & POLLIN))
            NoteInput(s, master);
    }
    return 0;
}

std::vector<int> RelayCpus()
{
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE && static_cast<int>(cpus.size()) < kMostRelays; ++cpu)
            if (CPU_ISSET(cpu, &set))
                cpus.push_back(cpu);
    }
    if (cpus.empty())
        cpus.push_back(-1);
    return cpus;
}

} // namespace

bool Relays::start(bool fast, bool realtime, std::string &error)
{
    void *page = ::mmap(nullptr, sizeof(RelayShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        error = Errno("mmap");
        return false;
    }
    m_shared = new (page) RelayShared {};
    int queue[2];
    if (::pipe2(queue, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = Errno("pipe");
        stop();
        return false;
    }
    m_queueRead = queue[0];
    m_queueWrite = queue[1];
    RelayShared &s = *m_shared;
    s.master = -1;
    s.slave = -1;
    s.queueRead = m_queueRead;
    s.fast = fast;
    s.realtime = realtime;
    s.parent = ::getpid();
    s.originNs = Ns(Clock::now());

    // The relays' wake-up signal; set before they start, so that none is
    // ever ended by it. camsim itself only ignores it.
    struct sigaction wake {};
    wake.sa_handler = OnWake; // no SA_RESTART: a relay's poll returns
    ::sigemptyset(&wake.sa_mask);
    ::sigaction(SIGUSR1, &wake, nullptr);

    for (const int cpu : RelayCpus()) {
        void *stack
            = ::mmap(nullptr, kRelayStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (stack == MAP_FAILED) {
            error = Errno("mmap");
            stop();
            return false;
        }
        RelayStart relay { m_shared, cpu };
        // A process of its own (its own signals, its own stops) that shares
        // camsim's descriptor table. Its memory is a copy, stack included,
        // so camsim's copy of the stack goes at once.
        const pid_t pid = ::clone(RelayMain, static_cast<char *>(stack) + kRelayStack, CLONE_FILES | SIGCHLD, &relay);
        ::munmap(stack, kRelayStack);
        if (pid < 0) {
            error = Errno("clone");
            stop();
            return false;
        }
        m_pids.push_back(pid);
    }
    return true;
}

void Relays::stop()
{
    if (m_shared)
        m_shared->quit = 1;
    // A relay holds nothing that needs an orderly end.
    for (const pid_t pid : m_pids) {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }
    m_pids.clear();
    if (m_queueRead >= 0)
        ::close(m_queueRead);
    if (m_queueWrite >= 0)
        ::close(m_queueWrite);
    m_queueRead = m_queueWrite = -1;
    if (m_shared) {
        m_shared->~RelayShared();
        ::munmap(m_shared, sizeof(RelayShared));
        m_shared = nullptr;
    }
}

void Relays::setPty(int master, int slave)
{
    m_shared->master = master;
    m_shared->slave = slave;
    // A relay asleep without the pty looks at the new one at once.
    if (master >= 0)
        ptyClosed();
}

void Relays::ptyClosed()
{
    // A relay asleep in poll() on the master holds it open, and the console
    // would see the hangup only when that poll ends: wake them. (setPty()
    // wakes them for a new pty the same way.)
    for (const pid_t pid : m_pids)
        ::kill(pid, SIGUSR1);
}

std::size_t Relays::queued() const
{
    return static_cast<std::size_t>(Pending(m_queueRead));
}

std::size_t Relays::enqueue(std::string_view bytes)
{
    if (bytes.empty())
        return 0;
    m_shared->fed += bytes.size();
    const ssize_t n = ::write(m_queueWrite, bytes.data(), bytes.size());
    const std::size_t in = n > 0 ? static_cast<std::size_t>(n) : 0;
    m_shared->fed -= bytes.size() - in;
    return in;
}

void Relays::discardQueued()
{
    char scratch[4096];
    for (;;) {
        const ssize_t n = ::read(m_queueRead, scratch, sizeof scratch);
        if (n <= 0)
            return;
        m_shared->drained += static_cast<std::uint64_t>(n);
    }
}

std::uint64_t Relays::delivered() const
{
    return Delivered(*m_shared, queued());
}

void Relays::restartWire(TimePoint now)
{
    // The next byte is due at once: the wire has carried it already.
    m_shared->originNs = Ns(WireOriginFor(now, delivered() + 1));
}

void Relays::setFlowSince(TimePoint since)
{
    m_shared->flowSinceNs = Ns(since);
}

TimePoint Relays::flowSince() const
{
    return At(m_shared->flowSinceNs.load());
}

TimePoint Relays::lastDelivery() const
{
    return At(m_shared->lastDeliveryNs.load());
}

std::optional<TimePoint> Relays::takeInputArrival(TimePoint lastRead)
{
    const std::int64_t seen = m_shared->inputSeenNs.exchange(0);
    if (seen == 0 || seen <= Ns(lastRead))
        return std::nullopt;
    return At(seen);
}

void Relays::inputRead(TimePoint at)
{
    m_shared->lastReadNs = Ns(at);
}

std::vector<ReplyGap> Relays::takeGaps()
{
    std::vector<ReplyGap> gaps;
    RelayShared &s = *m_shared;
    const std::uint64_t written = s.gapsWritten.load();
    if (written - m_gapsRead > kGapSlots)
        m_gapsRead = written - kGapSlots; // overwritten before camsim looked
    for (; m_gapsRead < written; ++m_gapsRead) {
        GapSlot &slot = s.gaps[m_gapsRead % kGapSlots];
        if (slot.sequence.load() != m_gapsRead + 1)
            break; // still being written; next time
        gaps.push_back({ std::chrono::nanoseconds(slot.lengthNs.load()), slot.atByte.load() });
    }
    return gaps;
}

} // namespace camsim
