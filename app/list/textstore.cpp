#include "app/list/textstore.h"

#include "text/charactercount.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Memory about to be written from start to end: fault all its pages in with
// one call rather than one page fault per page. Only a hint.
void faultIn([[maybe_unused]] void *start, [[maybe_unused]] std::size_t size)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    const auto first = reinterpret_cast<std::uintptr_t>(start) & ~std::uintptr_t(4095);
    const auto last = reinterpret_cast<std::uintptr_t>(start) + size;
    ::madvise(reinterpret_cast<void *>(first), last - first, MADV_POPULATE_WRITE);
#endif
}

// Chunks are mapped on their own rather than taken from the heap: a chunk
// given up goes back to the system at once, wherever it lies, so the memory
// the process holds follows what the lists keep.
#if defined(__linux__)
std::size_t mappedBytes(std::size_t bytes)
{
    static const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// Full-size chunks are cut, one after another, from larger regions, so that
// the memory the next chunks will take is known before they are taken: a
// reading thread can have it mapped in ahead (prepare) while the list is
// being filled. A chunk given up is still unmapped on its own, so the memory
// held still follows the lists.
//
// The regions keep the system's ordinary pages. Large pages were tried: they
// were fast only on memory the system had just taken back from another
// process, and under a hypervisor that reclaims free memory they cost several
// times more than small pages on memory that had lain free for seconds, which
// is what a list loaded after a file dialog gets.
class ChunkPool
{
public:
    // Fresh, zero-filled memory, or null when no region could be mapped.
    char *take(std::size_t bytes)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (std::size_t(m_end - m_next) < bytes && !refill(bytes))
            return nullptr;
        char *p = m_next;
        m_next += bytes;
        return p;
    }

    // Maps in up to `bytes` of the memory the next chunks will take.
    void prepare(std::size_t bytes)
    {
        char *from;
        std::size_t size;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            from = m_next;
            size = std::min(bytes, std::size_t(m_end - m_next));
        }
        // Outside the lock, so that taking a chunk never waits for it. Should
        // the region be given back meanwhile, the hint fails and does no harm:
        // mapping memory in changes no byte of it.
        if (size != 0)
            faultIn(from, size);
    }

private:
    bool refill(std::size_t bytes)
    {
        constexpr std::size_t kRegion = std::size_t(64) << 20;
        if (bytes > kRegion)
            return false;
        // What is left of the last region goes back; no chunk lies there.
        if (m_next != m_end)
            ::munmap(m_next, std::size_t(m_end - m_next));
        m_next = m_end = nullptr;
        void *p = ::mmap(nullptr, kRegion, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return false;
        m_next = static_cast<char *>(p);
        m_end = m_next + kRegion;
        return true;
    }

    std::mutex m_mutex;
    char *m_next = nullptr;
    char *m_end = nullptr;
};

ChunkPool &chunkPool()
{
    static ChunkPool pool;
    return pool;
}

void prepareChunkMemory(std::size_t bytes)
{
    chunkPool().prepare(bytes);
}

