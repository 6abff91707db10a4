// The export buttons: each reads the window's list and hands it, with the
// window's yields and busy pointer, to the export's core.

#include "app/form1.h"
#include "export/clipboard.h"
#include "export/paddedtextsave.h"
#include "export/workbookexport.h"
#include "platform/procedures.h"

namespace {

// The window's turn for the event loop, about every 20 ms.
std::function<void()> doEventsOf(Form1 &form)
{
    return [&form] { form.DoEvents(); };
}

// The window's pointer, busy or not.
std::function<void(bool)> busyPointerOf(Form1 &form)
{
    return [&form](bool busy) { form.SetMousePointer(busy ? Pointer::Hourglass : Pointer::Default); };
}

// Both "Save Results As Text File" buttons: asks for the file, then saves.
void saveListAsText(Form1 &form, ListView &list, const QString &procedureText)
{
    Guarded proc(form.platform(), procedureText);
    QString fileName;
    proc(106, [&] { form.CommonDialog1.flags = kListDialogFlags; });
    proc(108, [&] { form.CommonDialog1.title = QStringLiteral("Save"); });
    proc(110, [&] { form.CommonDialog1.filter = ListDialogFilter(); });
    proc(112, [&] { form.CommonDialog1.fileName = form.platform().ShowSave(form.CommonDialog1); });
    proc(114, [&] { fileName = form.CommonDialog1.fileName; });
    if (fileName.isEmpty())
        return; // [116] cancelled: nothing is written
    saveResultsAsText(proc, form.platform(), *list.listModel(), fileName, busyPointerOf(form),
                      doEventsOf(form), [&form] { form.yielder().yieldNow(); });
}

void copyList(Form1 &form, ListView &list, const QString &procedureText)
{
    Guarded proc(form.platform(), procedureText);
    copyResultsToClipboard(proc, form.platform(), *list.listModel(), doEventsOf(form));
}

void saveListAsWorkbook(Form1 &form, ListView &list, const QString &procedureText, const QString &kind)
{
    Guarded proc(form.platform(), procedureText);
    exportListAsWorkbook(proc, form.platform(), *list.listModel(), kind, busyPointerOf(form),
                         doEventsOf(form));
}

} // namespace

void Form1::PushButton4_Click()
{
    saveListAsText(*this, *ListView2, Procedure::PushButton4_Click);
}

void Form1::PushButton8_Click()
{
    saveListAsText(*this, *ListView3, Procedure::PushButton8_Click);
}

void Form1::PushButton10_Click()
{
    copyList(*this, *ListView2, Procedure::PushButton10_Click);
}

void Form1::PushButton11_Click()
{
    copyList(*this, *ListView3, Procedure::PushButton11_Click);
}

void Form1::PushButton13_Click()
{
    saveListAsWorkbook(*this, *ListView2, Procedure::PushButton13_Click, QStringLiteral("valid"));
}

void Form1::PushButton7_Click()
{
    saveListAsWorkbook(*this, *ListView3, Procedure::PushButton7_Click, QStringLiteral("invalid"));
}

bool Form1::SaveResultsAsExcelFileIsExcelInstalled()
{
    return spreadsheetProgramInstalled(platform());
}
