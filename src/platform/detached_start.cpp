#include "platform/detached_start.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kel {

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workDir, const std::string& handOver, std::string& error) {
    // Everything the child needs is made before the fork: after it, in a threaded program, only
    // calls that are safe in a signal handler may run.
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        error = std::strerror(errno);
        ::close(pipe[0]);
        ::close(pipe[1]);
        return false;
    }
    if (middle == 0) {
        // The middle process ends at once: the program is then nobody's child to wait for.
        if (::fork() != 0)
            ::_exit(0);
        ::setsid();
        if (::chdir(workDir.c_str()) != 0)
            ::_exit(127);
        // dup2 leaves descriptor 3 open across exec; every other one of ours closes there.
        if (pipe[0] == 3 ? ::fcntl(3, F_SETFD, 0) != 0 : ::dup2(pipe[0], 3) != 3)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // Short enough for the pipe's buffer: written whole at once, and read when the program wants.
    bool written = true;
    size_t at = 0;
    while (at < handOver.size()) {
        const ssize_t n = ::write(pipe[1], handOver.data() + at, handOver.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            written = false;
            break;
        }
        at += static_cast<size_t>(n);
    }
    ::close(pipe[1]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !written) {
        error = "nie mozna uruchomic " + program;
        return false;
    }
    return true;
}

}  // namespace kel
