#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// Message-box style values understood by Platform::MsgBox (OK button only
// unless stated; the icon bits add to it).
namespace MsgBoxStyle {
inline constexpr int OkOnly = 0;
inline constexpr int Exclamation = 48;
} // namespace MsgBoxStyle

// What a command sets on the shared file dialog before showing it.
struct FileDialogSettings
{
    QString fileName; // initial file name; may be empty
    int flags = 0;    // 0x200 allows several files in the open dialog
    QString title;
    QString filter; // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"
};

// What the load and save commands set on the file dialog: read-only box,
// several files, explorer style, long names; text files first.
inline constexpr int kListDialogFlags = 2621953;
inline QString ListDialogFilter()
{
    return QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
}

// True when the file's last-modified time can be read; never fails.
bool FileExists(const QString &fileName);

// A spreadsheet program that can take a workbook: the program to start and the
// arguments that go before the workbook's path.
struct SpreadsheetProgram
{
    QString program;
    QStringList argumentsBeforeFile;
};

// Clipboard text that is made only when a program asks for it, so that a long
// list is not kept as text for as long as it is on offer.
class DeferredText
{
public:
    virtual ~DeferredText();
    // The whole text, UTF-8.
    virtual QByteArray utf8() const = 0;
    // The whole text. A U+FEFF at its start stays: decoders of UTF-8 commonly
    // take it for a byte-order mark and drop it.
    QString text() const { return textOfUtf8(utf8()); }
    static QString textOfUtf8(const QByteArray &utf8);
};

// Everything that talks to the desktop. QtPlatform is the real one;
// FakePlatform answers from queues so that every command can be tested.
class Platform
{
public:
    virtual ~Platform();

    // Modal message box. An empty title means the application title.
    virtual void MsgBox(const QString &text, int style, const QString &title) = 0;

    // Modal text prompt with OK and Cancel; Cancel answers an empty text.
    virtual QString InputBox(const QString &prompt, const QString &title) = 0;

    // Open dialog. Answers "" on cancel, the full path of one chosen file, or
    // (several files, flag 0x200) the folder followed by the names, separated
    // by NUL characters.
    virtual QString ShowOpen(const FileDialogSettings &settings) = 0;

    // Save dialog; answers the chosen full path or "" on cancel. The dialog asks
    // before replacing an existing file.
    virtual QString ShowSave(const FileDialogSettings &settings) = 0;

    // One attempt each; false when the clipboard refused.
    virtual bool ClipboardClear() = 0;
    virtual bool ClipboardSetText(const QString &text, int format) = 0;
    // The clipboard's plain text; "" when it holds none.
    virtual QString ClipboardText() = 0;
    // Offers text made on demand; `text` is kept until the clipboard changes hands.
    virtual bool ClipboardSetText(std::shared_ptr<const DeferredText> text, int format) = 0;

    // Per-user settings store addressed by application, section and key.
    virtual QString GetSetting(const QString &app, const QString &section, const QString &key,
                               const QString &defaultValue) = 0;
    virtual void SaveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value) = 0;

    // Starts a program detached, with an argument list (never a shell string).
    // Throws Failure when it cannot be started.
    virtual void Shell(const QString &program, const QStringList &arguments) = 0;

    // Folder of the program file, without a trailing separator.
    virtual QString ProgramFolder() = 0;

    // Seconds elapsed since local midnight.
    virtual double SecondsSinceMidnight() = 0;

    // Lets the event loop handle pending events (repaint, input).
    virtual void ProcessEvents() = 0;

    // Folder where workbooks for the spreadsheet program are written.
    virtual QString SpreadsheetFolder() = 0;

    // The spreadsheet program found on this machine, or an empty program.
    virtual SpreadsheetProgram FindSpreadsheetProgram() = 0;
};