char *allocateChunk(std::size_t bytes, bool fullSize)
{
    ChunkPool &pool = chunkPool();
    if (fullSize) {
        if (char *p = pool.take(mappedBytes(bytes)))
            return p;
    }
    void *p = ::mmap(nullptr, mappedBytes(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<char *>(p); // zero-filled
}

void freeChunkMemory(char *data, std::size_t bytes)
{
    ::munmap(data, mappedBytes(bytes));
}
#else
void prepareChunkMemory(std::size_t) {}

char *allocateChunk(std::size_t bytes, bool)
{
    char *p = static_cast<char *>(std::malloc(bytes));
    if (!p)
        throw std::bad_alloc();
    std::memset(p + bytes - EntryText::kReadAhead, 0, EntryText::kReadAhead);
    return p;
}

void freeChunkMemory(char *data, std::size_t)
{
    std::free(data);
}
#endif

} // namespace

TextArena::TextArena()
{
    m_chunks.push_back(nullptr);
}

void TextArena::prepareChunks(std::size_t bytes) noexcept
{
    prepareChunkMemory(bytes);
}

TextArena::~TextArena()
{
    for (Chunk *c : m_chunks) {
        if (c) {
            freeChunkMemory(c->data, c->capacity + EntryText::kReadAhead);
            delete c;
        }
    }
}

std::uint32_t TextArena::newChunk(std::size_t capacity)
{
    auto chunk = std::make_unique<Chunk>();
    // Spare room after the texts lets a short text be read in one wide load.
    chunk->data = allocateChunk(capacity + EntryText::kReadAhead, capacity == kChunkBytes);
    // A chunk is filled from start to end at once.
    if (capacity == kChunkBytes)
        faultIn(chunk->data, capacity);
    chunk->capacity = capacity;
    std::uint32_t index;
    if (!m_freeSlots.empty()) {
        index = m_freeSlots.back();
        m_freeSlots.pop_back();
        m_chunks[index] = chunk.release();
    } else {
        if (m_chunks.size() > kChunkMask) {
            freeChunkMemory(chunk->data, capacity + EntryText::kReadAhead);
            throw std::bad_alloc();
        }
        try {
            m_chunks.push_back(nullptr);
        } catch (...) {
            freeChunkMemory(chunk->data, capacity + EntryText::kReadAhead);
            throw;
        }
        index = std::uint32_t(m_chunks.size() - 1);
        m_chunks[index] = chunk.release();
    }
    m_bytesAllocated += capacity;
    return index;
}

void TextArena::freeChunk(std::uint32_t index)
{
    Chunk *c = m_chunks[index];
    m_bytesAllocated -= c->capacity;
    freeChunkMemory(c->data, c->capacity + EntryText::kReadAhead);
    delete c;
    m_chunks[index] = nullptr;
    m_freeSlots.push_back(index);
}

std::size_t TextArena::liveChunks() const
{
    std::size_t n = 0;
    for (const Chunk *c : m_chunks)
        n += c != nullptr;
    return n;
}

EntryRecord TextArena::storeBytes(const void *bytes, std::size_t size, bool wide)
{
    if (size == 0)
        return kCheckedBit; // the empty text needs no chunk
    if (size >= kWholeChunk) {
        const std::uint32_t index = newChunk(size);
        Chunk *c = m_chunks[index];
        std::memcpy(c->data, bytes, size);
        c->size = size;
        c->live = kWholeChunk;
        c->whole = true;
        return kCheckedBit | (wide ? kWideBit : 0) | (kWholeChunk << (kOffsetBits + kChunkBits))
            | (std::uint64_t(index) << kOffsetBits);
    }
    Chunk *c = m_current ? m_chunks[m_current] : nullptr;
    std::size_t offset = c ? (c->size + (wide ? (c->size & 1u) : 0)) : 0;
    if (!c || offset + size > c->capacity) {
        m_current = newChunk(kChunkBytes);
        c = m_chunks[m_current];
        offset = 0;
    }
    std::memcpy(c->data + offset, bytes, size);
    c->size = offset + size;
    c->live += size;
    return kCheckedBit | (wide ? kWideBit : 0) | (std::uint64_t(size) << (kOffsetBits + kChunkBits))
        | (std::uint64_t(m_current) << kOffsetBits) | offset;
}

EntryRecord TextArena::store(QStringView text)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    bool latin1 = true;
    for (qsizetype i = 0; i < n; ++i) {
        if (u[i] > 0xff) {
            latin1 = false;
            break;
        }
    }
    if (!latin1)
        return storeBytes(u, std::size_t(n) * 2, true);
    // Narrow in small pieces so that no per-text heap block is needed.
    if (n <= 256) {
        char buffer[256];
        for (qsizetype i = 0; i < n; ++i)
            buffer[i] = char(u[i]);
        return storeBytes(buffer, std::size_t(n), false);
    }
    const QByteArray narrowed = text.toLatin1();
    return storeBytes(narrowed.constData(), std::size_t(narrowed.size()), false);
}

