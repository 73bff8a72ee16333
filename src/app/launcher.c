// kel: the command a user runs. It holds the signals that end a session (SIGTERM, SIGINT, SIGHUP)
// and becomes the station program, kel-station, in the same process. A held signal stays held
// and pending across the exec, so one that comes while the loader is still mapping the station's
// libraries waits for the station to take it and end in order, instead of ending the process
// before any of its code has run. This program is linked statically: nothing runs before the hold
// but the C library's own start.
//
// The station is looked for next to this program.

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char kStation[] = "kel-station";

int main(int argc, char** argv) {
    (void)argc;
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGHUP);
    sigprocmask(SIG_BLOCK, &ending, NULL);

    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n < 0) {
        fprintf(stderr, "kel: cannot find where this program is: %s\n", strerror(errno));
        return 1;
    }
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    size_t dir = slash ? (size_t)(slash - path) + 1 : 0;
    if (dir + sizeof kStation > sizeof path) {
        fprintf(stderr, "kel: the program's folder name is too long\n");
        return 1;
    }
    memcpy(path + dir, kStation, sizeof kStation);
    execv(path, argv);
    fprintf(stderr, "kel: cannot start %s: %s\n", path, strerror(errno));
    return 1;
}
