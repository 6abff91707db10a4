#include "app/form1.h"

// Not built yet.
void Form1::ApplySkin() {}
void Form1::PushButton_MouseMove() {}
void Form1::ResetPointer_MouseMove() {}
