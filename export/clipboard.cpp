#include "app/form1.h"

// Not built yet.
void Form1::PushButton10_Click() {}
void Form1::PushButton11_Click() {}
