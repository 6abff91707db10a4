// Time and memory of "Save Results As Excel File" on a big valid list: the
// real handler writes the workbook; the hand-over to the spreadsheet program
// is only recorded. Prints seconds, peak RSS and the workbook's size.
//
//     bench_xlsx [entries]        (default 1,000,000)

#include "app/form1.h"
#include "benchsupport.h"
#include "platform/fakeplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

void report(const char *stage, double seconds, double cpu)
{
    std::printf("%-30s %8.2f s wall %8.2f s CPU   peak RSS %8.1f MiB\n", stage, seconds, cpu, peakRssMiB());
}

// Whether openpyxl opens the workbook and finds a row for the title and each
// entry, and LibreOffice reads all of them back; not timed: the quicker
// packing must not cost a reader anything.
bool readersFindEveryRow(const QString &book, qsizetype entries)
{
    const QString rows = QString::number(entries + 1);
    QProcess openpyxl;
    openpyxl.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(QUILLORY_READ_WORKBOOK), QStringLiteral("--size"), book});
    openpyxl.waitForFinished(600000);
    const QByteArray size = openpyxl.readAllStandardOutput().trimmed();
    const bool openpyxlReads = openpyxl.exitCode() == 0 && size.contains(rows.toLatin1());
    std::printf("openpyxl: %s (%s)\n", openpyxlReads ? "opens it" : "FAILED", size.constData());

    QTemporaryDir out;
    QProcess soffice;
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + out.filePath(QStringLiteral("profile")),
                   QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("csv"),
                   QStringLiteral("--outdir"), out.path(), book});
    soffice.waitForFinished(600000);
    QFile csv(out.filePath(QFileInfo(book).completeBaseName() + QStringLiteral(".csv")));
    qsizetype lines = -1;
    QByteArray last;
    if (csv.open(QIODevice::ReadOnly)) {
        lines = 0;
        while (!csv.atEnd()) {
            const QByteArray line = csv.readLine().trimmed();
            if (!line.isEmpty()) {
                ++lines;
                last = line;
            }
        }
    }
    const bool libreOfficeReads = lines == entries + 1;
    std::printf("LibreOffice: %s (%lld rows, the last %s)\n", libreOfficeReads ? "every row" : "FAILED",
                static_cast<long long>(lines), last.constData());
    return openpyxlReads && libreOfficeReads;
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype entries = countArgument(argc, argv, 1, 1'000'000);

    QTemporaryDir folder;
    FakePlatform platform;
    platform.spreadsheetFolder = folder.path();
    platform.spreadsheetProgram = {QStringLiteral("calc"), {QStringLiteral("--calc"), QStringLiteral("-n")}};
    Form1 w(platform);
    if (w.ListView2->ColumnHeaders.Count() == 0)
        w.ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));

    // Numbers in the shapes a validation run lets through, 12 to 14 characters.
    NumberListModel *list = w.ListView2->listModel();
    char text[16];
    list->beginBatch();
    for (qsizetype i = 0; i < entries; ++i) {
        const int n = int(i % 10'000'000);
        const int length = i % 3 == 0
            ? std::snprintf(text, sizeof text, "888-%03d-%04d", n / 10000 % 1000, n % 10000)
            : i % 3 == 1 ? std::snprintf(text, sizeof text, "1-800-%03d-%04d", n / 10000 % 1000, n % 10000)
                         : std::snprintf(text, sizeof text, "(555) %03d-%04d", n / 10000 % 1000, n % 10000);
        list->append(QLatin1StringView(text, length));
    }
    list->endBatch();
    std::printf("entries: %lld\n", static_cast<long long>(entries));
    report("list filled", 0, 0);

    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = processCpuSeconds();
    w.PushButton13_Click();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    report("PushButton13_Click (workbook)", seconds, processCpuSeconds() - cpuBefore);

    if (!platform.messages.isEmpty())
        std::printf("message: %s\n", qPrintable(platform.messages.first().text));
    if (platform.shellCalls.size() != 1) {
        std::printf("the workbook was not handed over\n");
        return 1;
    }
    const QFileInfo book(platform.shellCalls.first().arguments.last());
    std::printf("workbook: %.1f MiB, %.0f entries/s\n", double(book.size()) / (1024.0 * 1024.0),
                double(entries) / seconds);
    if (argc > 2 && std::strcmp(argv[2], "check") == 0)
        return readersFindEveryRow(book.absoluteFilePath(), entries) ? 0 : 1;
    return 0;
}
