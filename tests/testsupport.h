#pragma once

// Helpers shared by the widget tests.

#include "app/form1.h"
#include "platform/fakeplatform.h"

#include <QByteArray>
#include <QCheckBox>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A main window over a fake platform, made afresh for each test function.
struct FormFixture
{
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Form1> m_form;

    void createForm()
    {
        m_platform = std::make_unique<FakePlatform>();
        m_form = std::make_unique<Form1>(*m_platform);
    }
    void loadForm()
    {
        createForm();
        m_form->Form_Load();
    }
    void closeForm()
    {
        m_form.reset();
        m_platform.reset();
    }
};

// The entries' texts, in list order.
inline QStringList entries(const ListView *list)
{
    QStringList texts;
    for (qsizetype i = 1; i <= list->ListItems.Count(); ++i)
        texts.append(list->ListItems.Item(i).Text());
    return texts;
}

inline void fill(ListView *list, const QStringList &texts)
{
    for (const QString &t : texts)
        list->ListItems.Add(t);
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

// Sets the three option boxes as the user would (0 off, 1 on, 2 greyed).
inline void setOptions(Form1 &form, int check1, int check2, int check3)
{
    Form1::SetCheckValue(form.Check1, check1);
    Form1::SetCheckValue(form.Check2, check2);
    Form1::SetCheckValue(form.Check3, check3);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
