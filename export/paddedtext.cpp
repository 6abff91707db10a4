#include "app/form1.h"

// Not built yet.
void Form1::PushButton4_Click() {}
void Form1::PushButton8_Click() {}
