// Pasting a big column into the input list through the real clipboard
// (offscreen platform) and the real handler, ListView1_Paste.
//
//     bench_paste [lines]
//
// The clipboard holds `lines` (default 1,000,000) numbers of 12 characters,
// each followed by CR LF (14 MB). It prints the wall and CPU seconds of the
// paste, how often the view was told of new entries, what the list keeps and
// how the resident memory grew.

#include "app/form1.h"
#include "benchsupport.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype lines = countArgument(argc, argv, 1, 1'000'000);

    QString text;
    text.reserve(lines * 14);
    for (qsizetype i = 0; i < lines; ++i) {
        text += QStringLiteral("888-%1-%2\r\n")
                    .arg((i / 10000) % 1000, 3, 10, QLatin1Char('0'))
                    .arg(i % 10000, 4, 10, QLatin1Char('0'));
    }
    QGuiApplication::clipboard()->setText(text);
    const qsizetype bytes = text.size();
    text = QString();

    QtPlatform platform;
    Form1 window(platform);
    window.ListView1->ColumnHeaders.Add(QStringLiteral("Numbers"));
    window.show();
    QCoreApplication::processEvents();
    qsizetype insertions = 0;
    QObject::connect(window.ListView1->listModel(), &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    const double rssBefore = statusMiB("VmRSS");

    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    wall.start();
    window.ListView1_Paste();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = processCpuSeconds() - cpuBefore;

    const NumberListModel &list = *window.ListView1->listModel();
    const double kept =
        (double(list.arena()->bytesAllocated()) + 8.0 * double(list.count())) / (1024.0 * 1024.0);
    std::printf("clipboard: %lld lines, %.1f MB of text\n", static_cast<long long>(lines),
                double(bytes) / 1e6);
    std::printf("paste %.3f s (cpu %.3f s); entries %lld; view told %lld time(s)\n", seconds, cpu,
                static_cast<long long>(list.count()), static_cast<long long>(insertions));
    std::printf("kept %.1f MiB (texts and records), RSS grew %.1f MiB, peak RSS %.1f MiB\n", kept,
                statusMiB("VmRSS") - rssBefore, peakRssMiB());
    return list.count() == lines ? 0 : 1;
}
