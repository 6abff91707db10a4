#pragma once

#include <QtGlobal>

#include <chrono>
#include <cstddef>
#include <memory>

// Writes a new file from start to end around the system's page cache where
// the file system allows it (Linux O_DIRECT), through it everywhere else.
//
// A saved table is read by nobody in this program, yet written through the
// page cache it first takes fresh memory for every page it writes, and under
// a hypervisor that takes back free memory that costs several times the
// write itself; the sync before the file replaces the old one then writes it
// all again from the cache. Written around the cache, the bytes go from one
// reused buffer to the disk.
//
// Bytes are gathered in an aligned buffer and written a whole buffer at a
// time; what is left at the end, shorter than a block of the disk, goes
// through the page cache. A file system that refuses a direct write is
// written through the cache from then on: the same bytes reach the file
// either way. So is a disk too slow for a buffer in kSlowWrite: there the
// cache takes the writes at once, and the sync at the end waits for the disk
// instead, which a caller can do while its window answers. The caller still
// syncs the file before relying on it.
class UncachedWriter
{
public:
    // Buffer of the writes around the cache, and their alignment (in memory,
    // in the file and in size), which satisfies disks of 512- and 4096-byte
    // blocks.
    static constexpr qsizetype kBufferBytes = qsizetype(1) << 20;
    static constexpr qsizetype kAlignment = 4096;
    // A disk that takes longer than this for a buffer (below 50 MB/s) is
    // written through the cache.
    static constexpr std::chrono::milliseconds kSlowWrite{20};

    // Writes to fd (not owned) from its current offset, which must be 0.
    // `misalign` moves the buffer off its alignment and `slowWrite` sets the
    // time a buffer may take; tests use them to have the writer leave direct
    // writes.
    explicit UncachedWriter(int fd, qsizetype misalign = 0, std::chrono::nanoseconds slowWrite = kSlowWrite);
    ~UncachedWriter();
    UncachedWriter(const UncachedWriter &) = delete;
    UncachedWriter &operator=(const UncachedWriter &) = delete;

    // Whether writes still go around the page cache.
    bool direct() const { return m_direct; }

    // Writes the bytes; 0, or the errno of the write that failed (the file
    // then holds an unknown part of them).
    int write(const char *data, qsizetype size);
    // Writes whatever is still gathered; 0 or an errno.
    int finish();

private:
    int writeGathered(qsizetype bytes);
    // Writes all the bytes, leaving direct writes where the file system
    // refuses them; 0 or the errno of the write that failed.
    int writeFrom(const char *data, qsizetype size);
    int stopDirect();

    int m_fd;
    std::chrono::nanoseconds m_slowWrite;
    bool m_direct = false;
    std::unique_ptr<char, void (*)(void *)> m_memory;
    char *m_buffer = nullptr; // in m_memory, kBufferBytes long
    qsizetype m_gathered = 0;
};