void TextArena::release(EntryRecord r)
{
    const std::uint32_t index = chunkOf(r);
    if (index == 0)
        return;
    Chunk *c = m_chunks[index];
    c->live -= lengthOf(r);
    if (c->live != 0)
        return;
    // Nobody refers to it any more, the chunk that takes new texts included:
    // an emptied list gives all its memory back.
    if (index == m_current)
        m_current = 0;
    freeChunk(index);
}

void TextArena::addHolder(std::shared_ptr<RecordBlock> *holder)
{
    m_holders.push_back(holder);
}

void TextArena::removeHolder(std::shared_ptr<RecordBlock> *holder)
{
    m_holders.erase(std::remove(m_holders.begin(), m_holders.end(), holder), m_holders.end());
}

bool TextArena::wasteful() const
{
    std::size_t held = 0;
    std::size_t live = 0;
    for (const Chunk *c : m_chunks) {
        if (!c || c->pinned)
            continue; // a snapshot's chunks go when it goes
        held += c->capacity;
        live += c->whole ? c->capacity : std::size_t(c->live);
    }
    return held > 2 * live + kSlackBytes;
}

void TextArena::compactIfWasteful() noexcept
{
    if (m_compacting || m_holders.empty() || !wasteful())
        return;
    m_compacting = true;
    try {
        compact();
    } catch (const std::bad_alloc &) {
        // Every record moved so far reads the same: the rest stay where they are.
    }
    m_compacting = false;
}

void TextArena::compact()
{
    // Chunks less than three quarters used are emptied: what stays is well
    // used, so the next compaction needs many more bytes to go first.
    std::vector<bool> sparse(m_chunks.size(), false);
    bool any = false;
    for (std::size_t i = 1; i < m_chunks.size(); ++i) {
        const Chunk *c = m_chunks[i];
        if (c && !c->pinned && !c->whole && c->live * 4 < std::uint64_t(c->size) * 3) {
            sparse[i] = true;
            any = true;
        }
    }
    if (!any)
        return;
    if (sparse[m_current])
        m_current = 0; // survivors and new texts go to fresh chunks
    const auto inSparse = [&sparse](EntryRecord r) {
        const std::uint32_t index = chunkOf(r);
        return index < sparse.size() && sparse[index];
    };

    // The lists with texts to move, each with the position of its first one.
    std::vector<std::pair<std::shared_ptr<RecordBlock> *, std::size_t>> lists;
    for (std::shared_ptr<RecordBlock> *holder : m_holders) {
        const RecordArray &records = (*holder)->m_records;
        const EntryRecord *first = std::find_if(records.begin(), records.end(), inSparse);
        if (first != records.end())
            lists.emplace_back(holder, std::size_t(first - records.begin()));
    }
    // A text that several lists share is moved once and stays shared. Where
    // one list alone has texts to move, as after clearing the others, no
    // table of moved texts is needed.
    std::unordered_map<EntryRecord, EntryRecord> moved;
    for (std::size_t k = 0; k < lists.size(); ++k) {
        std::shared_ptr<RecordBlock> *holder = lists[k].first;
        const bool remember = k + 1 < lists.size();
        // A snapshot keeps reading the old records and chunks.
        if (holder->use_count() > 1)
            *holder = std::make_shared<RecordBlock>(**holder);
        RecordArray &records = (*holder)->m_records;
        for (std::size_t i = lists[k].second; i < records.size(); ++i) {
            const EntryRecord r = records[i];
            if (!inSparse(r))
                continue;
            const EntryRecord key = r & ~kCheckedBit;
            const auto found = moved.empty() ? moved.end() : moved.find(key);
            EntryRecord to;
            if (found != moved.end()) {
                to = found->second;
                addRef(to);
            } else {
                const EntryText t = text(r);
                to = storeBytes(t.data, std::size_t(t.bytes), t.wide) & ~kCheckedBit;
                // A slot freed by this pass may hold a fresh chunk by now.
                if (chunkOf(to) < sparse.size())
                    sparse[chunkOf(to)] = false;
            }
            records[i] = to | (r & kCheckedBit);
            release(r);
            if (remember && found == moved.end())
                moved.emplace(key, to);
        }
    }
    for (std::size_t i = 1; i < sparse.size(); ++i) {
        if (sparse[i] && m_chunks[i])
            m_chunks[i]->pinned = true;
    }
}

