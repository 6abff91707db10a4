#include "platform/fakeplatform.h"

#include "platform/failure.h"

QString FakePlatform::settingKey(const QString &app, const QString &section, const QString &key)
{
    return app + QLatin1Char('/') + section + QLatin1Char('/') + key;
}

void FakePlatform::MsgBox(const QString &text, int style, const QString &title)
{
    messages.append({text, style, title});
    if (onMsgBox)
        onMsgBox(messages.constLast());
}

QString FakePlatform::InputBox(const QString &prompt, const QString &title)
{
    prompts.append(prompt + QLatin1Char('|') + title);
    return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
}

QString FakePlatform::ShowOpen(const FileDialogSettings &settings)
{
    openDialogs.append(settings);
    return openAnswers.isEmpty() ? QString() : openAnswers.dequeue();
}

QString FakePlatform::ShowSave(const FileDialogSettings &settings)
{
    saveDialogs.append(settings);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
}

bool FakePlatform::ClipboardClear()
{
    ++clipboardClearAttempts;
    if (clipboardClearFailures > 0) {
        --clipboardClearFailures;
        return false;
    }
    clipboard.clear();
    clipboardHasText = false;
    return true;
}

bool FakePlatform::clipboardTakesText()
{
    ++clipboardSetAttempts;
    if (clipboardSetFailures > 0) {
        --clipboardSetFailures;
        return false;
    }
    return true;
}

bool FakePlatform::ClipboardSetText(const QString &text, int)
{
    if (!clipboardTakesText())
        return false;
    clipboard = text;
    clipboardHasText = true;
    return true;
}

QString FakePlatform::ClipboardText()
{
    return clipboardHasText ? clipboard : QString();
}

bool FakePlatform::ClipboardSetText(std::shared_ptr<const DeferredText> text, int)
{
    if (!clipboardTakesText())
        return false;
    clipboard = text->text(); // what a paste would get
    clipboardHasText = true;
    return true;
}

QString FakePlatform::GetSetting(const QString &app, const QString &section, const QString &key,
                                 const QString &defaultValue)
{
    return settings.value(settingKey(app, section, key), defaultValue);
}

void FakePlatform::SaveSetting(const QString &app, const QString &section, const QString &key,
                               const QString &value)
{
    if (settingWriteFails)
        throw Failure(QStringLiteral("Permission denied"));
    settings.insert(settingKey(app, section, key), value);
    settingWrites.append(settingKey(app, section, key) + QLatin1Char('=') + value);
}

void FakePlatform::Shell(const QString &program, const QStringList &arguments)
{
    shellCalls.append({program, arguments});
    if (shellFails)
        throw Failure(QStringLiteral("File not found"));
}

QString FakePlatform::ProgramFolder()
{
    return programFolder;
}

double FakePlatform::SecondsSinceMidnight()
{
    return secondsSinceMidnight;
}

void FakePlatform::ProcessEvents()
{
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents();
}

QString FakePlatform::SpreadsheetFolder()
{
    return spreadsheetFolder;
}

SpreadsheetProgram FakePlatform::FindSpreadsheetProgram()
{
    return spreadsheetProgram;
}
