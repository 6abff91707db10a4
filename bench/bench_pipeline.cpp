// The whole pipeline a user runs on a big list, through the real handlers:
// load a text file of numbers, validate, save the valid and the invalid list
// as text files. A floor over the same file (large reads, lines split with
// memchr) is measured in the same run; every stage is printed in seconds and
// as a multiple of that floor, with the peak resident set size.
//
//     bench_pipeline [--threads 1|2] [--rest seconds] [lines] [file] [dense-head]
//
// --threads sets how many threads a command may use (QUILLORY_THREADS does
// the same; without either the machine chooses); the count is printed.
// --rest (default 3 s) is how long the benchmark idles before each stage, as
// a user does in a file dialog. It matters under a hypervisor that takes back
// memory left free for a couple of seconds: without the rest, each stage
// would get memory the stage before (or the previous run) has just freed,
// which is cheaper to touch than anything a user's command ever gets.
// The input file (default /tmp/quillory_bench_pipeline_<lines>.txt, of
// 10,000,000 CR LF lines) is generated when missing and kept for the next run;
// the saved lists are removed at the end. With "dense-head" the file starts
// with 1 MiB of bare line feeds (1,048,576 empty entries) before the lines: a
// file whose start says nothing about the rest (default name
// /tmp/quillory_bench_pipeline_<lines>_densehead.txt).

#include "app/form1.h"
#include "benchinput.h"
#include "benchsupport.h"
#include "platform/fakeplatform.h"
#include "platform/workers.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qsizetype kDenseHeadBytes = qsizetype(1) << 20;

// Takes "name value" out of the arguments, so that the others keep their
// places, and answers the value (null when the option is not there).
const char *takeOption(int &argc, char **argv, const char *name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) != 0)
            continue;
        const char *value = argv[i + 1];
        for (int j = i; j + 2 <= argc; ++j)
            argv[j] = argv[j + 2];
        argc -= 2;
        return value;
    }
    return nullptr;
}

void rest(double seconds)
{
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The floor: one pass of 1 MiB reads, each line feed found with memchr.
qsizetype floorPass(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const std::size_t size = std::size_t(1) << 20;
    const std::unique_ptr<char[]> buffer(new char[size]);
    qsizetype lines = 0;
    ssize_t n;
    while ((n = ::read(fd, buffer.get(), size)) > 0) {
        const char *p = buffer.get();
        const char *end = p + n;
        while (const char *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))) {
            ++lines;
            p = lf + 1;
        }
    }
    ::close(fd);
    return lines;
}

// Wall-clock and CPU time of a stage. The machine may be shared: the CPU time
// (user and system) is the steadier figure when it is busy.
class Stopwatch
{
public:
    Stopwatch() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = processCpuSeconds();
        m_kernel = kernelCpuSeconds();
    }
    double wall() const { return double(m_wall.nsecsElapsed()) / 1e9; }
    double cpu() const { return processCpuSeconds() - m_cpu; }
    double kernel() const { return kernelCpuSeconds() - m_kernel; }

private:
    QElapsedTimer m_wall;
    double m_cpu = 0;
    double m_kernel = 0;
};

struct Times
{
    double wall = 0;
    double cpu = 0;
    double kernel = 0; // of the CPU time
    Times &operator+=(const Times &o)
    {
        wall += o.wall;
        cpu += o.cpu;
        kernel += o.kernel;
        return *this;
    }
};

Times taken(const Stopwatch &w)
{
    return {w.wall(), w.cpu(), w.kernel()};
}

