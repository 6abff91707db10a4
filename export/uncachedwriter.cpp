#include "export/uncachedwriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

UncachedWriter::UncachedWriter(int fd, qsizetype misalign, std::chrono::nanoseconds slowWrite)
    : m_fd(fd), m_slowWrite(slowWrite), m_memory(nullptr, std::free)
{
#if defined(Q_OS_UNIX) && defined(O_DIRECT)
    m_memory.reset(static_cast<char *>(
        std::aligned_alloc(std::size_t(kAlignment), std::size_t(kBufferBytes + kAlignment))));
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (!m_memory || flags == -1 || ::fcntl(m_fd, F_SETFL, flags | O_DIRECT) != 0) {
        m_memory.reset(); // the file system keeps to its cache: nothing to gather
        return;
    }
    m_buffer = m_memory.get() + misalign % kAlignment;
    m_direct = true;
#else
    Q_UNUSED(misalign);
#endif
}

UncachedWriter::~UncachedWriter()
{
    stopDirect(); // the descriptor is the caller's, as it was
}

int UncachedWriter::write(const char *data, qsizetype size)
{
    if (!m_buffer)
        return writeFrom(data, size);
    while (size > 0) {
        const qsizetype n = std::min(size, kBufferBytes - m_gathered);
        std::memcpy(m_buffer + m_gathered, data, std::size_t(n));
        m_gathered += n;
        data += n;
        size -= n;
        if (m_gathered == kBufferBytes) {
            if (const int error = writeGathered(kBufferBytes))
                return error;
        }
    }
    return 0;
}

int UncachedWriter::finish()
{
    // The end of the file is rarely a whole block of the disk; and the
    // descriptor goes back to the caller as it came.
    if (const int error = stopDirect())
        return error;
    if (!m_buffer || m_gathered == 0)
        return 0;
    return writeGathered(m_gathered);
}

int UncachedWriter::writeGathered(qsizetype bytes)
{
    const auto start = std::chrono::steady_clock::now();
    if (const int error = writeFrom(m_buffer, bytes))
        return error;
    // Only a preference: should the descriptor keep its direct writes, they
    // go on as before.
    if (m_direct && std::chrono::steady_clock::now() - start > m_slowWrite)
        stopDirect();
    m_gathered -= bytes;
    std::memmove(m_buffer, m_buffer + bytes, std::size_t(m_gathered));
    return 0;
}

int UncachedWriter::writeFrom(const char *data, qsizetype size)
{
#ifdef Q_OS_UNIX
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, std::size_t(size));
        if (n > 0) {
            data += n;
            size -= qsizetype(n);
            continue;
        }
        const int error = n < 0 ? errno : EIO;
        if (error == EINTR)
            continue;
        // The file system takes no direct write after all (or not this one):
        // the rest goes through the page cache.
        if (error == EINVAL && m_direct) {
            if (const int stopped = stopDirect())
                return stopped;
            continue;
        }
        return error;
    }
    return 0;
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
    return ENOSYS;
#endif
}

int UncachedWriter::stopDirect()
{
#if defined(Q_OS_UNIX) && defined(O_DIRECT)
    if (!m_direct)
        return 0;
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags == -1 || ::fcntl(m_fd, F_SETFL, flags & ~O_DIRECT) != 0)
        return errno;
    m_direct = false;
#endif
    return 0;
}
