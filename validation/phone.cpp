#include "validation/phone.h"

#include "app/form1.h"

namespace Phone {

bool TenDigitOptionOn(const Form1 &form)
{
    return Form1::CheckValue(form.Check1) == 1;
}

bool TenDigitPlus1OptionOn(const Form1 &form)
{
    return Form1::CheckValue(form.Check2) == 1;
}

bool SevenDigitOptionOn(const Form1 &form)
{
    return Form1::CheckValue(form.Check3) == 1;
}

} // namespace Phone
