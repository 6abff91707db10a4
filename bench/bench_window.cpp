// The pipeline as a user meets it: the real window on a private X server
// (Xvfb), the real Qt platform layer and file dialogs. The script loads a text
// file through the open dialog, validates, and saves the valid and the invalid
// list through the save dialog.
//
// The keys that start the stages (Return in the file dialog, Space on the
// validate button) come over X from an observer outside the process
// (bench_wmping), which then pings the window as a window manager does until
// it answers promptly again. Each stage is timed twice from the same key
// press: in-process, to a probe event posted below every repaint and layout
// request once the handler has returned; and from outside, to the window's
// first prompt answer after that. The first moment the GUI thread has nothing
// left to do after the probe, and the longest wait between two ticks of a
// 1 ms timer, are recorded too. In the same run, two passes of grep and a
// hand-written one-thread matcher give a reference; their outputs must be
// byte-identical.
//
//     bench_window [--threads 1|2] [lines] [file]
//     bench_window --tune-peers [lines] [file]     (the ways of grep and of
//                                                    the hand matcher, timed)
//
// The input (default /tmp/quillory_bench_pipeline_<lines>.txt, the file
// bench_pipeline makes) is generated when missing and kept; every output goes
// to a temporary folder next to it and is removed at the end.

#include "app/form1.h"
#include "benchinput.h"
#include "benchsupport.h"
#include "peers.h"
#include "platform/qtplatform.h"
#include "platform/workers.h"
#include "tests/virtualdisplay.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <time.h>

#ifdef QUILLORY_BENCH_GLIB
#include <glib.h>
#endif

namespace {

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

// CLOCK_MONOTONIC, the clock the observer reads too.
qint64 monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The real platform layer, except that the start-up draw never opens a web
// browser in the middle of a measurement.
class BenchPlatform final : public Platform
{
public:
    void MsgBox(const QString &text, int style, const QString &title) override
    {
        // Recorded, not shown: a modal box would stop the script.
        Q_UNUSED(style);
        Q_UNUSED(title);
        messages << text;
    }
    QString InputBox(const QString &prompt, const QString &title) override
    {
        return m_qt.InputBox(prompt, title);
    }
    QString ShowOpen(const FileDialogSettings &s) override { return answered(m_qt.ShowOpen(s)); }
    QString ShowSave(const FileDialogSettings &s) override { return answered(m_qt.ShowSave(s)); }
    bool ClipboardClear() override { return m_qt.ClipboardClear(); }
    bool ClipboardSetText(const QString &text, int format) override
    {
        return m_qt.ClipboardSetText(text, format);
    }
    bool ClipboardSetText(std::shared_ptr<const DeferredText> text, int format) override
    {
        return m_qt.ClipboardSetText(std::move(text), format);
    }
    QString ClipboardText() override { return m_qt.ClipboardText(); }
    QString GetSetting(const QString &app, const QString &section, const QString &key,
                       const QString &defaultValue) override
    {
        return m_qt.GetSetting(app, section, key, defaultValue);
    }
    void SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override
    {
        m_qt.SaveSetting(app, section, key, value);
    }
    void Shell(const QString &, const QStringList &) override {}
    QString ProgramFolder() override { return m_qt.ProgramFolder(); }
    double SecondsSinceMidnight() override { return m_qt.SecondsSinceMidnight(); }
    void ProcessEvents() override { m_qt.ProcessEvents(); }
    QString SpreadsheetFolder() override { return m_qt.SpreadsheetFolder(); }
    SpreadsheetProgram FindSpreadsheetProgram() override { return m_qt.FindSpreadsheetProgram(); }

    QStringList messages;
    qint64 dialogAnsweredAt = -1; // CLOCK_MONOTONIC, once a file dialog has closed

private:
    QString answered(const QString &file)
    {
        dialogAnsweredAt = monotonicNs();
        return file;
    }

    QtPlatform m_qt;
};

// Receives the probe that tells the event loop has answered: posted with the
// lowest priority, it is delivered after every repaint and layout request that
// was pending when it was posted.
class Probe : public QObject
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 11);
    std::function<void()> onAnswer;
    void post() { QCoreApplication::postEvent(this, new QEvent(kType), std::numeric_limits<int>::min()); }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != kType)
            return QObject::event(e);
        if (onAnswer)
            std::exchange(onAnswer, {})();
        return true;
    }
};

