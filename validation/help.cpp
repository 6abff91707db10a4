#include "app/form1.h"

// Not built yet.
void Form1::PushButton5_Click() {}
