#pragma once

// Helpers shared by the widget tests.

#include "app/form1.h"
#include "listsupport.h"
#include "platform/fakeplatform.h"

#include <QCheckBox>
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

// Sets the three option boxes as the user would (0 off, 1 on, 2 greyed).
inline void setOptions(Form1 &form, int check1, int check2, int check3)
{
    Form1::SetCheckValue(form.Check1, check1);
    Form1::SetCheckValue(form.Check2, check2);
    Form1::SetCheckValue(form.Check3, check3);
}
