// Times the frame inspector on full-size records: opening it with a record
// of each test, painting one screenful of the hex view of a 262,144-byte
// reply, and repainting the frame view at 16x. The records are made by the
// console's own tests, recorded as the window records them, on the tests'
// fakes answering at once. Figures only; nothing is asserted.
//
//   inspector_timing [repeats]     (any Qt platform; bench-console.sh uses Xvfb)
#include "frames/last_runs.h"
#include "frames/recorded_test.h"
#include "inspector/frame_view.h"
#include "inspector/frames_window.h"
#include "inspector/hex_view.h"
#include "inspector/record_page.h"
#include "link/send_command.h"
#include "sim/camsim_reply.h"
#include "support/fake_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// Records one run of each test, on fakes that answer at once: the direct
// test's ping and dump, the line-mode test's two mode commands and capture,
// and the driver's dump.
void RecordAllTests(LastRuns &recorder, const std::string &dumpReply)
{
    FakePlatform fakes;
    fakes.com.answerNext("ACK\r:");
    fakes.com.answerNext(dumpReply);
    fakes.com.answerNext("ACK\r:");
    fakes.com.answerNext("ACK\r:");
    fakes.com.answerNext(camsim::LineModeReply());
    fakes.driver.dumpBytes = camsim::DumpReply(camsim::Pattern::Bars);
    for (TestKind kind : { TestKind::Direct, TestKind::LineMode, TestKind::Driver })
        RunRecordedTest(recorder, kind, fakes.platform, "bench");
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
    LastRuns recorder;
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
    LastRuns longRecorder;
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
