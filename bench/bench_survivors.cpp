// Memory after a few entries survive a big list: load a file whose lines are
// all invalid but a few hundred numbers, validate, then "Clear List" and clear
// the invalid list, through the real handlers. Prints the resident memory and
// the bytes of the text chunks after each step.
//
//     bench_survivors [megabytes] [valid lines] [file]
//
// The input file (default /tmp/quillory_bench_survivors_<megabytes>_<valid>.txt,
// CR LF lines of 13 characters) is generated when missing and kept.

#include "app/form1.h"
#include "benchsupport.h"
#include "platform/fakeplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <string>

namespace {

bool generate(const QString &path, qsizetype lines, qsizetype valid)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qsizetype stride = lines / valid;
    std::string block;
    char line[32];
    for (qsizetype i = 0; i < lines; ++i) {
        const long long n = static_cast<long long>(i % 10'000'000'000LL);
        if (i % stride == stride / 2 && i / stride < valid) // ten digits in the 3-3-4 shape
            std::snprintf(line, sizeof line, "%03lld-%03lld-%04lld\r\n", n / 10'000'000 % 1000,
                          n / 10'000 % 1000, n % 10'000);
        else // one digit too many
            std::snprintf(line, sizeof line, "%03lld-%03lld-%05lld\r\n", n / 100'000'000 % 1000,
                          n / 100'000 % 1000, n % 100'000);
        block += line;
        if (block.size() > (std::size_t(1) << 20)) {
            if (file.write(block.data(), qint64(block.size())) != qint64(block.size()))
                return false;
            block.clear();
        }
    }
    return file.write(block.data(), qint64(block.size())) == qint64(block.size());
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype megabytes = countArgument(argc, argv, 1, 200);
    const qsizetype valid = countArgument(argc, argv, 2, 200);
    const qsizetype lines = megabytes * 1'000'000 / 15;
    const QString path = argc > 3 && argv[3][0] != '\0'
        ? QString::fromLocal8Bit(argv[3])
        : QStringLiteral("/tmp/quillory_bench_survivors_%1_%2.txt").arg(megabytes).arg(valid);
    if (!QFileInfo::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        if (!generate(path, lines, valid)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("input: %s, %.1f MB\n", qPrintable(path), double(QFileInfo(path).size()) / 1e6);

    FakePlatform platform;
    Form1 window(platform);
    window.Form_Load();
    platform.messages.clear();
    Form1::SetCheckValue(window.Check1, 1);
    const double rssBefore = statusMiB("VmRSS");
    const TextArena &arena = *window.ListView1->listModel()->arena();

    const struct
    {
        const char *name;
        void (Form1::*handler)();
    } steps[] = {
        {"load", &Form1::PushButton3_Click},
        {"validate", &Form1::PushButton17_Click},
        {"clear list (input)", &Form1::PushButton1_Click},
        {"clear invalid results", &Form1::PushButton9_Click},
    };
    std::printf("%-22s %8s %9s %9s %9s %11s %12s\n", "step", "seconds", "input", "valid", "invalid",
                "chunks MiB", "RSS grew MiB");
    platform.openAnswers.enqueue(path);
    for (const auto &step : steps) {
        QElapsedTimer timer;
        timer.start();
        (window.*step.handler)();
        std::printf("%-22s %8.3f %9lld %9lld %9lld %11.1f %12.1f\n", step.name,
                    double(timer.nsecsElapsed()) / 1e9,
                    static_cast<long long>(window.ListView1->ListItems.Count()),
                    static_cast<long long>(window.ListView2->ListItems.Count()),
                    static_cast<long long>(window.ListView3->ListItems.Count()),
                    double(arena.bytesAllocated()) / (1024.0 * 1024.0), statusMiB("VmRSS") - rssBefore);
    }
    for (const FakePlatform::Message &m : platform.messages)
        std::printf("message: %s\n",
                    qPrintable(QString(m.text).replace(QLatin1Char('\r'), QLatin1Char('|'))));
    return 0;
}
