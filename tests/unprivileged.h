#pragma once

// Permissions do not bind the superuser, and CI runs as root: a permission
// case then runs its own data row again in a child process as the
// unprivileged user 65534, with a home folder of its own.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

struct UnprivilegedRun
{
    enum Outcome { CannotRun, Passed, Skipped, Failed };
    Outcome outcome = CannotRun;
    QString output; // the child's output, or why it could not run
};

inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// Runs the current test function's current data row as user 65534.
inline UnprivilegedRun rerunRowUnprivileged()
{
    UnprivilegedRun run;
    const QStringList asNobody{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                               QStringLiteral("--clear-groups")};
    const QString program = QCoreApplication::applicationFilePath();
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        run.output =
            QStringLiteral("running as root and setpriv is missing: file permissions cannot be tried");
        return run;
    }
    if (QProcess::execute(QStringLiteral("setpriv"),
                          asNobody + QStringList{QStringLiteral("test"), QStringLiteral("-x"), program})
        != 0) {
        run.output = QStringLiteral("running as root, and an unprivileged user cannot reach this test "
                                    "program: file permissions cannot be tried");
        return run;
    }
    QTemporaryDir home;
    if (!home.isValid() || ::chown(QFile::encodeName(home.path()).constData(), 65534, 65534) != 0) {
        run.output = QStringLiteral("cannot make a home folder for the unprivileged user");
        return run;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    const QString function = QString::fromUtf8(QTest::currentTestFunction());
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"), asNobody + QStringList{program, function + u':' + tag});
    const bool finished = child.waitForFinished(60000);
    run.output = QString::fromLocal8Bit(child.readAll());
    const QString passed =
        QStringLiteral("PASS   : %1::%2(%3)")
            .arg(QLatin1StringView(QTest::testObject()->metaObject()->className()), function, tag);
    if (!finished || child.exitStatus() != QProcess::NormalExit)
        run.outcome = UnprivilegedRun::Failed;
    else if (run.output.contains(QStringLiteral("SKIP   :")))
        run.outcome = UnprivilegedRun::Skipped;
    else if (child.exitCode() == 0 && run.output.contains(passed))
        run.outcome = UnprivilegedRun::Passed;
    else
        run.outcome = UnprivilegedRun::Failed;
    return run;
}

// In a test function: when running as root, runs the row as user 65534,
// takes its outcome for this row's and returns.
#define QUILLORY_RUN_ROW_UNPRIVILEGED_IF_ROOT() \
    do { \
        if (runningAsRoot()) { \
            const UnprivilegedRun unprivileged = rerunRowUnprivileged(); \
            if (unprivileged.outcome == UnprivilegedRun::CannotRun \
                || unprivileged.outcome == UnprivilegedRun::Skipped) \
                QSKIP(qPrintable(unprivileged.output)); \
            QVERIFY2(unprivileged.outcome == UnprivilegedRun::Passed, qPrintable(unprivileged.output)); \
            return; \
        } \
    } while (false)
