// The preset library: an entry activated to the last message handed to the
// driver (all twenty values changing every time), and a folder of 10,000
// presets listed from the first show of the window until it is painted.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "CountingBridge.h"
#include "Editor.h"
#include "PresetLibraryWindow.h"
#include "PresetListModel.h"
#include "Presets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QListView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString presetText(std::uint32_t base)
{
    std::array<std::uint32_t, Presets::kLines> values{};
    for (int k = 0; k < Presets::kLines; ++k)
        values[static_cast<std::size_t>(k)] = base + static_cast<std::uint32_t>(k) * 0x101u;
    return Presets::buildPresetText(values);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    offscreenUnlessChosen();
    QApplication app(argc, argv);

    // Activation to the last write.
    double loadMs = 0;
    int writesPerLoad = 0;
    {
        BenchServices services;
        CountingBridge bridge;
        Editor editor(services.over(bridge));
        const QString folder = Presets::PresetFolder(services.paths.documentsFolder());
        QDir().mkpath(folder);
        Presets::writePresetFile(QDir(folder).filePath("Lead.txt"), presetText(0x00300000));
        Presets::writePresetFile(QDir(folder).filePath("Clean.txt"), presetText(0x00100000));
        TformPresetLibrary &library = *editor.windows().formPresetLibrary;
        library.setLinked(true);
        library.show();
        app.processEvents();
        bridge.clock.start();
        std::vector<double> rounds;
        for (int round = 0; round < 40; ++round) {
            library.select(round % 2 ? QStringLiteral("Lead") : QStringLiteral("Clean"));
            const std::size_t before = bridge.writeTimes.size();
            const qint64 start = bridge.clock.nsecsElapsed();
            library.loadSelected();
            rounds.push_back((bridge.lastWriteNs - start) / 1e6);
            writesPerLoad = static_cast<int>(bridge.writeTimes.size() - before);
            app.processEvents();
        }
        loadMs = median(rounds);
    }

    // 10,000 presets listed.
    double listMs = 0, relistMs = 0;
    {
        BenchServices services;
        CountingBridge bridge;
        Editor editor(services.over(bridge));
        const QString folder = Presets::PresetFolder(services.paths.documentsFolder());
        QDir().mkpath(folder);
        const QByteArray bytes = "\xEF\xBB\xBF" + presetText(0x00200000).toUtf8();
        for (int i = 0; i < 10000; ++i) {
            QFile file(QDir(folder).filePath(QStringLiteral("Preset %1.txt").arg(i, 5, 10, QLatin1Char('0'))));
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
        }
        TformPresetLibrary &library = *editor.windows().formPresetLibrary;
        QElapsedTimer t;
        t.start();
        library.show();
        app.processEvents();
        library.lstPresets->viewport()->repaint();
        listMs = t.nsecsElapsed() / 1e6;
        if (library.model().rowCount() != 10000)
            std::fprintf(stderr, "listed %d presets, not 10000\n", library.model().rowCount());
        t.restart();
        library.refresh();
        library.lstPresets->viewport()->repaint();
        relistMs = t.nsecsElapsed() / 1e6;
    }

    tableHeader("library");
    tableRow("library: entry activated to the last message handed to the driver", fmt("%.3f ms", loadMs), "10 ms",
             loadMs / 10.0, fmt("median of 40 loads, %d writes each", writesPerLoad));
    tableRow("library: 10,000 presets listed", fmt("%.1f ms", listMs), "200 ms", listMs / 200.0,
             fmt("first show, every file read and checked; listed again: %.1f ms", relistMs));
    return 0;
}
