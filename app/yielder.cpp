#include "app/yielder.h"

Yielder::Yielder(std::function<void()> yieldNow, int intervalMs)
    : m_yield(std::move(yieldNow)), m_intervalMs(intervalMs)
{
    m_clock.start();
}

void Yielder::yieldNow()
{
    m_yield();
    m_clock.restart();
}
