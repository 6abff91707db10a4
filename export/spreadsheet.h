#pragma once

#include "app/list/numberlistmodel.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class XlsxWorkbook;

// Creates an empty file "Quillory-<kind>-<date>-<time>-<random>.xlsx" in
// `folder` (made if missing) under a name no file there has yet, and returns
// its path. Throws Failure when the folder cannot take it.
QString CreateUniqueWorkbookFile(const QString &folder, const QString &kind, const QDateTime &now);

// Removes the workbooks CreateUniqueWorkbookFile made in `folder` that were
// last changed more than a day before `now`, except `keep`. Nothing else in
// the folder is touched; a workbook that cannot be removed stays.
void RemoveOldWorkbooks(const QString &folder, const QString &keep, const QDateTime &now);

// Writes a list into the sheet of a workbook: the column titles on row 1 and
// entry r on row 1 + r (an unchecked entry leaves its row empty). Every cell
// is text; "=" is removed from the texts of columns 2 and later. Whatever
// does not fit a sheet or a cell is left out and counted.
class ListSheetWriter final
{
public:
    // Entries a sheet holds below its title row.
    static constexpr qsizetype MaxEntries = 1048575;

    ListSheetWriter(XlsxWorkbook &book, const NumberListSnapshot &list);

    // `yield` runs once per title and once per entry.
    void writeTitles(const std::function<void()> &yield);
    void writeEntries(const std::function<void()> &yield);
    // Fits each written column to its longest text.
    void fitColumns();

    qsizetype entriesLeftOut() const; // entries past the sheet's last row
    int columnsLeftOut() const;       // columns past the sheet's last column
    qsizetype textsCut() const { return m_textsCut; }
    qsizetype firstCutRow() const { return m_firstCutRow; } // from 1; 0 when none

private:
    template<typename Text>
    void writeCell(qsizetype row, int column, Text text, bool removeEquals);

    XlsxWorkbook &m_book;
    const NumberListSnapshot &m_list;
    int m_columns;
    std::vector<qsizetype> m_longest; // per column, characters
    std::string m_cell;
    qsizetype m_textsCut = 0;
    qsizetype m_firstCutRow = 0;
};
