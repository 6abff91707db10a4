#pragma once

class QGroupBox;

// Gives the group box a plain frame that leaves its background untinted.
void UsePlainFrame(QGroupBox *frame);
