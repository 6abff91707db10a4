#include "app/form1.h"

// Not built yet.
void Form1::Check1_Click() {}
void Form1::Check2_Click() {}
void Form1::Check3_Click() {}
