#pragma once

// A private X server for the tests and benchmarks that need a real window.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// A private X server on the first free display number.
class VirtualDisplay
{
public:
    ~VirtualDisplay() { stop(); }

    // Xvfb picks a free display number itself and writes it to standard
    // output once it accepts clients: no race with other servers or with one
    // that is still shutting down.
    // `screen` is Xvfb's WIDTHxHEIGHTxDEPTH.
    bool start(const QString &xvfb = QStringLiteral("Xvfb"),
               const QString &screen = QStringLiteral("1280x1024x24"))
    {
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(xvfb,
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server.waitForStarted(5000))
            return false;
        QByteArray answer;
        QElapsedTimer waited;
        waited.start();
        while (!answer.contains('\n') && m_server.state() == QProcess::Running && waited.elapsed() < 15000) {
            m_server.waitForReadyRead(100);
            answer += m_server.readAllStandardOutput();
        }
        bool ok = false;
        const int number = answer.trimmed().toInt(&ok);
        if (!ok)
            return false;
        m_name = QStringLiteral(":%1").arg(number);
        return true;
    }

    void stop()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(5000);
        }
    }

    // ":N", once started.
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};