RecordArray::RecordArray(const RecordArray &other)
{
    reserve(other.m_size);
    if (other.m_size)
        std::memcpy(m_data, other.m_data, other.m_size * sizeof(EntryRecord));
    m_size = other.m_size;
    m_ready = other.m_size;
}

RecordArray::~RecordArray()
{
    std::free(m_data);
}

qsizetype RecordBlock::longestText(qsizetype first, qsizetype last) const
{
    qint64 longest = 0;
    for (qsizetype i = first; i < last; ++i) {
        qint64 length = TextArena::narrowLengthOf(m_records[std::size_t(i)]);
        if (length < 0)
            length = text(i).visit([](auto t) { return CharacterCount(t); });
        longest = std::max(longest, length);
    }
    return qsizetype(longest);
}

void RecordArray::grow(std::size_t capacity)
{
    if (capacity > std::size_t(-1) / sizeof(EntryRecord))
        throw std::bad_alloc();
    auto *data = static_cast<EntryRecord *>(std::realloc(m_data, capacity * sizeof(EntryRecord)));
    if (!data)
        throw std::bad_alloc(); // the old block is still valid and unchanged
    m_data = data;
    m_capacity = capacity;
}

void RecordArray::extend()
{
    if (m_ready == m_capacity)
        grow(m_capacity < 64 ? 64 : m_capacity + m_capacity / 2);
    // Map the next window in with one call rather than a page fault per page:
    // the records come one after another, so it is written soon. Never more
    // than a window ahead, so a guess can never map in more than it keeps.
    const std::size_t window = kFaultWindow / sizeof(EntryRecord);
    const std::size_t ready = m_capacity - m_size > window ? m_size + window : m_capacity;
    if (ready - m_size >= window / 4)
        faultIn(m_data + m_size, (ready - m_size) * sizeof(EntryRecord));
    m_ready = ready;
}

void RecordArray::erase(std::size_t i)
{
    std::memmove(m_data + i, m_data + i + 1, (m_size - i - 1) * sizeof(EntryRecord));
    --m_size;
    // A list emptied entry by entry gives its room back, a half at a time.
    if (m_capacity > kShrinkFloor && m_size < m_capacity / 4) {
        const std::size_t capacity = std::max<std::size_t>(m_size * 2, 64);
        if (auto *data = static_cast<EntryRecord *>(std::realloc(m_data, capacity * sizeof(EntryRecord)))) {
            m_data = data;
            m_capacity = capacity;
            m_ready = std::min(m_ready, capacity);
        }
    }
}

void RecordArray::release()
{
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_ready = 0;
}

RecordBlock::RecordBlock(const RecordBlock &other) : m_arena(other.m_arena), m_records(other.m_records)
{
    for (EntryRecord r : m_records)
        m_arena->addRef(r);
}

RecordBlock::~RecordBlock()
{
    clear();
    // The last holder of a list's old records (a cleared list, a snapshot at
    // the end of an export) may leave the other lists' chunks mostly unused.
    m_arena->compactIfWasteful();
}

void RecordBlock::setChecked(qsizetype i, bool on)
{
    EntryRecord &r = m_records[std::size_t(i)];
    r = TextArena::withChecked(r, on);
}

void RecordBlock::remove(qsizetype i)
{
    m_arena->release(m_records[std::size_t(i)]);
    m_records.erase(std::size_t(i));
}

void RecordBlock::clear()
{
    for (EntryRecord r : m_records)
        m_arena->release(r);
    m_records.release();
}
