#pragma once

#include "platform/platform.h"

// The real desktop, through Qt.
class QtPlatform final : public Platform
{
public:
    void MsgBox(const QString &text, int style, const QString &title) override;
    QString InputBox(const QString &prompt, const QString &title) override;
    QString ShowOpen(const FileDialogSettings &settings) override;
    QString ShowSave(const FileDialogSettings &settings) override;
    bool ClipboardClear() override;
    bool ClipboardSetText(const QString &text, int format) override;
    QString ClipboardText() override;
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

    // Pure parts of the dialogs, kept apart so that they can be tested.

    // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" -> {"Text Files (*.txt) (*.txt)",
    //  "All Files (*.*) (*)"}: the description as written, then the patterns Qt matches.
    static QStringList nameFilters(const QString &dialogFilter);
    // Message text with CR LF and lone CR turned into LF, which Qt shows as line breaks.
    static QString displayText(const QString &text);
    // The open dialog's answer for the chosen files: "", one full path, or
    // the folder and the names separated by NUL characters.
    static QString openAnswer(const QStringList &files);

private:
    // Tells the user once per run that the settings store cannot be used.
    void settingsNotice(const QString &text);

    bool m_settingsNoticeGiven = false;
};
