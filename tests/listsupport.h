#pragma once

// Helpers shared by the tests of the list and the subsystem cores; they need
// no window.

#include "app/list/numberlistmodel.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// The entries' texts, in list order.
inline QStringList entries(const NumberListModel &list)
{
    QStringList out;
    for (qsizetype i = 0; i < list.count(); ++i)
        out.append(list.textString(i));
    return out;
}

// Fills a list: one column per title, one entry per row of cells (cell 0 the
// entry's text, cell k its sub-item k); entries are checked unless listed.
inline void fill(NumberListModel &model, const QStringList &titles, const QList<QStringList> &rows,
                 const QList<int> &unchecked = {})
{
    for (const QString &title : titles)
        model.addColumn(title);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        model.append(QStringView(rows[r].value(0)));
        for (qsizetype k = 1; k < rows[r].size(); ++k)
            model.setSubItem(r, int(k), rows[r][k]);
    }
    for (int r : unchecked)
        model.setChecked(r, false);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
