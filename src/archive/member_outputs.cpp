#include "archive/member_outputs.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace vestrum::zlb {

bool PositionalWrites::writeAt(qint64 offset, const char* data, qint64 length)
{
#ifdef Q_OS_UNIX
    while (length > 0) {
        const ssize_t n = ::pwrite(file_.handle(), data, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        offset += n;
        length -= n;
    }
    return true;
#else
    const std::lock_guard lock(mutex_);
    const qint64 at = file_.pos();
    const bool written = file_.seek(offset) && file_.write(data, length) == length;
    return file_.seek(at) && written;
#endif
}

bool PositionalWrites::continueAt(qint64 offset)
{
    return file_.seek(offset);
}

} // namespace vestrum::zlb