void stage(const char *name, Times t, Times floor)
{
    std::printf(
        "%-22s %7.3f s %6.2f x floor | cpu %7.3f s %6.2f x floor (kernel %6.3f s) | peak RSS %7.1f MiB\n",
        name, t.wall, t.wall / floor.wall, t.cpu, t.cpu / floor.cpu, t.kernel, peakRssMiB());
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    if (const char *threads = takeOption(argc, argv, "--threads"))
        Workers::setCount(std::atoi(threads));
    const char *restOption = takeOption(argc, argv, "--rest");
    const double restSeconds = restOption ? std::atof(restOption) : 3.0;
    QApplication app(argc, argv);
    const qsizetype lines = countArgument(argc, argv, 1, 10'000'000);
    const bool denseHead = argc > 3 && std::strcmp(argv[3], "dense-head") == 0;
    const QString path = argc > 2 && argv[2][0] != '\0'
        ? QString::fromLocal8Bit(argv[2])
        : QStringLiteral("/tmp/quillory_bench_pipeline_%1%2.txt")
              .arg(lines)
              .arg(denseHead ? QStringLiteral("_densehead") : QString());
    const qsizetype entries = lines + (denseHead ? kDenseHeadBytes : 0);
    const QString validOut = path + QStringLiteral(".valid.txt");
    const QString invalidOut = path + QStringLiteral(".invalid.txt");

    if (!QFileInfo::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        if (!generateInput(path, lines, denseHead ? kDenseHeadBytes : 0)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("threads: %d; rest before each stage %.1f s\n", Workers::count(), restSeconds);
    std::printf("input: %s, %lld lines, %.1f MB\n", qPrintable(path), static_cast<long long>(entries),
                double(QFileInfo(path).size()) / 1e6);

    // Warm the page cache, then keep the best of three floor passes.
    floorPass(path);
    Times floor{1e9, 1e9, 1e9};
    for (int i = 0; i < 3; ++i) {
        const Stopwatch w;
        if (floorPass(path) != entries) {
            std::fprintf(stderr, "floor pass miscounted the lines\n");
            return 1;
        }
        const Times t = taken(w);
        floor.wall = std::min(floor.wall, t.wall);
        floor.cpu = std::min(floor.cpu, t.cpu);
        floor.kernel = std::min(floor.kernel, t.kernel);
    }
    stage("floor (memchr)", floor, floor);

    FakePlatform platform;
    Form1 window(platform);
    window.Form_Load();
    platform.messages.clear();
    Form1::SetCheckValue(window.Check1, 1);
    Form1::SetCheckValue(window.Check2, 1);
    Form1::SetCheckValue(window.Check3, 1);
    const double rssBefore = statusMiB("VmRSS");
    const double peakBefore = peakRssMiB();

    Stopwatch w;
    platform.openAnswers.enqueue(path);
    rest(restSeconds);
    w.restart();
    window.PushButton3_Click();
    const Times import = taken(w);
    stage("import", import, floor);
    const qsizetype loaded = window.ListView1->ListItems.Count();
    const NumberListModel &input = *window.ListView1->listModel();
    const double kept = (double(input.arena()->bytesAllocated()) + 8.0 * double(loaded)) / (1024.0 * 1024.0);
    std::printf("  entries %lld; kept %.1f MiB (texts and records), RSS grew %.1f MiB, peak grew %.1f MiB\n",
                static_cast<long long>(loaded), kept, statusMiB("VmRSS") - rssBefore,
                peakRssMiB() - peakBefore);
    if (loaded != entries)
        std::printf("  WARNING: expected %lld entries\n", static_cast<long long>(entries));

    rest(restSeconds);
    w.restart();
    window.PushButton17_Click();
    const Times validate = taken(w);
    stage("validate", validate, floor);
    std::printf("  valid %lld, invalid %lld\n", static_cast<long long>(window.ListView2->ListItems.Count()),
                static_cast<long long>(window.ListView3->ListItems.Count()));

    Times save;
    bool saved = true;
    const struct
    {
        const char *name;
        void (Form1::*handler)();
        QString file;
    } saves[] = {
        {"save valid list", &Form1::PushButton4_Click, validOut},
        {"save invalid list", &Form1::PushButton8_Click, invalidOut},
    };
    for (const auto &s : saves) {
        QFile::remove(s.file);
        platform.saveAnswers.enqueue(s.file);
        rest(restSeconds);
        w.restart();
        (window.*s.handler)();
        const Times took = taken(w);
        if (!QFileInfo::exists(s.file)) {
            std::printf("%-22s not built\n", s.name);
            saved = false;
            continue;
        }
        save += took;
        stage(s.name, took, floor);
        std::printf("  %.1f MB written\n", double(QFileInfo(s.file).size()) / 1e6);
        QFile::remove(s.file);
    }

    Times total = import;
    total += validate;
    total += save;
    stage("import-validate-save", total, floor);
    if (!saved)
        std::printf("  (saving not built)\n");
    for (const FakePlatform::Message &m : platform.messages)
        std::printf("message: %s\n",
                    qPrintable(QString(m.text).replace(QLatin1Char('\r'), QLatin1Char('|'))));
    return 0;
}
