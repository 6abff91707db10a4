#include "app/form1.h"
#include "export/spreadsheet.h"
#include "export/xlsxworkbook.h"
#include "platform/procedures.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <optional>

namespace {

QString grouped(qsizetype n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

// The window's pointer shows busy until the command ends, however it ends.
class BusyPointer
{
public:
    explicit BusyPointer(Form1 &w) : m_w(w) { m_w.SetMousePointer(Pointer::Hourglass); }
    ~BusyPointer() { m_w.SetMousePointer(Pointer::Default); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    Form1 &m_w;
};

// Why `program` did not start, where its file tells more than `reported`.
QString whyCannotStart(const QString &program, const QString &reported)
{
    if (!program.contains(u'/'))
        return reported; // a name looked up in PATH: the starter's own words
    const QFileInfo file(program);
    if (!file.exists())
        return QStringLiteral("there is no such file");
    if (file.isDir())
        return QStringLiteral("it is a folder");
    if (!file.isExecutable())
        return QStringLiteral("it is not executable");
    return reported;
}

// Both "Save Results As Excel File" buttons: the list as a new workbook, handed
// to the spreadsheet program. A failure that would spoil every later step is
// reported once and ends the command.
void SaveListAsWorkbook(Form1 &w, ListView *list, const QString &procedureText, const QString &kind)
{
    Platform &platform = w.platform();
    Guarded proc(platform, procedureText);

    bool installed = false;
    proc(100, [&] { installed = w.SaveResultsAsExcelFileIsExcelInstalled(); });
    if (!installed) {
        proc(176, [&] {
            platform.MsgBox(QStringLiteral("Excel is not installed on this computer. You need to have it "
                                           "installed to use this feature."),
                            MsgBoxStyle::OkOnly, QString());
        });
        return;
    }

    bool empty = true;
    proc(108, [&] { empty = list->ListItems.Count() == 0; });
    if (empty)
        return;

    std::optional<BusyPointer> busy;
    proc(110, [&] { busy.emplace(w); });

    // What is written is the list as it is now: a change made while the
    // export yields does not reach the workbook.
    NumberListSnapshot snapshot;
    SpreadsheetProgram program;
    const bool started = proc(112, [&] {
        snapshot = list->listModel()->snapshot();
        program = platform.FindSpreadsheetProgram();
        if (program.program.isEmpty())
            throw Failure(QStringLiteral("No spreadsheet program was found to open the workbook"));
    });
    if (!started)
        return;

    std::optional<XlsxWorkbook> book;
    if (!proc(114, [&] {
            const QString folder = platform.SpreadsheetFolder();
            const QDateTime now = QDateTime::currentDateTime();
            book.emplace(CreateUniqueWorkbookFile(folder, kind, now), folder);
            // Workbooks handed over on earlier days have long been opened.
            RemoveOldWorkbooks(folder, book->path(), now);
        }))
        return;

    ListSheetWriter sheet(*book, snapshot);
    const auto yield = [&w] { w.DoEvents(); };
    if (!proc(124, [&] { sheet.writeTitles(yield); }))
        return;
    if (!proc(154, [&] { sheet.writeEntries(yield); }))
        return;

    // What did not fit is reported once; the rest still reaches the user.
    if (sheet.entriesLeftOut() > 0) {
        ErrorReport(platform,
                    QStringLiteral("The list has %1 entries; a sheet holds %2: the first %2 were written")
                        .arg(grouped(snapshot.count()), grouped(ListSheetWriter::MaxEntries)),
                    procedureText, 140);
    }
    if (sheet.columnsLeftOut() > 0) {
        ErrorReport(platform,
                    QStringLiteral("The list has %1 columns; a sheet holds %2: the first %2 were written")
                        .arg(grouped(snapshot.columnCount()), grouped(XlsxWorkbook::MaxColumns)),
                    procedureText, 118);
    }
    if (sheet.textsCut() > 0) {
        const QString which = sheet.textsCut() == 1
            ? QStringLiteral("1 text was cut short, on row %1").arg(grouped(sheet.firstCutRow()))
            : QStringLiteral("%1 texts were cut short, the first on row %2")
                  .arg(grouped(sheet.textsCut()), grouped(sheet.firstCutRow()));
        ErrorReport(platform,
                    QStringLiteral("A cell holds at most %1 characters: %2")
                        .arg(grouped(XlsxWorkbook::MaxCellChars), which),
                    procedureText, 154);
    }

    if (!proc(170, [&] {
            sheet.fitColumns();
            book->close(yield);
        }))
        return;

    proc(172, [&] {
        const QString path = book->path();
        try {
            platform.Shell(program.program, program.argumentsBeforeFile + QStringList{path});
        } catch (const Failure &failure) {
            // The program may be the user's own choice: name it, and say where
            // the finished workbook waits.
            throw Failure(
                QStringLiteral("Cannot start the spreadsheet program %1: %2. The workbook is kept as %3")
                    .arg(QDir::toNativeSeparators(program.program),
                         whyCannotStart(program.program, failure.description()),
                         QDir::toNativeSeparators(path)));
        }
    });
    // 174: the pointer goes back to 0 as `busy` ends.
}

} // namespace

bool Form1::SaveResultsAsExcelFileIsExcelInstalled()
{
    bool installed = true;
    try {
        installed = !platform().FindSpreadsheetProgram().program.isEmpty();
    } catch (const CommandAborted &) {
        throw;
    } catch (...) {
        installed = false;
    }
    if (!installed) {
        platform().MsgBox(QStringLiteral("Excel is not installed on this computer. You need to have it "
                                         "installed to use this software without error."),
                          MsgBoxStyle::OkOnly, QString());
    }
    return installed;
}

void Form1::PushButton13_Click()
{
    SaveListAsWorkbook(*this, ListView2, Procedure::PushButton13_Click, QStringLiteral("valid"));
}

void Form1::PushButton7_Click()
{
    SaveListAsWorkbook(*this, ListView3, Procedure::PushButton7_Click, QStringLiteral("invalid"));
}
