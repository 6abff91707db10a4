#pragma once

// The window's side of the validation run: what it reads from its controls
// before it calls the core in validation/validationrun.h.

#include "app/form1.h"
#include "platform/procedures.h"
#include "validation/validationrun.h"

#include <utility>

// The options as the boxes stand now (Phone::OptionBit); a box counts as on
// only when its value is 1 (greyed counts as off).
unsigned validationOptions(const Form1 &form);

// "Start Validating": empties both result lists and judges every entry of the
// input list into them under the options, the pointer busy meanwhile; nothing
// while the window is busy. PushButton17_Click passes no step hook; a test may
// pass one, which the judging calls before each of its numbered steps.
template<typename... StepHook>
void startValidating(Form1 &form, StepHook &&...atStep)
{
    static_assert(sizeof...(StepHook) <= 1, "at most one step hook");
    // An export that yields may still be reading a result list.
    if (form.IsBusy())
        return;
    Guarded proc(form.platform(), Procedure::PushButton17_Click);
    proc(100, [&] { form.ListView2->ListItems.Clear(); });
    proc(101, [&] { form.ListView3->ListItems.Clear(); });
    proc(102, [&] { form.SetMousePointer(Pointer::Hourglass); });
    // The boxes are read once: the only wait for the user in a run is an
    // error report, which is modal.
    Validation::judgeEntries(
        proc, {*form.ListView1->listModel(), *form.ListView2->listModel(), *form.ListView3->listModel()},
        validationOptions(form), std::forward<StepHook>(atStep)...);
    proc(116, [&] { form.SetMousePointer(Pointer::Default); });
}
