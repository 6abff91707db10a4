// The input list's buttons and keys: each reads the window and hands the
// list to its command in input/inputedits.h.

#include "app/form1.h"
#include "input/inputedits.h"
#include "platform/procedures.h"

#include <QCheckBox>
#include <QSignalBlocker>

void Form1::PushButton6_Click()
{
    Guarded proc(m_platform, Procedure::PushButton6_Click);
    Input::addTypedNumbers(m_platform, proc, *ListView1->listModel());
}

void Form1::PushButton12_Click()
{
    Guarded proc(m_platform, Procedure::PushButton12_Click);
    Input::addSampleNumbers(proc, *ListView1->listModel());
    // The box's click handler stores a changed option. It is called here
    // rather than through the box's signal so that a failure to store is
    // reported under this command's step.
    const auto setOption = [&](QCheckBox *box, void (Form1::*click)(), int value) {
        if (CheckValue(box) == value)
            return;
        {
            const QSignalBlocker quiet(box);
            SetCheckValue(box, value);
        }
        (this->*click)();
    };
    proc(106, [&] { setOption(Check1, &Form1::Check1_Click, 1); });
    proc(108, [&] { setOption(Check2, &Form1::Check2_Click, 1); });
    proc(109, [&] { setOption(Check3, &Form1::Check3_Click, 0); });
}

void Form1::PushButton1_Click()
{
    Guarded proc(m_platform, Procedure::PushButton1_Click);
    Input::clearInputList(proc, *ListView1->listModel(), IsBusy());
}

void Form1::PushButton3_Click()
{
    Guarded proc(m_platform, Procedure::PushButton3_Click);
    proc(100, [&] { CommonDialog1.fileName = QString(); });
    proc(102, [&] { CommonDialog1.flags = kListDialogFlags; });
    proc(104, [&] {
        CommonDialog1.title = QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files");
    });
    proc(106, [&] { CommonDialog1.filter = ListDialogFilter(); });
    proc(108, [&] { CommonDialog1.fileName = m_platform.ShowOpen(CommonDialog1); });
    if (CommonDialog1.fileName.isEmpty()) // 110: cancelled
        return;
    QStringList answer;
    proc(112, [&] { answer = CommonDialog1.fileName.split(QChar(u'\0')); });
    proc(114, [&] { SetMousePointer(Pointer::Hourglass); });
    Input::loadChosenTextFiles(m_platform, proc, *ListView1->listModel(), answer);
    proc(138, [&] { SetMousePointer(Pointer::Default); });
}

void Form1::ListView1_KeyDown(int keyCode, int)
{
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(ListView1);
}

void Form1::ListView1_DblClick()
{
    removeSelectedEntry(ListView1);
}
