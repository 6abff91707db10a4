// The pipeline as a user meets it: the real window on a private X server
// (Xvfb), the real Qt platform layer and file dialogs. The script loads a text
// file through the open dialog, validates, and saves the valid and the invalid
// list through the save dialog. Each stage is timed from the key press that
// starts it (Return in the file dialog, Space on the validate button) to the
// moment the window's event loop answers again: a probe event posted below
// every repaint and layout request once the handler has returned. A 1 ms timer
// records the longest wait between two answers of the event loop during the
// stage. In the same run, two passes of `grep -E -x` and a small hand-written
// matcher (read, classify, write two files) give a reference.
//
//     bench_window [lines] [file]
//
// The input (default /tmp/quillory_bench_pipeline_<lines>.txt, the file
// bench_pipeline makes) is generated when missing and kept; every output goes
// to a temporary folder next to it and is removed at the end.

#include "app/form1.h"
#include "benchinput.h"
#include "benchsupport.h"
#include "platform/qtplatform.h"
#include "tests/virtualdisplay.h"

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

#include <fcntl.h>
#include <unistd.h>

namespace {

// The shapes as one extended regular expression; lines end in CR.
std::string shapesRegex()
{
    std::string re = "(";
    for (const char *shape : kValidShapes) {
        if (re.size() > 1)
            re += '|';
        for (const char *p = shape; *p; ++p) {
            if (*p == '#')
                re += "[0-9]";
            else if (*p == '(' || *p == ')' || *p == '.')
                (re += '\\') += *p;
            else
                re += *p;
        }
    }
    return re + ")\r";
}

// A hand-written matcher of the shapes: the shapes of the line's length, one
// character test each.
bool matchesShape(const char *s, std::size_t n)
{
    static const std::vector<std::vector<const char *>> byLength = [] {
        std::vector<std::vector<const char *>> shapes(16);
        for (const char *shape : kValidShapes)
            shapes[std::strlen(shape)].push_back(shape);
        return shapes;
    }();
    if (n >= byLength.size())
        return false;
    for (const char *shape : byLength[n]) {
        std::size_t i = 0;
        for (; i < n; ++i) {
            const bool digit = unsigned(s[i] - '0') <= 9u;
            if (shape[i] == '#' ? !digit : s[i] != shape[i])
                break;
        }
        if (i == n)
            return true;
    }
    return false;
}

// Reads the file in 1 MiB blocks, sorts every line into one of two outputs
// and writes them with 1 MiB writes. Answers the number of matching lines.
qsizetype handMatcher(const QString &path, const QString &matching, const QString &rest)
{
    const int in = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const int out[2] = {
        ::open(QFile::encodeName(matching).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
        ::open(QFile::encodeName(rest).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    if (in < 0 || out[0] < 0 || out[1] < 0)
        return -1;
    const std::size_t size = std::size_t(1) << 20;
    std::vector<char> buffer(size + 4096);
    std::string pending[2];
    std::string carry;
    qsizetype matched = 0;
    bool ok = true;
    const auto flush = [&](int which) {
        ok = ok
            && ::write(out[which], pending[which].data(), pending[which].size())
                == ssize_t(pending[which].size());
        pending[which].clear();
    };
    ssize_t n;
    while ((n = ::read(in, buffer.data(), size)) > 0) {
        const char *p = buffer.data();
        const char *end = p + n;
        while (const char *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))) {
            const char *line = p;
            std::size_t length = std::size_t(lf - p);
            if (!carry.empty()) {
                carry.append(p, length);
                line = carry.data();
                length = carry.size();
            }
            const std::size_t text = length > 0 && line[length - 1] == '\r' ? length - 1 : length;
            const int which = matchesShape(line, text) ? 0 : 1;
            matched += which == 0;
            pending[which].append(line, length).push_back('\n');
            if (pending[which].size() >= size)
                flush(which);
            carry.clear();
            p = lf + 1;
        }
        carry.append(p, std::size_t(end - p));
    }
    flush(0);
    flush(1);
    ::close(in);
    ok = ::close(out[0]) == 0 && ok;
    ok = ::close(out[1]) == 0 && ok;
    return ok ? matched : -1;
}

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
    QString ShowOpen(const FileDialogSettings &s) override { return m_qt.ShowOpen(s); }
    QString ShowSave(const FileDialogSettings &s) override { return m_qt.ShowSave(s); }
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

private:
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
    double wall = 0;
    double cpu = 0;
    double maxGapMs = 0;
    double peakMiB = 0;
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

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const qsizetype lines = countArgument(argc, argv, 1, 10'000'000);
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2])
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
        if (!display.start()) {
            std::fprintf(stderr, "cannot start Xvfb\n");
            return 1;
        }
    }
    qputenv("DISPLAY", display.name().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
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
                qPrintable(display.name()));

    // The reference, on a warm page cache: two passes of grep, then the
    // hand-written matcher, each writing two files in the work folder.
    const QString grepOut = work.filePath(QStringLiteral("grep.txt"));
    const QString handValid = work.filePath(QStringLiteral("hand.valid.txt"));
    const QString handInvalid = work.filePath(QStringLiteral("hand.invalid.txt"));
    handMatcher(path, handValid, handInvalid);
    double grepSeconds = 0;
    {
        const QString re = QString::fromLatin1(shapesRegex());
        QElapsedTimer clock;
        clock.start();
        for (const bool invert : {false, true}) {
            QProcess grep;
            grep.setStandardOutputFile(grepOut
                                       + (invert ? QStringLiteral(".invalid") : QStringLiteral(".valid")));
            QStringList args{QStringLiteral("-E"), QStringLiteral("-x")};
            if (invert)
                args << QStringLiteral("-v");
            grep.start(QStringLiteral("grep"), args << QStringLiteral("-e") << re << path);
            if (!grep.waitForFinished(-1) || grep.exitStatus() != QProcess::NormalExit) {
                std::fprintf(stderr, "grep failed\n");
                return 1;
            }
        }
        grepSeconds = seconds(clock);
    }
    double handSeconds = 0;
    qsizetype handMatched = 0;
    {
        QElapsedTimer clock;
        clock.start();
        handMatched = handMatcher(path, handValid, handInvalid);
        handSeconds = seconds(clock);
    }
    std::printf("grep -E -x, two passes   %7.3f s  (%.1f and %.1f MB written)\n", grepSeconds,
                double(QFileInfo(grepOut + QStringLiteral(".valid")).size()) / 1e6,
                double(QFileInfo(grepOut + QStringLiteral(".invalid")).size()) / 1e6);
    std::printf("hand matcher             %7.3f s  (%lld lines match)   load %s\n", handSeconds,
                static_cast<long long>(handMatched), qPrintable(loadAverage()));
    for (const QString &f :
         {grepOut + QStringLiteral(".valid"), grepOut + QStringLiteral(".invalid"), handValid, handInvalid})
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

    Heartbeat heartbeat;
    Probe probe;
    std::vector<StageResult> results;
    QElapsedTimer stageClock;
    double stageCpu = 0;
    const auto startStage = [&] {
        heartbeat.reset();
        stageCpu = processCpuSeconds();
        stageClock.start();
    };
    const auto endStage = [&](const char *name) {
        results.push_back(
            {name, seconds(stageClock), processCpuSeconds() - stageCpu, heartbeat.maxGapMs(), peakRssMiB()});
        std::printf("%-24s %7.3f s  cpu %7.3f s  longest wait %6.1f ms  peak RSS %7.1f MiB  load %s\n", name,
                    results.back().wall, results.back().cpu, results.back().maxGapMs, results.back().peakMiB,
                    qPrintable(loadAverage()));
        std::fflush(stdout);
    };

    // Presses the button with the keyboard (focus, Space). When the button
    // opens a file dialog, `answer` is chosen in it and the stage starts with
    // the Return that accepts it; otherwise the stage starts with the press.
    // The stage ends when the probe, posted once the handler has returned, is
    // delivered.
    const auto runStage = [&](const char *name, QPushButton *button, const QString &answer) {
        bool done = false;
        // Every answer is a new file in the work folder: a box the file
        // dialog raises (replace a file? a warning) means the script slipped.
        // Say what it asked and stop without answering yes.
        QTimer boxWatch;
        boxWatch.setInterval(50);
        QObject::connect(&boxWatch, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                std::fprintf(stderr, "the dialog asked: %s\n", qPrintable(box->text()));
                display.stop(); // exit() runs no destructors
                work.remove();
                std::exit(1);
            }
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
                if (!answered()) {
                    std::fprintf(stderr, "the dialog would answer %s instead of %s\n",
                                 qPrintable(QDir(dialog->directory()).absoluteFilePath(edit->text())),
                                 qPrintable(answer));
                    display.stop(); // exit() runs no destructors
                    work.remove();
                    std::exit(1);
                }
                startStage();
                QTest::keyClick(edit, Qt::Key_Return);
            });
            dialogWatch->start();
        }
        QTimer::singleShot(0, &window, [&] {
            button->setFocus();
            if (answer.isEmpty())
                startStage();
            QTest::keyClick(button, Qt::Key_Space);
            probe.onAnswer = [&] {
                endStage(name);
                done = true;
            };
            probe.post();
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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
        if (entries > 0 && megabytes < double(entries) * 1e-6) {
            std::fprintf(stderr, "%s was not written as asked\n", qPrintable(out));
            display.stop(); // exit() runs no destructors
            work.remove();
            std::exit(1);
        }
    };
    runStage("save valid list", window.PushButton4, validOut);
    checkWritten(validOut, window.ListView2->ListItems.Count());
    runStage("save invalid list", window.PushButton8, invalidOut);
    checkWritten(invalidOut, window.ListView3->ListItems.Count());

    double whole = 0;
    double worstStage = 0;
    double worstGap = 0;
    for (const StageResult &r : results) {
        whole += r.wall;
        worstStage = std::max(worstStage, r.wall);
        if (r.name[0] == 's')
            worstGap = std::max(worstGap, r.maxGapMs);
    }
    std::printf("import-validate-save     %7.3f s  = %.2f x grep, %.2f x hand matcher; longest stage %.3f s; "
                "longest wait while saving %.1f ms\n",
                whole, whole / grepSeconds, whole / handSeconds, worstStage, worstGap);
    for (const QString &m : std::as_const(platform.messages))
        std::printf("message: %s\n", qPrintable(QString(m).replace(QLatin1Char('\r'), QLatin1Char('|'))));
    window.hide();
    return 0;
}
