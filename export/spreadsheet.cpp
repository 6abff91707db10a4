#include "export/spreadsheet.h"

#include "export/xlsxworkbook.h"
#include "platform/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

QString CreateUniqueWorkbookFile(const QString &folder, const QString &kind, const QDateTime &now)
{
    if (folder.isEmpty())
        throw Failure(QStringLiteral("No folder is set for workbooks"));
    if (!QDir().mkpath(folder))
        throw Failure(QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder)));

    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir dir(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint32 random = QRandomGenerator::global()->bounded(0x1000000u);
        const QString name = QStringLiteral("Quillory-%1-%2-%3.xlsx")
                                 .arg(kind, stamp, QStringLiteral("%1").arg(random, 6, 16, QLatin1Char('0')));
        QFile file(dir.filePath(name));
        // NewOnly fails on an existing name, so no file is ever replaced.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (!QFileInfo::exists(file.fileName()))
            throw Failure(QStringLiteral("Cannot create the workbook %1: %2")
                              .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    }
    throw Failure(
        QStringLiteral("Cannot find a free name for a workbook in %1").arg(QDir::toNativeSeparators(folder)));
}

void RemoveOldWorkbooks(const QString &folder, const QString &keep, const QDateTime &now)
{
    static const QRegularExpression ownName(
        QStringLiteral("^Quillory-(valid|invalid)-\\d{8}-\\d{6}-[0-9a-f]{6}\\.xlsx$"));
    const QDateTime dayBefore = now.addDays(-1);
    const QFileInfo kept(keep);
    // Regular files only: no links, folders or devices.
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("Quillory-*.xlsx")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo &file : files) {
        if (!ownName.match(file.fileName()).hasMatch())
            continue;
        if (file == kept || !(file.lastModified() < dayBefore))
            continue;
        QFile::remove(file.filePath());
    }
}

ListSheetWriter::ListSheetWriter(XlsxWorkbook &book, const NumberListSnapshot &list)
    : m_book(book),
      m_list(list),
      m_columns(std::min(list.columnCount(), XlsxWorkbook::MaxColumns)),
      m_longest(std::size_t(m_columns), 0)
{
}

qsizetype ListSheetWriter::entriesLeftOut() const
{
    return std::max<qsizetype>(0, m_list.count() - MaxEntries);
}

int ListSheetWriter::columnsLeftOut() const
{
    return m_list.columnCount() - m_columns;
}

template<typename Text>
void ListSheetWriter::writeCell(qsizetype row, int column, Text text, bool removeEquals)
{
    m_cell.clear();
    const CellTextResult result = appendCellText(m_cell, text, removeEquals);
    if (result.cut && m_textsCut++ == 0)
        m_firstCutRow = row + 1;
    m_longest[std::size_t(column)] = std::max(m_longest[std::size_t(column)], result.shownChars);
    m_book.writeText(std::uint32_t(row), column, m_cell);
}

void ListSheetWriter::writeTitles(const std::function<void()> &yield)
{
    for (int column = 0; column < m_columns; ++column) {
        yield();
        writeCell(0, column, QStringView(m_list.columnTitle(column)), false);
    }
}

void ListSheetWriter::writeEntries(const std::function<void()> &yield)
{
    const qsizetype entries = std::min(m_list.count(), MaxEntries);
    for (qsizetype entry = 0; entry < entries; ++entry) {
        yield();
        if (!m_list.checked(entry))
            continue; // the row stays empty; later entries keep their rows
        const qsizetype row = entry + 1;
        if (m_columns > 0)
            m_list.text(entry).visit([&](auto text) { writeCell(row, 0, text, false); });
        for (int column = 1; column < m_columns; ++column)
            writeCell(row, column, QStringView(m_list.cellText(entry, column)), true);
    }
}

void ListSheetWriter::fitColumns()
{
    for (int column = 0; column < m_columns; ++column) {
        const qsizetype longest = m_longest[std::size_t(column)];
        if (longest > 0)
            m_book.setColumnWidth(column, std::min(XlsxWorkbook::MaxColumnWidth, double(longest) + 1));
    }
}
