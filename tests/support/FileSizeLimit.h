#pragma once

#include <csignal>
#include <sys/resource.h>

namespace kelvar::test {

// Lets no file of this process grow past `bytes` while it lives, so that a
// write stops at that byte. Tests run as root, where permission bits stop no
// write; this limit does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active = false;

private:
    rlimit old_{};
};

} // namespace kelvar::test
