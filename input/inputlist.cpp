#include "app/form1.h"

// Not built yet.
void Form1::PushButton6_Click() {}
void Form1::PushButton12_Click() {}
void Form1::PushButton1_Click() {}
void Form1::ListView1_KeyDown(int, int) {}
void Form1::ListView1_DblClick() {}