struct StageResult
{
    const char *name;
    double wall = 0;    // key press to the in-process probe
    double outside = 0; // key press to the window's prompt answer, seen by the observer
    double idle = 0;    // key press to the first moment the GUI thread had nothing left to do
    double dialog = -1; // key press to the file dialog's answer reaching the command (closed and gone)
    double cpu = 0;
    double maxGapMs = 0;
    double longestPingMs = 0;
    double peakMiB = 0;
    double outsidePeakMiB = 0;
    double afterMs = 0;    // from the probe to the observer's verdict
    double afterCpuMs = 0; // the GUI thread's CPU time meanwhile (answering pings included)
};

// The first time the GUI thread is about to block with nothing pending once
// armed: the work the window still does after a command's handler returned
// (timers, layouts, paints). Qt announces every wait; with the GLib
// dispatcher the announcement comes even when sources are ready, so they are
// asked first.
class IdleWatch
{
public:
    IdleWatch()
    {
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        m_glib = dispatcher->inherits("QEventDispatcherGlib");
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] { aboutToBlock(); });
    }
    void arm()
    {
        m_at = -1;
        m_armed = true;
    }
    qint64 at() const { return m_at; }
    bool glibChecked() const
    {
#ifdef QUILLORY_BENCH_GLIB
        return m_glib;
#else
        return false;
#endif
    }

private:
    void aboutToBlock()
    {
        if (!m_armed)
            return;
#ifdef QUILLORY_BENCH_GLIB
        if (m_glib && g_main_context_pending(nullptr))
            return;
#endif
        m_at = monotonicNs();
        m_armed = false;
    }

    bool m_glib = false;
    bool m_armed = false;
    qint64 m_at = -1;
};

// The observer outside the process (bench_wmping), one command and one
// answer a line.
class Observer
{
public:
    bool start(const QString &program)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, {});
        return m_process.waitForStarted(5000);
    }
    void send(const QByteArray &line)
    {
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(1000);
    }
    // The next line, the event loop running meanwhile (the window keeps
    // answering the observer's pings); empty when the observer is gone.
    QByteArray await()
    {
        while (!m_process.canReadLine()) {
            if (m_process.state() != QProcess::Running && !m_process.canReadLine())
                return {};
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return m_process.readLine().trimmed();
    }
    void stop()
    {
        if (m_process.state() == QProcess::Running) {
            send("quit");
            if (!m_process.waitForFinished(2000))
                m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QProcess m_process;
};

// Records when the event loop last answered; the longest silence in a stage.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
        m_clock.start();
        m_timer.start();
    }
    void beat()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_last = now;
    }
    // Starts a stage: the silence counts from now.
    void reset()
    {
        m_last = m_clock.nsecsElapsed();
        m_maxGap = 0;
    }
    double maxGapMs()
    {
        beat();
        return double(m_maxGap) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};

// Seconds of wall and CPU time.
struct Took
{
    double wall = -1;
    double cpu = -1;
};

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs grep twice (the matching lines, then the others) and answers the time
// both took; a negative wall time when grep failed.
Took runGrep(const GrepWay &way, const QString &path, const QString &matching, const QString &rest)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (way.cLocale)
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    const double cpu = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (const bool invert : {false, true}) {
        QProcess grep;
        grep.setProcessEnvironment(environment);
        grep.setStandardOutputFile(invert ? rest : matching);
        QStringList args = way.args;
        if (invert)
            args.prepend(QStringLiteral("-v"));
        grep.start(QStringLiteral("grep"), args << path);
        // Exit status 1 only says no line matched.
        if (!grep.waitForFinished(-1) || grep.exitStatus() != QProcess::NormalExit || grep.exitCode() > 1) {
            std::fprintf(stderr, "grep %s failed\n", qPrintable(args.join(QLatin1Char(' '))));
            return {};
        }
    }
    return {seconds(clock), childrenCpuSeconds() - cpu};
}

Took runHand(const HandWay &way, const QString &path, const QString &matching, const QString &rest)
{
    const double cpu = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    if (handMatcher(path, matching, rest, way) < 0) {
        std::fprintf(stderr, "the hand matcher could not read or write its files\n");
        return {};
    }
    return {seconds(clock), processCpuSeconds() - cpu};
}

