#include "export/workbookexport.h"

#include "export/spreadsheet.h"
#include "export/xlsxworkbook.h"
#include "platform/errorreport.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <optional>

namespace {

QString grouped(qsizetype n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

// The window shows busy until the command ends, however it ends.
class BusyPointer
{
public:
    explicit BusyPointer(const std::function<void(bool)> &setBusy) : m_setBusy(setBusy) { m_setBusy(true); }
    ~BusyPointer() { m_setBusy(false); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    const std::function<void(bool)> &m_setBusy;
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

} // namespace

bool spreadsheetProgramInstalled(Platform &platform)
{
    bool installed = true;
    try {
        installed = !platform.FindSpreadsheetProgram().program.isEmpty();
    } catch (const CommandAborted &) {
        throw;
    } catch (...) {
        installed = false;
    }
    if (!installed) {
        platform.MsgBox(QStringLiteral("Excel is not installed on this computer. You need to have it "
                                       "installed to use this software without error."),
                        MsgBoxStyle::OkOnly, QString());
    }
    return installed;
}

void exportListAsWorkbook(Guarded &proc, Platform &platform, const NumberListModel &list, const QString &kind,
                          const std::function<void(bool busy)> &setBusy, const std::function<void()> &yield)
{
    bool installed = false;
    proc(100, [&] { installed = spreadsheetProgramInstalled(platform); });
    if (!installed) {
        proc(176, [&] {
            platform.MsgBox(QStringLiteral("Excel is not installed on this computer. You need to have it "
                                           "installed to use this feature."),
                            MsgBoxStyle::OkOnly, QString());
        });
        return;
    }

    bool empty = true;
    proc(108, [&] { empty = list.count() == 0; });
    if (empty)
        return;

    std::optional<BusyPointer> busy;
    proc(110, [&] { busy.emplace(setBusy); });

    // What is written is the list as it is now: a change made while the
    // export yields does not reach the workbook.
    NumberListSnapshot snapshot;
    SpreadsheetProgram program;
    const bool started = proc(112, [&] {
        snapshot = list.snapshot();
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
    if (!proc(124, [&] { sheet.writeTitles(yield); }))
        return;
    if (!proc(154, [&] { sheet.writeEntries(yield); }))
        return;

    // What did not fit is reported once; the rest still reaches the user.
    if (sheet.entriesLeftOut() > 0) {
        proc.report(140,
                    QStringLiteral("The list has %1 entries; a sheet holds %2: the first %2 were written")
                        .arg(grouped(snapshot.count()), grouped(ListSheetWriter::MaxEntries)));
    }
    if (sheet.columnsLeftOut() > 0) {
        proc.report(118,
                    QStringLiteral("The list has %1 columns; a sheet holds %2: the first %2 were written")
                        .arg(grouped(snapshot.columnCount()), grouped(XlsxWorkbook::MaxColumns)));
    }
    if (sheet.textsCut() > 0) {
        const QString which = sheet.textsCut() == 1
            ? QStringLiteral("1 text was cut short, on row %1").arg(grouped(sheet.firstCutRow()))
            : QStringLiteral("%1 texts were cut short, the first on row %2")
                  .arg(grouped(sheet.textsCut()), grouped(sheet.firstCutRow()));
        proc.report(154,
                    QStringLiteral("A cell holds at most %1 characters: %2")
                        .arg(grouped(XlsxWorkbook::MaxCellChars), which));
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
