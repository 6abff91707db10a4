// Memory of "Copy Results To Clipboard" on a big valid list, through the real
// Qt clipboard: fills the input list (about 60 % valid numbers), validates it,
// copies the valid list, then reads the clipboard's plain text as a pasting
// program would. Prints seconds, the resident and the peak resident memory
// (VmRSS, VmHWM) after each stage.
//
//     QT_QPA_PLATFORM=offscreen bench_clipboard [entries]   (default 10,000,000)

#include "app/form1.h"
#include "benchsupport.h"
#include "export/clipboard.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

#include <cstdio>

namespace {

void report(const char *stage, double seconds)
{
    std::printf("%-34s %7.3f s   RSS %6.0f MiB   peak RSS %6.0f MiB\n", stage, seconds, statusMiB("VmRSS"),
                statusMiB("VmHWM"));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype entries = countArgument(argc, argv, 1, 10'000'000);

    QtPlatform platform;
    Form1 w(platform);
    w.ListView1->ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    w.ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    w.ListView3->ColumnHeaders.Add(QStringLiteral("Invalid Numbers"));
    Form1::SetCheckValue(w.Check1, 1);
    Form1::SetCheckValue(w.Check2, 1);
    Form1::SetCheckValue(w.Check3, 1);
    report("start", 0);

    // 60 % valid numbers in three shapes, the rest with a letter in them.
    QElapsedTimer timer;
    timer.start();
    NumberListModel &input = *w.ListView1->listModel();
    char text[24];
    input.reserve(entries);
    input.beginBatch();
    for (qsizetype i = 0; i < entries; ++i) {
        const int n = int(i * 7919 % 10'000'000);
        int length = 0;
        switch (i % 5) {
        case 0:
        case 1:
            length = std::snprintf(text, sizeof text, "888-%03d-%04d", n / 10000 % 1000, n % 10000);
            break;
        case 2:
            length = std::snprintf(text, sizeof text, "1-800-%03d-%04d", n / 10000 % 1000, n % 10000);
            break;
        default:
            length = std::snprintf(text, sizeof text, "555-%03d-%04dX", n / 10000 % 1000, n % 10000);
            break;
        }
        input.append(QLatin1StringView(text, length));
    }
    input.endBatch();
    report("input filled", double(timer.nsecsElapsed()) / 1e9);

    timer.restart();
    w.PushButton17_Click();
    report("validated", double(timer.nsecsElapsed()) / 1e9);
    std::printf("valid %lld, invalid %lld\n", static_cast<long long>(w.ListView2->ListItems.Count()),
                static_cast<long long>(w.ListView3->ListItems.Count()));

    timer.restart();
    // The command without its message box.
    copyListToClipboard(w.platform(), w.ListView2->listModel()->snapshot(), [&w] { w.DoEvents(); });
    report("valid list copied (on offer)", double(timer.nsecsElapsed()) / 1e9);

    timer.restart();
    const qsizetype bytes =
        QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")).size();
    report("text read as a paste does", double(timer.nsecsElapsed()) / 1e9);
    std::printf("clipboard text: %.1f MiB UTF-8\n", double(bytes) / (1024.0 * 1024.0));
    report("after the paste", 0);
    return 0;
}
