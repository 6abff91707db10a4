#pragma once

// Measuring helpers shared by the benchmarks.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstdlib>

#include <sys/resource.h>
#include <time.h>

// A field of /proc/self/status in MiB ("VmHWM": peak, "VmRSS": now); -1 when
// it cannot be read.
inline double statusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// Peak resident set size of this process, in MiB.
inline double peakRssMiB()
{
    return statusMiB("VmHWM");
}

// CPU seconds of the whole process, worker threads included.
inline double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The part of processCpuSeconds() spent in the kernel: copying into the page
// cache, clearing pages the process touches for the first time.
inline double kernelCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds used by this thread: on a shared machine the wall clock also
// counts the time other processes held the core.
inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The benchmarks need no screen unless one is asked for; call before the
// application object is made.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The count given as argument `index`, or `fallback` when there is none.
inline qsizetype countArgument(int argc, char **argv, int index, qsizetype fallback)
{
    return argc > index ? qsizetype(std::atoll(argv[index])) : fallback;
}
