#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;
class XlsxTempFiles;

// A one-sheet .xlsx workbook written row by row with libxlsxwriter in its
// constant-memory mode: cells must be written in row order, and memory stays
// flat however many rows there are.
//
// The workbook file exists only once close() succeeded. Until then the object
// owns the path: destroying it unfinished (a failure, or a command unwound by
// closing the window) removes whatever is there, so no half-written workbook
// is ever left behind, so `path` must be a file this object may delete. Every
// library error throws Failure with its description.
//
// The library's temporary files are made and tracked here: whatever it left
// open when it gave up (a full disk) is closed as the workbook is finished or
// dropped, so a failed export holds no descriptor and no disk space, and a
// temporary file that could not be written fails the workbook instead of
// leaving a short sheet in it.
class XlsxWorkbook final
{
public:
    // Limits of a sheet and of a cell.
    static constexpr std::uint32_t MaxRows = 1048576;
    static constexpr int MaxColumns = 16384;
    static constexpr int MaxCellChars = 32767;
    static constexpr double MaxColumnWidth = 255;

    // Starts the workbook that close() writes to `path`. Temporary row data
    // goes to `tempFolder` (the system's temporary folder when empty).
    XlsxWorkbook(const QString &path, const QString &tempFolder);
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook &) = delete;
    XlsxWorkbook &operator=(const XlsxWorkbook &) = delete;

    const QString &path() const { return m_path; }

    // Writes a text cell formatted as text ("@"), so that the spreadsheet
    // keeps "0123" or "888-342-9122" as typed. Rows and columns count from 0;
    // rows must not go backwards. `utf8` must already be escaped for the
    // sheet (see appendCellText) and stand for at most MaxCellChars characters
    // (an escape counts as the one character it stands for).
    void writeText(std::uint32_t row, int column, const std::string &utf8);

    // Width of a column in character units.
    void setColumnWidth(int column, double width);

    // Writes the workbook file. Compressing a large sheet takes a while, so it
    // runs on a worker thread and `whileWriting` runs about every 20 ms on
    // this one meanwhile (it may throw to abandon the workbook). Throws
    // Failure (and removes the file) when the file cannot be written.
    void close(const std::function<void()> &whileWriting = {});

private:
    [[noreturn]] void fail(int error, const QString &what) const;
    void failOnTempFileError() const;
    void discard();

    QString m_path;
    QByteArray m_nativePath;
    QByteArray m_tempFolder;
    std::unique_ptr<XlsxTempFiles> m_tempFiles;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_text = nullptr;
    bool m_closed = false;
};

// Appends `text` to `out` as a cell text for XlsxWorkbook::writeText: UTF-8,
// with the characters XML cannot carry (control characters, NUL) written as
// the sheet's "_xHHHH_" escapes, and a literal "_xHHHH_" protected as the
// spreadsheet expects. With `removeEquals` every "=" is left out. Stops before
// the cell would hold more than XlsxWorkbook::MaxCellChars characters, counted
// as the spreadsheet counts them: UTF-16 units of the text itself, so an
// escaped character counts once. Pure: no state, no allocation besides `out`.
struct CellTextResult
{
    qsizetype shownChars = 0; // characters (code points) of the text that went into the cell
    bool cut = false;         // the text did not fit a cell
};
CellTextResult appendCellText(std::string &out, QStringView text, bool removeEquals);
CellTextResult appendCellText(std::string &out, QLatin1StringView text, bool removeEquals);
