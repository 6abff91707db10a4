#pragma once

#include "platform/platform.h"

#include <QHash>
#include <QList>
#include <QQueue>

#include <functional>

// A scripted desktop for tests: records every message box, prompt, dialog,
// clipboard and shell call, and answers prompts and dialogs from queues. An
// empty queue answers like Cancel.
class FakePlatform final : public Platform
{
public:
    struct Message
    {
        QString text;
        int style = 0;
        QString title;
    };
    struct ShellCall
    {
        QString program;
        QStringList arguments;
    };

    // What was shown or done.
    QList<Message> messages;
    QList<QString> prompts; // "prompt|title" of each InputBox
    QList<FileDialogSettings> openDialogs;
    QList<FileDialogSettings> saveDialogs;
    QList<ShellCall> shellCalls;
    QString clipboard;
    bool clipboardHasText = false;
    int clipboardClearAttempts = 0;
    int clipboardSetAttempts = 0;
    int processEventsCalls = 0;

    // Answers.
    QQueue<QString> inputAnswers;
    QQueue<QString> openAnswers;
    QQueue<QString> saveAnswers;
    // Clipboard attempts that fail before one succeeds (per operation kind).
    int clipboardClearFailures = 0;
    int clipboardSetFailures = 0;
    bool shellFails = false;
    QString programFolder;
    double secondsSinceMidnight = 0;
    QString spreadsheetFolder;
    SpreadsheetProgram spreadsheetProgram;
    // Settings store: "app/section/key" -> value.
    QHash<QString, QString> settings;
    QList<QString> settingWrites; // "app/section/key=value", in order
    bool settingWriteFails = false;
    // Runs during ProcessEvents, e.g. to click another button mid-command.
    std::function<void()> onProcessEvents;
    // Runs when a message box is shown (after it was recorded).
    std::function<void(const Message &)> onMsgBox;

    static QString settingKey(const QString &app, const QString &section, const QString &key);

    void MsgBox(const QString &text, int style, const QString &title) override;
    QString InputBox(const QString &prompt, const QString &title) override;
    QString ShowOpen(const FileDialogSettings &settings) override;
    QString ShowSave(const FileDialogSettings &settings) override;
    bool ClipboardClear() override;
    bool ClipboardSetText(const QString &text, int format) override;
    QString ClipboardText() override; // `clipboard` while it holds text
    bool ClipboardSetText(std::shared_ptr<const DeferredText> text, int format) override;
    QString GetSetting(const QString &app, const QString &section, const QString &key,
                       const QString &defaultValue) override;
    void SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override;
    void Shell(const QString &program, const QStringList &arguments) override;
    QString ProgramFolder() override;
    double SecondsSinceMidnight() override;
    void ProcessEvents() override;
    QString SpreadsheetFolder() override;
    SpreadsheetProgram FindSpreadsheetProgram() override;

private:
    // Counts a clipboard write; false while failures are still to come.
    bool clipboardTakesText();
};
