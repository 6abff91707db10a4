#include "app/skinengine.h"

#include "platform/failure.h"

#include <QFile>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <QWidget>

namespace {

QString onOff(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

// Set while a trial sheet is parsed. Per thread: only the parsing thread's
// warnings speak of that sheet.
thread_local bool *t_sheetRejected = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void catchSheetWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_sheetRejected && type == QtWarningMsg
        && message.startsWith(QLatin1String("Could not parse stylesheet"))) {
        *t_sheetRejected = true;
        return;
    }
    g_previousHandler(type, context, message);
}

// Whether Qt's style engine takes the whole sheet. Qt tells a program nothing
// when a sheet does not parse: it logs a warning and applies the rules it read
// before the fault. So the sheet is set on a scratch widget that is polished
// at once, and the warning is caught on its way to the log.
bool styleSheetParses(const QString &sheet)
{
    bool rejected = false;
    // The warning must reach the handler even where logging rules silence it.
    QLoggingCategory *category = QLoggingCategory::defaultCategory();
    const bool warningsWereOn = category->isWarningEnabled();
    category->setEnabled(QtWarningMsg, true);
    t_sheetRejected = &rejected;
    g_previousHandler = qInstallMessageHandler(catchSheetWarning);
    {
        QWidget probe;
        probe.setStyleSheet(sheet);
        probe.ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    t_sheetRejected = nullptr;
    category->setEnabled(QtWarningMsg, warningsWereOn);
    return !rejected;
}

} // namespace

void SkinEngine::LoadSkin(const QString &fileName, const QString &section)
{
    m_operations.append(QStringLiteral("LoadSkin(%1, %2)").arg(fileName, section));
    QFile file(fileName);
    if (!file.exists())
        throw Failure(QStringLiteral("File not found"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read the skin file: ") + file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Cannot read the skin file: ") + file.errorString());
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString sheet = decoder.decode(bytes);
    if (decoder.hasError())
        throw Failure(QStringLiteral("The skin file is not UTF-8 text"));
    if (!styleSheetParses(sheet))
        throw Failure(QStringLiteral("The skin file is not a style sheet"));
    // A failed load keeps the previous skin, so nothing half-read is applied.
    m_styleSheet = std::move(sheet);
    m_loaded = true;
}

void SkinEngine::SetApplicationOptions(int options)
{
    m_operations.append(QStringLiteral("SetApplicationOptions(%1)").arg(options));
    m_options = options;
}

void SkinEngine::SetApplyToNewControls(bool on)
{
    m_operations.append(QStringLiteral("SetApplyToNewControls(%1)").arg(onOff(on)));
    m_applyToNewControls = on;
}

void SkinEngine::SetApplyToPopups(bool on)
{
    m_operations.append(QStringLiteral("SetApplyToPopups(%1)").arg(onOff(on)));
    m_applyToPopups = on;
}

void SkinEngine::ApplyWindow(QWidget *window)
{
    m_operations.append(
        QStringLiteral("ApplyWindow(%1)").arg(window ? window->objectName() : QStringLiteral("null")));
    if (!window)
        throw Failure(QStringLiteral("Invalid window"));
    if (!m_loaded)
        throw Failure(QStringLiteral("No skin loaded"));
    if ((m_options & 1) == 0)
        return;
    if (m_applyToNewControls) {
        window->setStyleSheet(m_styleSheet);
        return;
    }
    const QList<QWidget *> controls = window->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        // A control whose window is not this one is a popup or sits in one.
        if (control->window() != window && !m_applyToPopups)
            continue;
        control->setStyleSheet(m_styleSheet);
    }
}
