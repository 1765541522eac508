// Times the frame inspector on full-size records: opening it with a record
// of each test, painting one screenful of the hex view of a 262,144-byte
// reply, and repainting the frame view at 16x. The records are made by the
// console's own tests, recorded as the window records them, on a scripted
// camera that answers at once. Figures only; nothing is asserted.
//
//   inspector_timing [repeats]     (any Qt platform; bench-console.sh uses Xvfb)
#include "procedures/camera_tests.h"
#include "frames/run_recorder.h"
#include "inspector/frame_view.h"
#include "inspector/frames_window.h"
#include "inspector/hex_view.h"
#include "inspector/record_page.h"
#include "link/send_command.h"
#include "platform/error_report.h"
#include "platform/event_pump.h"
#include "platform/null_platform.h"
#include "platform/timing.h"
#include "sim/camsim_reply.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace {

// A camera on the link that answers every command at once from a table.
class ScriptedLink final : public SerialLink {
public:
    explicit ScriptedLink(std::map<std::string, std::string> replies) : m_replies(std::move(replies)) {}
    void setPortNumber(int) override {}
    void setReceiveBufferSize(int) override {}
    void setPortOpen(bool open) override { m_open = open; }
    bool portOpen() const override { return m_open; }
    void setOutput(const std::string &bytes) override { m_pending += m_replies[bytes]; }
    std::string input() override { return std::exchange(m_pending, {}); }
    int inBufferCount() override { return static_cast<int>(m_pending.size()); }

private:
    std::map<std::string, std::string> m_replies;
    std::string m_pending;
    bool m_open = false;
};

class ScriptedDriver final : public CameraDriver {
public:
    std::int32_t CAM_Init(const char *) override { return 1; }
    std::int32_t CAM_Ping() override { return 1; }
    std::int32_t CAM_DumpFrame(std::uint8_t *buffer) override
    {
        const std::string dump = camsim::DumpReply(camsim::Pattern::Bars);
        std::memcpy(buffer, dump.data(), dump.size());
        return 1;
    }
    void CAM_ClosePort() override {}
    std::optional<std::string> CAM_LastError() override { return std::nullopt; }
};

// Time that passes only when slept.
class VirtualTime final : public Sleeper, public TickClock, public SecondsClock {
public:
    void sleepMs(int ms) override { m_ms += ms; }
    std::int64_t ticksMs() override { return m_ms; }
    SecondsReading now() override { return { 0, static_cast<std::int32_t>(m_ms / 1000) }; }

private:
    std::int64_t m_ms = 0;
};

class NoEvents final : public EventPump {
public:
    void processPending() override {}
};

class NoErrors final : public ErrorReporter {
public:
    void showError(const std::string &) override {}
};

// Records one run of each test.
void RecordAllTests(RunRecorder &recorder, const std::string &dumpReply)
{
    NullLog log;
    NullSurface pic;
    ScriptedLink link({ { "\r", "ACK\r:" },
                        { "DF\r", dumpReply },
                        { "PM 1\r", "ACK\r:" },
                        { "LM 1\r", "ACK\r:" },
                        { "TW\r", camsim::LineModeReply() } });
    VirtualTime time;
    NoEvents events;
    NoErrors errors;
    ScriptedDriver driver;
    const ConsolePlatform platform { log, pic, link, time, time, time, events, errors, driver };
    const std::pair<TestKind, std::function<void(CameraTests &)>> runs[] = {
        { TestKind::Direct, [](CameraTests &t) { t.df_nomral_Click(); } },
        { TestKind::LineMode, [](CameraTests &t) { t.df_bin_Click(); } },
        { TestKind::Driver, [](CameraTests &t) { t.df_dll_Click(); } },
    };
    for (const auto &[kind, test] : runs) {
        RecordedRun run(recorder, kind, platform, "bench");
        CameraTests tests(run.platform());
        test(tests);
    }
}

// Milliseconds per call of work, over repeats: the least and the median.
void Report(const char *what, int repeats, double targetMs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-58s min %7.2f ms  median %7.2f ms  (target %.0f ms)\n", what, times.front(), times[times.size() / 2],
                targetMs);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::printf("Qt platform: %s\n\n", qPrintable(QGuiApplication::platformName()));

    // Opening the inspector on a full record of each test: the records'
    // walks, images and views are built and the window is shown and painted.
    RunRecorder recorder;
    RecordAllTests(recorder, camsim::DumpReply(camsim::Pattern::Bars));
    Report("open the inspector with three records", repeats, 100, [&] {
        FramesWindow window;
        window.showRecords(recorder);
        window.show();
        window.repaint();
        QApplication::processEvents();
    });

    // The hex view of a 262,144-byte reply (the dump reception's limit):
    // seven and a half full frames back to back.
    std::string longReply;
    while (longReply.size() < kDumpReceptionLimit)
        longReply += camsim::DumpReply(camsim::Pattern::Checker);
    longReply.resize(kDumpReceptionLimit);
    RunRecorder longRecorder;
    RecordAllTests(longRecorder, longReply);
    FramesWindow window;
    window.resize(1600, 1000); // a screenful: a window filling a large screen
    window.showRecords(longRecorder);
    window.show();
    QApplication::processEvents();
    HexView *hex = window.page(TestKind::Direct)->hexView();
    int row = 0;
    Report("paint one screenful of the hex view (262,144 bytes)", repeats, 5, [&] {
        hex->verticalScrollBar()->setValue(row);
        row = (row + 997) % std::max(1, hex->verticalScrollBar()->maximum());
        hex->viewport()->repaint();
    });
    std::printf("%-58s %zu bytes, %d rows on screen\n", "", window.page(TestKind::Direct)->record()->reply.size(),
                hex->viewport()->height() / QFontMetrics(hex->font()).height());

    FrameView *frame = window.page(TestKind::Direct)->frameView();
    frame->setZoom(16);
    Report("repaint the frame view at 16x", repeats, 5, [&] { frame->viewport()->repaint(); });
    std::printf("%-58s %dx%d view pixels\n", "", frame->viewport()->width(), frame->viewport()->height());
    return 0;
}
