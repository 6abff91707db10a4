#pragma once

#include <QElapsedTimer>

#include <functional>

// Lets long commands keep the window responsive: tick() hands control to the
// event loop once the interval has passed since the last time, so a loop can
// call it per entry without paying for an event-loop round each time.
class Yielder
{
public:
    explicit Yielder(std::function<void()> yieldNow, int intervalMs = 20);

    void tick()
    {
        if (m_intervalMs <= 0 || m_clock.hasExpired(m_intervalMs))
            yieldNow();
    }
    void yieldNow();
    void setIntervalMs(int ms) { m_intervalMs = ms; }
    int intervalMs() const { return m_intervalMs; }

private:
    std::function<void()> m_yield;
    QElapsedTimer m_clock;
    int m_intervalMs;
};
