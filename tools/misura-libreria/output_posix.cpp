// Export files on POSIX systems: created readable by all and writable by their
// owner whatever the umask, as a maker who shares the results expects.
#include "tools/misura-libreria/output.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace misura {

std::optional<std::string> writeNewFile(const std::string& file, const std::string& content)
{
    constexpr mode_t kMode = 0644;
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kMode);
    if (fd < 0)
        return std::string(std::strerror(errno));
    int failed = fchmod(fd, kMode) != 0 ? errno : 0;
    for (std::size_t done = 0; !failed && done < content.size();) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno != EINTR)
            failed = errno;
        else if (n > 0)
            done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0 && !failed)
        failed = errno;
    if (failed)
        return std::string(std::strerror(failed));
    return std::nullopt;
}

} // namespace misura
