// SPDX-License-Identifier: GPL-3.0-or-later
// Times one start of a program under an X server: from fork to the moment
// its top-level window titled <title> is mapped and painted. Prints the two
// times in milliseconds ("mapped painted") and ends the program.
//
// Usage: startup_probe <title> <program> [arguments...]
// The X server is expected to have a black root (Xvfb -br) and no window
// manager: a Qt window has no background of its own, so it is painted once
// most of its pixels are no longer black.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

bool titled(Display *dpy, Window w, const char *title) {
    char *name = nullptr;
    if (!XFetchName(dpy, w, &name) || !name)
        return false;
    const bool same = std::strcmp(name, title) == 0;
    XFree(name);
    return same;
}

// Share of sampled pixels that are not black, in percent.
int paintedShare(Display *dpy, Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(dpy, w, &a) || a.width < 4 || a.height < 4)
        return 0;
    XImage *img = XGetImage(dpy, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    int lit = 0, total = 0;
    for (int y = 1; y < a.height; y += a.height / 10 + 1)
        for (int x = 1; x < a.width; x += a.width / 10 + 1) {
            ++total;
            if (XGetPixel(img, x, y) & 0xffffff)
                ++lit;
        }
    XDestroyImage(img);
    return total ? lit * 100 / total : 0;
}

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <title> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    const char *title = argv[1];
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "startup_probe: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const double start = now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror("startup_probe: exec");
        _exit(127);
    }

    const double limit = start + 30000;
    double mapped = -1, painted = -1;
    Window target = 0;
    const int fd = ConnectionNumber(dpy);
    while (now() < limit && painted < 0) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && !target && !ev.xmap.override_redirect && titled(dpy, ev.xmap.window, title)) {
                target = ev.xmap.window;
                mapped = now();
            }
        }
        if (target) {
            if (paintedShare(dpy, target) >= 90)
                painted = now();
            else
                usleep(500);
            continue;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "startup_probe: %s ended before showing its window\n", argv[2]);
            return 1;
        }
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 20000};
        select(fd + 1, &set, nullptr, nullptr, &tv);
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(dpy);
    if (painted < 0) {
        std::fprintf(stderr, "startup_probe: no painted window titled '%s' within 30 s\n", title);
        return 1;
    }
    std::printf("%.1f %.1f\n", mapped - start, painted - start);
    return 0;
}
