#include "app/skinengine.h"

// Not built yet.
void SkinEngine::LoadSkin(const QString &, const QString &) {}
void SkinEngine::ApplyWindow(QWidget *) {}
