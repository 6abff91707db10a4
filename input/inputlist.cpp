#include "app/form1.h"
#include "input/textimport.h"
#include "platform/procedures.h"

#include <QCheckBox>
#include <QSignalBlocker>

QList<QStringView> Main::SplitAtCommas(QStringView text)
{
    return text.split(u',');
}

QStringView Main::TrimSpaces(QStringView text)
{
    // Only U+0020 is trimmed: a tab or other white space belongs to the entry.
    while (!text.isEmpty() && text.front() == u' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

void Form1::PushButton6_Click()
{
    Guarded proc(m_platform, Procedure::PushButton6_Click);
    QString answer;
    proc(100, [&] {
        // An empty title shows the application title.
        answer =
            m_platform.InputBox(QStringLiteral("Enter phone number or numbers (use commas):"), QString());
    });
    bool done = true;
    proc(102, [&] { done = answer.isEmpty(); });
    if (done)
        return; // cancelled, or nothing typed
    QList<QStringView> pieces;
    proc(104, [&] { pieces = Main::SplitAtCommas(answer); });
    proc(106, [&] { done = pieces.isEmpty(); });
    if (done)
        return;
    NumberListModel::Batch batch(*ListView1->listModel());
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        QStringView piece;
        bool trimmed = false;
        proc(108, [&] { piece = pieces.at(k); });
        proc(110, [&] {
            piece = Main::TrimSpaces(piece);
            trimmed = true;
        });
        // A piece that could not be trimmed is not appended half-made.
        if (trimmed)
            proc(112, [&] { ListView1->ListItems.Add(piece); });
    }
}

void Form1::PushButton12_Click()
{
    Guarded proc(m_platform, Procedure::PushButton12_Click);
    proc(100, [&] { ListView1->ListItems.Add(QLatin1StringView("888-342-9122")); });
    proc(102, [&] { ListView1->ListItems.Add(QLatin1StringView("1-888-342-9122")); });
    proc(104, [&] { ListView1->ListItems.Add(QLatin1StringView("342-9122")); });
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
    proc(100, [&] {
        if (!IsBusy())
            ListView1->ListItems.Clear();
    });
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
