#pragma once
// Holds every file of this process below `bytes` for as long as the object lives: a disk that is
// full as far as the process can tell. SIGXFSZ is ignored meanwhile, so a write past the limit
// fails (EFBIG) instead of ending the process.

#include <csignal>
#include <sys/resource.h>

namespace kel {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &old_action_);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit tight = saved_;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        sigaction(SIGXFSZ, &old_action_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct sigaction old_action_ {};
    rlimit saved_{};
};

}  // namespace kel