// Times the ways of grep and of the hand matcher (best of five each, wall
// and CPU apart) and checks that each sorts the lines as the first hand
// matcher does.
int tunePeers(const QString &path, QTemporaryDir &work)
{
    const QString handValid = work.filePath(QStringLiteral("hand.valid.txt"));
    const QString handInvalid = work.filePath(QStringLiteral("hand.invalid.txt"));
    const QString valid = work.filePath(QStringLiteral("way.valid.txt"));
    const QString invalid = work.filePath(QStringLiteral("way.invalid.txt"));
    handMatcher(path, handValid, handInvalid); // also warms the page cache
    bool allSame = true;
    const auto report = [&](const char *what, const char *name, const auto &run) {
        Took best{1e9, 1e9};
        for (int i = 0; i < 5; ++i) {
            const Took t = run();
            if (t.wall < 0)
                return false;
            best = {std::min(best.wall, t.wall), std::min(best.cpu, t.cpu)};
        }
        const bool same = sameBytes(valid, handValid) && sameBytes(invalid, handInvalid);
        allSame = allSame && same;
        std::printf("%-12s %-42s %7.3f s  cpu %7.3f s%s   load %s\n", what, name, best.wall, best.cpu,
                    same ? "" : "  OUTPUT DIFFERS", qPrintable(loadAverage()));
        return true;
    };
    for (const HandWay &way : kHandWays) {
        if (!report("hand matcher", way.name, [&] { return runHand(way, path, valid, invalid); }))
            return 1;
    }
    for (const GrepWay &way : grepWays()) {
        if (qgetenv("QUILLORY_TUNE") == "hand")
            break;
        if (!report("grep", way.name, [&] { return runGrep(way, path, valid, invalid); }))
            return 1;
    }
    return allSame ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Options first, then the positional arguments.
    int threads = 0;
    bool tune = false;
    std::vector<char *> positional{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--tune-peers") == 0)
            tune = true;
        else
            positional.push_back(argv[i]);
    }
    if (threads != 0)
        Workers::setCount(threads);
    const int args = int(positional.size());
    const qsizetype lines = countArgument(args, positional.data(), 1, 10'000'000);
    const QString path = args > 2 ? QString::fromLocal8Bit(positional[2])
                                  : QStringLiteral("/tmp/quillory_bench_pipeline_%1.txt").arg(lines);

    // The settings and caches of the run stay in a folder of their own.
    QTemporaryDir work(QFileInfo(path).absolutePath() + QStringLiteral("/quillory_bench_window_XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder beside %s\n", qPrintable(path));
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(work.filePath(QStringLiteral("cache"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(work.path()));
    QFile::setPermissions(work.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    VirtualDisplay display;
    {
        // QProcess needs an application object; a core one is enough here.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        if (!tune && !display.start()) {
            std::fprintf(stderr, "cannot start Xvfb\n");
            return 1;
        }
    }
    if (!tune) {
        qputenv("DISPLAY", display.name().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    if (!QFileInfo::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        if (!generateInput(path, lines)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("input: %s, %lld lines, %.1f MB; display %s\n", qPrintable(path),
                static_cast<long long>(lines), double(QFileInfo(path).size()) / 1e6,
                tune ? "none" : qPrintable(display.name()));
    if (tune)
        return tunePeers(path, work);
    std::printf("threads %d\n", Workers::count());

    // The reference, on a warm page cache: two passes of grep, then the
    // hand-written matcher, each writing two files in the work folder; the
    // two pairs must hold the same bytes.
    const QString grepValid = work.filePath(QStringLiteral("grep.valid.txt"));
    const QString grepInvalid = work.filePath(QStringLiteral("grep.invalid.txt"));
    const QString handValid = work.filePath(QStringLiteral("hand.valid.txt"));
    const QString handInvalid = work.filePath(QStringLiteral("hand.invalid.txt"));
    handMatcher(path, handValid, handInvalid);
    const GrepWay grepWay = grepWays().front();
    const Took grep = runGrep(grepWay, path, grepValid, grepInvalid);
    if (grep.wall < 0)
        return 1;
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children); // only grep has ended so far
    const double grepPeakMiB = double(children.ru_maxrss) / 1024.0;
    const Took hand = runHand(kHandWays[0], path, handValid, handInvalid);
    if (hand.wall < 0)
        return 1;
    const double grepSeconds = grep.wall;
    const double handSeconds = hand.wall;
    std::printf(
        "grep %s, two passes   %7.3f s  cpu %7.3f s  peak RSS %6.1f MiB  (%.1f and %.1f MB written)\n",
        grepWay.name, grep.wall, grep.cpu, grepPeakMiB, double(QFileInfo(grepValid).size()) / 1e6,
        double(QFileInfo(grepInvalid).size()) / 1e6);
    std::printf("hand matcher, one thread, %s   %7.3f s  cpu %7.3f s  peak RSS %6.1f MiB   load %s\n",
                kHandWays[0].name, hand.wall, hand.cpu, peakRssMiB(), qPrintable(loadAverage()));
    if (!sameBytes(grepValid, handValid) || !sameBytes(grepInvalid, handInvalid)) {
        std::fprintf(stderr, "FAILED: grep and the hand matcher sorted the lines differently\n");
        return 1;
    }
    std::printf("  grep and the hand matcher wrote the same bytes\n");
    for (const QString &f : {grepValid, grepInvalid, handValid, handInvalid})
        QFile::remove(f);

    BenchPlatform platform;
    Form1 window(platform);
    window.Form_Load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never shown\n");
        return 1;
    }
    window.activateWindow();
    Form1::SetCheckValue(window.Check1, 1);
    Form1::SetCheckValue(window.Check2, 1);
    Form1::SetCheckValue(window.Check3, 1);
    QTest::qWait(200);

    // Every way out after this point stops the observer and the X server
    // (exit() runs no destructors).
    Observer observer;
    const auto fail = [&](const QString &why) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        observer.stop();
        display.stop();
        work.remove();
        std::exit(1);
    };
    if (!observer.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_wmping")))
        fail(QStringLiteral("cannot start bench_wmping beside this program"));
    observer.send("window " + QByteArray::number(quint64(window.winId())));
    if (const QByteArray answer = observer.await(); answer != "ready")
        fail(QStringLiteral("the observer: %1").arg(QString::fromLatin1(answer)));
    // The first key typed into a text field has Qt load the keyboard's
    // compose table (5 to 10 ms): once in a process, long done when a user
    // presses Return in a file dialog. It happens here, in a field of its
    // own, and not in the first stage.
    {
        QLineEdit field;
        field.show();
        if (!QTest::qWaitForWindowExposed(&field))
            fail(QStringLiteral("the text field for the first key was never shown"));
        field.activateWindow();
        field.setFocus();
        observer.send("warm " + QByteArray::number(quint64(field.winId())));
        const QList<QByteArray> warmed = observer.await().split(' ');
        if (warmed.value(0) != "warmed")
            fail(QStringLiteral("the observer: %1").arg(QString::fromLatin1(warmed.join(' '))));
        std::printf("first key into a text field answered after %.1f ms\n", warmed.value(1).toDouble() / 1e6);
    }
    window.activateWindow();
    QTest::qWait(200);
    // How long pings to the idle window take on this machine now.
    observer.send("calibrate 2000");
    const QList<QByteArray> calibrated = observer.await().split(' ');
    if (calibrated.value(0) != "calibrated")
        fail(QStringLiteral("the observer: %1").arg(QString::fromLatin1(calibrated.join(' '))));
    std::printf(
        "pings to the idle window: %lld, median %.3f ms, longest %.3f ms; kept waiting above %.3f ms\n",
        calibrated.value(1).toLongLong(), calibrated.value(2).toDouble() / 1e6,
        calibrated.value(3).toDouble() / 1e6, calibrated.value(4).toDouble() / 1e6);

    Heartbeat heartbeat;
    Probe probe;
    IdleWatch idle;
    std::vector<StageResult> results;
    double stageCpu = 0;
    // The key goes out from the observer; the stage's clocks start with it.
    const auto press = [&](QWidget *focus, const char *key) {
        heartbeat.reset();
        stageCpu = processCpuSeconds();
        observer.send(QByteArray("key ") + QByteArray::number(quint64(focus->window()->winId())) + ' ' + key);
    };

    // Presses the button. When it opens a file dialog, `answer` is chosen in
    // it and the stage starts with the Return that accepts it (the button
    // itself is pressed in-process, untimed); otherwise the stage starts with
    // Space on the focused button. In-process, the stage ends when the probe,
    // posted once the handler has returned, is delivered.
    const auto runStage = [&](const char *name, QPushButton *button, const QString &answer) {
        bool done = false;
        StageResult result{name};
        platform.dialogAnsweredAt = -1;
        qint64 probedAt = 0;
        double probedCpu = 0;
        // Every answer is a new file in the work folder: a box the file
        // dialog raises (replace a file? a warning) means the script slipped.
        // Say what it asked and stop without answering yes.
        QTimer boxWatch;
        boxWatch.setInterval(50);
        QObject::connect(&boxWatch, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                fail(QStringLiteral("the dialog asked: %1").arg(box->text()));
        });
        boxWatch.start();
        std::unique_ptr<QTimer> dialogWatch;
        if (!answer.isEmpty()) {
            dialogWatch = std::make_unique<QTimer>();
            dialogWatch->setInterval(10);
            QObject::connect(dialogWatch.get(), &QTimer::timeout, [&] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                if (!dialog || !dialog->isVisible())
                    return;
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (!edit)
                    return;
                dialogWatch->stop();
                edit->setFocus();
                // The dialog may still select the command's previous file
                // once its folder is read: choose again until the answer holds.
                dialog->setDirectory(QFileInfo(answer).absolutePath());
                // Paths, not QFileInfo: two files that do not exist yet compare equal.
                const QString wanted = QFileInfo(answer).absoluteFilePath();
                // The program's dialog answers the name in the box, in the
                // dialog's folder; Qt's selectedFiles() may still name the
                // file picked in the list before the name was typed.
                const auto answered = [&] {
                    return QFileInfo(QDir(dialog->directory()).absoluteFilePath(edit->text()))
                               .absoluteFilePath()
                        == wanted;
                };
                // It has settled once the answer has held for half a second.
                int held = 0;
                for (int attempt = 0; attempt < 100 && held < 5; ++attempt) {
                    if (!answered()) {
                        // Typed, as a person would: selectFile() leaves a
                        // focused name box alone.
                        edit->selectAll();
                        QTest::keyClicks(edit, QFileInfo(answer).fileName());
                    }
                    QTest::qWait(100); // let the dialog settle as a person would
                    held = answered() ? held + 1 : 0;
                }
                // Never let a slip of the script replace the input file.
                if (!answered() || dialog->focusWidget() != edit)
                    fail(QStringLiteral("the dialog would answer %1 instead of %2")
                             .arg(QDir(dialog->directory()).absoluteFilePath(edit->text()), answer));
                press(dialog, "Return");
            });
            dialogWatch->start();
        }
        // Connected after the window's own handler: runs once it has returned.
        const QMetaObject::Connection returned = QObject::connect(button, &QPushButton::clicked, [&] {
            probe.onAnswer = [&] {
                probedAt = monotonicNs();
                probedCpu = threadCpuSeconds();
                result.cpu = processCpuSeconds() - stageCpu;
                result.maxGapMs = heartbeat.maxGapMs();
                result.peakMiB = peakRssMiB();
                idle.arm();
                observer.send("probe " + QByteArray::number(probedAt));
                done = true;
            };
            probe.post();
        });
        QTimer::singleShot(0, &window, [&] {
            button->setFocus();
            if (answer.isEmpty())
                press(button, "space");
            else
                QTest::keyClick(button, Qt::Key_Space);
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(returned);
        dialogWatch.reset();
        // The observer answers when the key went out, then, once the window
        // has answered promptly for a while, what it saw.
        const QList<QByteArray> sent = observer.await().split(' ');
        const QList<QByteArray> seen = observer.await().split(' ');
        // Whether the window worked after the probe or only waited for a core:
        // a slow ping with the GUI thread idle is the machine's doing.
        result.afterCpuMs = (threadCpuSeconds() - probedCpu) * 1e3;
        result.afterMs = double(monotonicNs() - probedAt) / 1e6;
        if (sent.value(0) != "sent" || seen.value(0) != "done" || seen.size() < 6)
            fail(QStringLiteral("the observer answered: %1 / %2")
                     .arg(QString::fromLatin1(sent.join(' ')), QString::fromLatin1(seen.join(' '))));
        const qint64 keyAt = sent.value(1).toLongLong();
        result.wall = double(probedAt - keyAt) / 1e9;
        result.outside = double(seen.value(1).toLongLong() - keyAt) / 1e9;
        result.longestPingMs = double(seen.value(2).toLongLong()) / 1e6;
        result.outsidePeakMiB = double(seen.value(5).toLongLong()) / 1024.0;
        result.idle = idle.at() < 0 ? -1 : double(idle.at() - keyAt) / 1e9;
        if (platform.dialogAnsweredAt > 0)
            result.dialog = double(platform.dialogAnsweredAt - keyAt) / 1e9;
        results.push_back(result);
        // The stage's window on CLOCK_MONOTONIC, for a profile cut to it
        // (perf record -k CLOCK_MONOTONIC, then perf report --time).
        if (qEnvironmentVariableIsSet("QUILLORY_BENCH_MARKS"))
            std::printf("mark %s %lld.%09lld,%lld.%09lld\n", name, keyAt / 1'000'000'000,
                        keyAt % 1'000'000'000, probedAt / 1'000'000'000, probedAt % 1'000'000'000);
        std::printf(
            "%-18s in-process %7.3f s  outside %7.3f s (%+7.1f ms)  idle %7.3f s  longest ping %6.1f ms  "
            "cpu %7.3f s  longest wait %6.1f ms  peak RSS %7.1f MiB, outside %7.1f MiB  "
            "GUI thread after the probe: %.1f ms cpu in %.0f ms  load %s\n",
            name, result.wall, result.outside, (result.outside - result.wall) * 1e3, result.idle,
            result.longestPingMs, result.cpu, result.maxGapMs, result.peakMiB, result.outsidePeakMiB,
            result.afterCpuMs, result.afterMs, qPrintable(loadAverage()));
        if (result.dialog >= 0)
            std::printf("  of it, until the file dialog had closed and answered: %.1f ms\n",
                        result.dialog * 1e3);
        QTest::qWait(200); // the window at rest before the next stage
    };

    const QString validOut = work.filePath(QStringLiteral("valid.txt"));
    const QString invalidOut = work.filePath(QStringLiteral("invalid.txt"));
    runStage("import", window.PushButton3, path);
    std::printf("  entries %lld\n", static_cast<long long>(window.ListView1->ListItems.Count()));
    runStage("validate", window.PushButton17, QString());
    std::printf("  valid %lld, invalid %lld\n", static_cast<long long>(window.ListView2->ListItems.Count()),
                static_cast<long long>(window.ListView3->ListItems.Count()));
    // A save that wrote elsewhere, or nothing, would time the wrong thing.
    const auto checkWritten = [&](const QString &out, qsizetype entries) {
        const double megabytes = double(QFileInfo(out).size()) / 1e6;
        std::printf("  %.1f MB written\n", megabytes);
        if (entries > 0 && megabytes < double(entries) * 1e-6)
            fail(QStringLiteral("%1 was not written as asked").arg(out));
    };
    runStage("save valid list", window.PushButton4, validOut);
    checkWritten(validOut, window.ListView2->ListItems.Count());
    runStage("save invalid list", window.PushButton8, invalidOut);
    checkWritten(invalidOut, window.ListView3->ListItems.Count());
    observer.stop();

    StageResult whole{"whole"};
    for (const StageResult &r : results) {
        whole.wall += r.wall;
        whole.outside += r.outside;
        whole.idle += r.idle;
        whole.cpu += r.cpu;
        whole.longestPingMs = std::max(whole.longestPingMs, r.longestPingMs);
        whole.maxGapMs = std::max(whole.maxGapMs, r.maxGapMs);
        whole.peakMiB = std::max(whole.peakMiB, r.peakMiB);
        whole.outsidePeakMiB = std::max(whole.outsidePeakMiB, r.outsidePeakMiB);
    }
    std::printf("%-18s in-process %7.3f s  outside %7.3f s (%+7.1f ms)  idle %7.3f s  longest ping %6.1f ms  "
                "cpu %7.3f s  longest wait %6.1f ms  peak RSS %7.1f MiB, outside %7.1f MiB\n",
                "whole", whole.wall, whole.outside, (whole.outside - whole.wall) * 1e3, whole.idle,
                whole.longestPingMs, whole.cpu, whole.maxGapMs, whole.peakMiB, whole.outsidePeakMiB);
    std::printf(
        "ratios: in-process %.2f x grep, %.2f x hand matcher; outside %.2f x grep, %.2f x hand matcher\n",
        whole.wall / grepSeconds, whole.wall / handSeconds, whole.outside / grepSeconds,
        whole.outside / handSeconds);
    if (!idle.glibChecked())
        std::printf("(idle: the dispatcher's announcement taken as it comes, pending sources not asked)\n");
    for (const QString &m : std::as_const(platform.messages))
        std::printf("message: %s\n", qPrintable(QString(m).replace(QLatin1Char('\r'), QLatin1Char('|'))));
    window.hide();
    return 0;
}
