// Console append speed and memory, beside a plain QPlainTextEdit that appends
// and scrolls per line, run in the same process.
#include "BenchTable.h"
#include "AppState.h"
#include "BenchSupport.h"
#include "Communication.h"
#include "ConsoleModel.h"
#include "ConsoleView.h"
#include "Context.h"
#include "D2XXUnit.h"
#include "Ftd2xx.h"
#include "HttpClient.h"
#include "PedalSession.h"
#include "PrintConsole.h"
#include "RealServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

namespace {

// No devices; every call fails as with nothing attached.
class NoBridge final : public Ftd2xx {
public:
    FT_STATUS FT_ListDevices(void *, void *, DWORD) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_OpenEx(void *, DWORD, FT_HANDLE *) override { return ft::DEVICE_NOT_FOUND; }
    FT_STATUS FT_Close(FT_HANDLE) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD *) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Read(FT_HANDLE, void *, DWORD, DWORD *) override { return ft::INVALID_HANDLE; }
    FT_STATUS FT_Write(FT_HANDLE, void *, DWORD, DWORD *) override { return ft::INVALID_HANDLE; }
};

// The console window with the context it needs, over no bridge.
struct ConsoleRig {
    BenchServices services;
    NoBridge bridge;
    AppState state;
    ConsoleModel model;
    D2XXUnit usb{bridge, model};
    Communication comm{usb, model, services.clock, state};
    PedalSession session{usb, comm, model, services.clock, state};
    Context context{services.over(bridge), state, model, session};
};

QString dumpLine(int i)
{
    // The shape of an EEPROM dump line.
    return QStringLiteral("E2P byte %1: %2").arg(i, 5, 10, QLatin1Char('0')).arg(i & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

std::size_t heapInUse()
{
    // Small allocations plus the large ones malloc serves by mmap.
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double consoleRun(int lines, bool *lastVisible, std::size_t *heapGrowth = nullptr, std::size_t *textBytes = nullptr)
{
    ConsoleRig rig;
    ConsoleModel &model = rig.model;
    TformPrint window(rig.context);
    window.show();
    QApplication::processEvents();
    std::vector<QString> text;
    text.reserve(static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i)
        text.push_back(dumpLine(i));
    const std::size_t before = heapInUse();
    QElapsedTimer t;
    t.start();
    for (const QString &line : text)
        model.ConsolePrint(line);
    window.Memo1->viewport()->repaint();
    const double ms = t.nsecsElapsed() / 1e6;
    if (heapGrowth)
        *heapGrowth = heapInUse() - before;
    if (textBytes)
        *textBytes = model.textBytes();
    *lastVisible = window.Memo1->isLineVisible(model.lineCount() - 1) && model.lastLine() == text.back();
    return ms;
}

double naiveRun(int lines)
{
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(489, 606);
    edit.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < lines; ++i) {
        edit.appendPlainText(dumpLine(i));
        edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
    }
    edit.viewport()->repaint();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);
    const bool quick = argc > 1 && QByteArray(argv[1]) == "--quick";

    bool visible = false;
    consoleRun(1000, &visible); // warm-up: fonts, style
    auto best = [&](int lines) {
        double b = 1e300;
        for (int i = 0; i < 3; ++i)
            b = std::min(b, consoleRun(lines, &visible));
        return b;
    };
    const double dump = best(16384);
    const bool dumpVisible = visible;
    const double k100 = best(100000);
    const double k200 = best(200000);
    std::size_t growth = 0, textBytes = 0;
    consoleRun(200000, &visible, &growth, &textBytes);
    const double perLine = (static_cast<double>(growth) - static_cast<double>(textBytes)) / 200000.0;

    const double naiveDump = naiveRun(16384);
    const double naive100 = quick ? 0 : naiveRun(100000);

    tableHeader("console");
    tableRow("console: 16,384-line dump, autoscroll", fmt("%.1f ms", dump), "50 ms", dump / 50.0,
             dumpVisible ? "last line visible" : "LAST LINE NOT VISIBLE");
    tableRow("console: 200,000 lines, autoscroll", fmt("%.1f ms", k200), "600 ms", k200 / 600.0);
    tableRow("console: growth 100,000 -> 200,000 lines", fmt("x%.2f", k200 / k100), "x2 (linear)", -1);
    tableRow("console: memory per line beyond its text", fmt("%.1f B", perLine), "100 B", perLine / 100.0);
    tableRow("console: heap after 200,000 lines", fmt("%.1f MiB", growth / 1048576.0), "-", -1,
             fmt("of which text %.1f MiB", textBytes / 1048576.0));
    tableRow("console: 16,384 lines, naive QPlainTextEdit (peer)", fmt("%.1f ms", naiveDump), fmt("%.1f ms", dump),
             dump / naiveDump, fmt("console is %.0fx faster", naiveDump / dump));
    if (!quick)
        tableRow("console: 100,000 lines, naive QPlainTextEdit (peer)", fmt("%.1f ms", naive100), fmt("%.1f ms", k100),
                 k100 / naive100, fmt("console is %.0fx faster", naive100 / k100));
    return 0;
}
