#include "validation/validationhandlers.h"

#include <QCheckBox>

unsigned validationOptions(const Form1 &form)
{
    return (form.Check1->checkState() == Qt::Checked ? Phone::kTenDigitOption : 0u)
        | (form.Check2->checkState() == Qt::Checked ? Phone::kTenDigitPlus1Option : 0u)
        | (form.Check3->checkState() == Qt::Checked ? Phone::kSevenDigitOption : 0u);
}

void Form1::PushButton17_Click()
{
    startValidating(*this);
}

void Form1::PushButton2_Click()
{
    if (IsBusy())
        return; // an export may be reading this list
    Guarded proc(m_platform, Procedure::PushButton2_Click);
    proc(100, [&] { ListView2->ListItems.Clear(); });
}

void Form1::PushButton9_Click()
{
    if (IsBusy())
        return; // an export may be reading this list
    Guarded proc(m_platform, Procedure::PushButton9_Click);
    proc(100, [&] { ListView3->ListItems.Clear(); });
}

void Form1::ListView2_KeyDown(int keyCode, int)
{
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(ListView2);
}

void Form1::ListView2_DblClick()
{
    removeSelectedEntry(ListView2);
}

void Form1::ListView3_KeyDown(int keyCode, int)
{
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(ListView3);
}

void Form1::ListView3_DblClick()
{
    removeSelectedEntry(ListView3);
}
