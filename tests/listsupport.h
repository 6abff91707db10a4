#pragma once

// Helpers shared by the tests of the list and the subsystem cores; they need
// no window.

#include "app/list/numberlistmodel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

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

// Bytes in the regular files this process holds open inside the folder.
inline qint64 bytesWrittenUnder(const QString &dir)
{
    qint64 total = 0;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files);
    for (const QFileInfo &fd : fds) {
        // A file made without a name shows as "<folder>/#<number> (deleted)":
        // its size is asked through the descriptor.
        const QByteArray link = QFile::encodeName(fd.absoluteFilePath());
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0 || !QFile::decodeName(QByteArray(target, n)).startsWith(dir + QLatin1Char('/')))
            continue;
        struct stat st
        {
        };
        if (::stat(link.constData(), &st) == 0 && S_ISREG(st.st_mode))
            total += st.st_size;
    }
    return total;
}
