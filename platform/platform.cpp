#include "platform/platform.h"

Platform::~Platform() = default;

DeferredText::~DeferredText() = default;
