// The window as a user meets it, seen from outside the process: bench_window
// starts this observer and drives it over standard input and output. The
// observer presses keys with XTest on its own X connection and then pings the
// window with the window manager's ping (_NET_WM_PING), which the program
// answers on its GUI thread: a ping left waiting means a window that does not
// answer its user. Times are CLOCK_MONOTONIC nanoseconds, the clock the bench
// reads too.
//
// Commands, one a line:
//   window <id>           the window to ping; answers "ready" once its
//                         WM_PROTOCOLS lists _NET_WM_PING, else "error ..."
//   key <id> <keysym>     gives <id> the input focus, presses and releases the
//                         key, answers "sent <ns>" and starts pinging
//   probe <ns>            the in-process probe of the stage fired at <ns>
//   warm <id>             presses and releases Shift on <id> and waits for
//                         the window to answer a ping; answers "warmed <ns>"
//                         (the time from the key to that answer): the
//                         bench's first key, into a text field, before the
//                         stages (see bench_window)
//   calibrate <ms>        pings the idle window for <ms> milliseconds and
//                         answers "calibrated <pings> <median ns> <longest ns>
//                         <slow ns>": on a busy machine the scheduler alone
//                         keeps some pings waiting longer than 2 ms, so a ping
//                         counts as kept waiting by the window only when it
//                         also took longer than 999 in 1000 pings to the idle
//                         window
// Once the window has answered promptly for a while after the probe, the
// observer answers "done <end ns> <longest ping ns> <pings> <slow pings>
// <peak RSS KiB of the bench>" and waits for the next key.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A ping answered later than this was kept waiting by the window, unless
// pings to the idle window often took longer (see "calibrate").
constexpr std::int64_t kSlowNs = 2'000'000;
// The window must answer promptly this long after the probe (and after its
// last slow answer) before the stage counts as over.
constexpr std::int64_t kCalmNs = 200'000'000;
// Pings go out at most this often: finer than the slow threshold, without
// keeping the window's thread busy answering them.
constexpr std::int64_t kPingIntervalNs = 500'000;
// A stage that never calms down is reported as it stands this long after the
// probe.
constexpr std::int64_t kGiveUpNs = 5'000'000'000;

std::int64_t now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void say(const std::string &line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

// The peak resident memory of the bench process (our parent), in KiB, as
// anyone outside it can read it.
long parentPeakKiB()
{
    std::ifstream status("/proc/" + std::to_string(getppid()) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

int errorHandler(Display *display, XErrorEvent *error)
{
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "bench_wmping: X error: %s\n", text);
    return 0;
}

class Observer
{
public:
    explicit Observer(Display *display)
        : m_display(display),
          m_root(DefaultRootWindow(display)),
          m_protocols(XInternAtom(display, "WM_PROTOCOLS", False)),
          m_ping(XInternAtom(display, "_NET_WM_PING", False))
    {
        // The client sends its answer to the root window for the window
        // manager's masks (Qt asks for StructureNotify|SubstructureRedirect;
        // the convention says SubstructureNotify|SubstructureRedirect). The
        // server hands it to whoever selected any of them, so the notify
        // masks suffice: selecting the redirection would make this observer
        // the window manager, and the program's dialogs would wait for it to
        // map them.
        XSelectInput(display, m_root, StructureNotifyMask | SubstructureNotifyMask);
        XSync(display, False);
    }

    bool setWindow(Window window, std::string &why)
    {
        Atom *protocols = nullptr;
        int count = 0;
        if (!XGetWMProtocols(m_display, window, &protocols, &count)) {
            why = "the window has no WM_PROTOCOLS";
            return false;
        }
        const bool listed = std::find(protocols, protocols + count, m_ping) != protocols + count;
        XFree(protocols);
        if (!listed) {
            why = "the window's WM_PROTOCOLS does not list _NET_WM_PING";
            return false;
        }
        m_window = window;
        return true;
    }

    std::int64_t pressKey(Window focus, const char *keysymName)
    {
        const KeySym keysym = XStringToKeysym(keysymName);
        const KeyCode code = keysym == NoSymbol ? 0 : XKeysymToKeycode(m_display, keysym);
        if (code == 0)
            return -1;
        XSetInputFocus(m_display, focus, RevertToParent, CurrentTime);
        XSync(m_display, False);
        const std::int64_t sent = now();
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XFlush(m_display);
        return sent;
    }

    std::string warm(Window focus)
    {
        const std::int64_t sent = pressKey(focus, "Shift_L");
        if (sent < 0)
            return "error no key code for Shift_L";
        sendPing(++m_serial);
        const std::int64_t replied = awaitPing(m_serial, sent + 5'000'000'000);
        if (replied < 0)
            return "error the window did not answer a ping within 5 s of a key";
        return "warmed " + std::to_string(replied - sent);
    }

    std::string calibrate(std::int64_t duration)
    {
        std::vector<std::int64_t> waits;
        unsigned serial = 0;
        const std::int64_t until = now() + duration;
        while (now() < until) {
            sendPing(++m_serial);
            serial = m_serial;
            const std::int64_t sent = now();
            const std::int64_t replied = awaitPing(serial, sent + 1'000'000'000);
            if (replied < 0)
                return "error the idle window did not answer a ping within a second";
            waits.push_back(replied - sent);
            while (now() - sent < kPingIntervalNs)
                usleep(50);
        }
        std::sort(waits.begin(), waits.end());
        // One idle ping in a thousand may take longer (a hiccup of the
        // machine); more than that and the window would rarely seem calm.
        m_slowNs = std::max(kSlowNs, waits[waits.size() * 999 / 1000]);
        std::ostringstream answer;
        answer << "calibrated " << waits.size() << ' ' << waits[waits.size() / 2] << ' ' << waits.back()
               << ' ' << m_slowNs;
        return answer.str();
    }

    // Pings until the window has been calm for kCalmNs after the probe time
    // (read from `in` when it arrives).
    std::string watch(FILE *in)
    {
        std::int64_t probe = -1;
        std::int64_t pingSent = -1; // the outstanding ping, if any
        std::int64_t lastPing = 0;
        std::int64_t lastSlowReply = -1;
        std::int64_t firstAfterProbe = -1;
        std::int64_t longest = 0;
        long pings = 0;
        long slow = 0;
        std::string input;
        const int xfd = ConnectionNumber(m_display);
        const int infd = fileno(in);
        for (;;) {
            const std::int64_t t = now();
            if (pingSent < 0 && t - lastPing >= kPingIntervalNs) {
                sendPing(++m_serial);
                pingSent = lastPing = now();
            }
            // An outstanding ping already older than the threshold will be slow.
            if (probe >= 0 && firstAfterProbe >= 0 && (pingSent < 0 || t - pingSent <= m_slowNs)) {
                const std::int64_t calmFrom = std::max({probe, lastSlowReply, firstAfterProbe});
                if (t - calmFrom >= kCalmNs)
                    break;
            }
            if (probe >= 0 && t - probe > kGiveUpNs) {
                std::fprintf(stderr, "bench_wmping: the window never calmed down\n");
                break;
            }
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (pingSent < 0 || !isAnswer(event, m_serial))
                    continue;
                const std::int64_t replied = now();
                const std::int64_t waited = replied - pingSent;
                if (m_trace)
                    std::fprintf(stderr, "ping %.3f ms at %+.1f ms from the probe\n", double(waited) / 1e6,
                                 probe < 0 ? -1.0 : double(replied - probe) / 1e6);
                ++pings;
                longest = std::max(longest, waited);
                if (waited > m_slowNs) {
                    ++slow;
                    lastSlowReply = replied;
                }
                if (probe >= 0 && firstAfterProbe < 0 && pingSent > probe)
                    firstAfterProbe = replied;
                pingSent = -1;
            }
            pollfd fds[2] = {{xfd, POLLIN, 0}, {infd, POLLIN, 0}};
            int timeoutMs = 1;
            if (pingSent >= 0)
                timeoutMs = 5;
            if (poll(fds, probe < 0 ? 2 : 1, timeoutMs) > 0 && probe < 0
                && (fds[1].revents & (POLLIN | POLLHUP))) {
                char buffer[256];
                const ssize_t n = read(infd, buffer, sizeof buffer);
                if (n <= 0)
                    return "error the bench went away";
                input.append(buffer, std::size_t(n));
                const std::size_t eol = input.find('\n');
                if (eol != std::string::npos) {
                    std::istringstream line(input.substr(0, eol));
                    std::string word;
                    line >> word >> probe;
                    if (word != "probe")
                        return "error expected a probe time, got " + input.substr(0, eol);
                }
            }
        }
        // The window answers again from outside at the later of its last slow
        // answer and its first answer to a ping sent after the probe.
        const std::int64_t end = std::max(lastSlowReply, firstAfterProbe);
        std::ostringstream done;
        done << "done " << end << ' ' << longest << ' ' << pings << ' ' << slow << ' ' << parentPeakKiB();
        return done.str();
    }

private:
    // The time the answer to ping `serial` came, -1 if none came by `until`.
    std::int64_t awaitPing(unsigned serial, std::int64_t until)
    {
        const int xfd = ConnectionNumber(m_display);
        while (now() < until) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (isAnswer(event, serial))
                    return now();
            }
            pollfd fd{xfd, POLLIN, 0};
            poll(&fd, 1, 5);
        }
        return -1;
    }

    bool isAnswer(const XEvent &event, unsigned serial) const
    {
        return event.type == ClientMessage && event.xclient.message_type == m_protocols
            && Atom(event.xclient.data.l[0]) == m_ping && unsigned(event.xclient.data.l[1]) == serial;
    }

    void sendPing(unsigned serial)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(m_ping);
        event.xclient.data.l[1] = long(serial); // stands for the timestamp; matches the answer
        event.xclient.data.l[2] = long(m_window);
        XSendEvent(m_display, m_window, False, NoEventMask, &event);
        XFlush(m_display);
    }

    Display *m_display;
    Window m_root;
    Window m_window = None;
    Atom m_protocols;
    Atom m_ping;
    bool m_trace = std::getenv("BENCH_WMPING_TRACE") != nullptr;
    unsigned m_serial = 0;
    std::int64_t m_slowNs = kSlowNs;
};

} // namespace

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        say("error cannot open the display");
        return 1;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        say("error the X server has no XTest");
        return 1;
    }
    XSetErrorHandler(errorHandler);
    Observer observer(display);
    // Commands are read with read(2) on the descriptor, never through stdio's
    // buffer, so that poll() sees every line that has not been handled.
    std::string input;
    for (;;) {
        std::size_t eol;
        while ((eol = input.find('\n')) == std::string::npos) {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0;
            input.append(buffer, std::size_t(n));
        }
        std::istringstream line(input.substr(0, eol));
        input.erase(0, eol + 1);
        std::string command;
        line >> command;
        if (command == "window") {
            unsigned long id = 0;
            line >> id;
            std::string why;
            if (!observer.setWindow(Window(id), why)) {
                say("error " + why);
                return 1;
            }
            say("ready");
        } else if (command == "key") {
            unsigned long id = 0;
            std::string keysym;
            line >> id >> keysym;
            const std::int64_t sent = observer.pressKey(Window(id), keysym.c_str());
            if (sent < 0) {
                say("error no key code for " + keysym);
                return 1;
            }
            say("sent " + std::to_string(sent));
            if (!input.empty()) {
                say("error a command came before the probe: " + input);
                return 1;
            }
            const std::string done = observer.watch(stdin);
            say(done);
            if (done.rfind("error", 0) == 0)
                return 1;
        } else if (command == "warm") {
            unsigned long id = 0;
            line >> id;
            const std::string answer = observer.warm(Window(id));
            say(answer);
            if (answer.rfind("error", 0) == 0)
                return 1;
        } else if (command == "calibrate") {
            long milliseconds = 0;
            line >> milliseconds;
            const std::string answer = observer.calibrate(std::int64_t(milliseconds) * 1'000'000);
            say(answer);
            if (answer.rfind("error", 0) == 0)
                return 1;
        } else if (command == "quit") {
            return 0;
        } else {
            say("error unknown command " + command);
            return 1;
        }
    }
}
