#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

// Compact, shared storage for the texts of the number lists.
//
// Texts live in immutable chunks of 1 MiB inside a TextArena; an entry is one
// 64-bit record naming its chunk, offset, length, encoding and check mark. A
// text whose characters all fit in Latin-1 takes one byte a character, any
// other text is kept as UTF-16. Copying an entry to another list of the same
// arena copies the record only. Each chunk counts the bytes of the records
// that point into it, so a chunk is freed as soon as no list (or snapshot)
// refers to it. When clears and removals leave the chunks holding much more
// than the texts still kept, the lists' texts are moved out of the mostly
// unused chunks into fresh ones (see compactIfWasteful).

// One entry's text, without copying it. Its bytes come from a TextArena
// chunk, so kReadAhead bytes from its start may be read even where the text is
// shorter: what lies past its end is another text or the chunk's spare room.
// A list's text stays where it is until a list of the arena is cleared or
// loses an entry (a compaction may move it then); a snapshot's stays for as
// long as the snapshot lives.
struct EntryText
{
    static constexpr std::size_t kReadAhead = 16;

    const char *data = nullptr;
    qsizetype bytes = 0;
    bool wide = false; // UTF-16 when true, Latin-1 otherwise

    qsizetype size() const { return wide ? bytes / 2 : bytes; }
    QLatin1StringView latin1() const { return QLatin1StringView(data, bytes); }
    QStringView utf16() const { return QStringView(reinterpret_cast<const char16_t *>(data), bytes / 2); }
    QString toString() const { return wide ? utf16().toString() : QString(latin1()); }

    // Calls f with a QLatin1StringView or a QStringView of the text.
    template<typename F>
    decltype(auto) visit(F &&f) const
    {
        return wide ? f(utf16()) : f(latin1());
    }
};

// A record: bits 0-19 offset, 20-41 chunk, 42-61 length in bytes, 62 wide,
// 63 checked. Chunk 0 means the empty text. A length of kWholeChunk means the
// text fills a chunk of its own (texts of 1 MiB and more).
using EntryRecord = std::uint64_t;

class RecordBlock;

class TextArena
{
public:
    TextArena();
    ~TextArena();
    TextArena(const TextArena &) = delete;
    TextArena &operator=(const TextArena &) = delete;

    // Stores a text and returns its record (checked set), holding one reference.
    EntryRecord store(QStringView text);
    EntryRecord store(QLatin1StringView text)
    {
        // Fast path, inline: a short text that fits the current chunk.
        const std::size_t size = std::size_t(text.size());
        if (size != 0 && m_current != 0) {
            Chunk *c = m_chunks[m_current];
            const std::size_t offset = c->size;
            if (size < kWholeChunk && offset + size <= c->capacity) {
                copySmall(c->data + offset, text.data(), size);
                c->size = offset + size;
                c->live += size;
                return kCheckedBit | (std::uint64_t(size) << (kOffsetBits + kChunkBits))
                    | (std::uint64_t(m_current) << kOffsetBits) | offset;
            }
        }
        return storeBytes(text.data(), size, false);
    }

    EntryText text(EntryRecord r) const
    {
        const std::uint32_t index = chunkOf(r);
        if (index == 0)
            return {};
        const Chunk *c = m_chunks[index];
        const std::uint64_t length = (r >> (kOffsetBits + kChunkBits)) & kLengthMask;
        EntryText t;
        t.wide = (r & kWideBit) != 0;
        if (length == kWholeChunk) {
            t.data = c->data;
            t.bytes = qsizetype(c->size);
        } else {
            t.data = c->data + (r & kOffsetMask);
            t.bytes = qsizetype(length);
        }
        return t;
    }

    void addRef(EntryRecord r)
    {
        if (const std::uint32_t index = chunkOf(r))
            m_chunks[index]->live += lengthOf(r);
    }
    void release(EntryRecord record);

    // Bytes held in chunks (for tests and benchmarks).
    std::size_t bytesAllocated() const { return m_bytesAllocated; }
    std::size_t liveChunks() const;

    // The record blocks of the lists: compaction may move their texts and give
    // a list whose block a snapshot shares a copy of its own. A holder stays at
    // one address from add to remove.
    void addHolder(std::shared_ptr<RecordBlock> *holder);
    void removeHolder(std::shared_ptr<RecordBlock> *holder);

    // Where the chunks hold more than twice the bytes the records point at,
    // moves the holders' texts out of the mostly unused chunks into fresh
    // ones; the texts read the same. Snapshots keep their records, and the
    // chunks they read stay until they go. Cheap when there is nothing to do;
    // never fails (short of memory, the texts stay where they are).
    void compactIfWasteful() noexcept;

    // Has the system map in the memory of the next full-size chunks of any
    // arena, up to `bytes` of it, so that whichever thread fills them later
    // does not wait for the system to clear it. Safe from any thread; only a
    // hint.
    static void prepareChunks(std::size_t bytes) noexcept;

    // The length in characters of a record's text where the record alone
    // tells it (a Latin-1 text shorter than a chunk, or the empty text); -1
    // for any other record, whose text must be read.
    static qint64 narrowLengthOf(EntryRecord r)
    {
        const std::uint64_t length = lengthOf(r);
        return (r & kWideBit) == 0 && length != kWholeChunk ? qint64(length) : -1;
    }

    static bool isChecked(EntryRecord r) { return (r >> 63) & 1u; }
    static EntryRecord withChecked(EntryRecord r, bool on)
    {
        return on ? (r | (EntryRecord(1) << 63)) : (r & ~(EntryRecord(1) << 63));
    }

private:
    struct Chunk
    {
        std::size_t size = 0;
        std::size_t capacity = 0;
        char *data = nullptr;
        bool whole = false; // one text of 1 MiB or more
        // Left to snapshots by a compaction: no list points in any more.
        bool pinned = false;
        // Bytes of the records pointing in, counted once per record (a text
        // of its own chunk counts kWholeChunk); zero when none does. On a
        // cache line of its own: a thread that counts the records it appends
        // must not take the line that holds `data` from a thread reading
        // the texts meanwhile.
        alignas(64) std::uint64_t live = 0;
    };
    static constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
    static constexpr unsigned kOffsetBits = 20;
    static constexpr unsigned kChunkBits = 22;
    static constexpr unsigned kLengthBits = 20;
    static constexpr std::uint64_t kOffsetMask = (std::uint64_t(1) << kOffsetBits) - 1;
    static constexpr std::uint64_t kChunkMask = (std::uint64_t(1) << kChunkBits) - 1;
    static constexpr std::uint64_t kLengthMask = (std::uint64_t(1) << kLengthBits) - 1;
    static constexpr std::uint64_t kWholeChunk = kLengthMask;
    static constexpr std::uint64_t kWideBit = std::uint64_t(1) << 62;
    static constexpr std::uint64_t kCheckedBit = std::uint64_t(1) << 63;
    // Waste below this is left alone, so that small lists never compact.
    static constexpr std::size_t kSlackBytes = std::size_t(2) << 20;
    // Most texts are a phone number long: two overlapping 8-byte moves beat a
    // call to memcpy for them.
    static void copySmall(char *to, const char *from, std::size_t size)
    {
        if (size >= 8 && size <= 16) {
            std::uint64_t head, tail;
            std::memcpy(&head, from, 8);
            std::memcpy(&tail, from + size - 8, 8);
            std::memcpy(to, &head, 8);
            std::memcpy(to + size - 8, &tail, 8);
        } else {
            std::memcpy(to, from, size);
        }
    }
    static std::uint32_t chunkOf(EntryRecord r) { return std::uint32_t((r >> kOffsetBits) & kChunkMask); }
    static std::uint64_t lengthOf(EntryRecord r) { return (r >> (kOffsetBits + kChunkBits)) & kLengthMask; }

    EntryRecord storeBytes(const void *bytes, std::size_t size, bool wide);
    std::uint32_t newChunk(std::size_t capacity);
    void freeChunk(std::uint32_t index);
    bool wasteful() const;
    void compact();

    std::vector<Chunk *> m_chunks; // index 0 unused
    std::vector<std::uint32_t> m_freeSlots;
    std::uint32_t m_current = 0; // chunk that takes small texts, 0 = none yet
    std::size_t m_bytesAllocated = 0;
    std::vector<std::shared_ptr<RecordBlock> *> m_holders;
    bool m_compacting = false;
};

// A growable array of records. It grows with realloc: for large blocks the C
// library moves pages instead of copying them, so ten million records never
// sit in memory twice while the array grows. It grows by half its size, and
// the room ahead of the last record is mapped in windows of at most
// kFaultWindow bytes as the records reach it, so the memory it holds stays in
// proportion to the records it keeps however fast or slow they come.
class RecordArray
{
public:
    RecordArray() = default;
    RecordArray(const RecordArray &other);
    RecordArray &operator=(const RecordArray &) = delete;
    ~RecordArray();

    std::size_t size() const { return m_size; }
    const EntryRecord *begin() const { return m_data; }
    const EntryRecord *end() const { return m_data + m_size; }
    EntryRecord operator[](std::size_t i) const { return m_data[i]; }
    EntryRecord &operator[](std::size_t i) { return m_data[i]; }

    // Room for one more record, so that the next push_back cannot fail.
    void makeRoom()
    {
        if (m_size == m_ready)
            extend();
    }
    void push_back(EntryRecord r)
    {
        makeRoom();
        m_data[m_size++] = r;
    }
    void erase(std::size_t i); // gives room back when most of it is unused
    void reserve(std::size_t n)
    {
        if (n > m_capacity)
            grow(n);
    }
    void release(); // empties the array and frees its memory

    std::size_t capacity() const { return m_capacity; }
    // Records whose room is mapped in already (for tests and benchmarks).
    std::size_t ready() const { return m_ready; }

    static constexpr std::size_t kFaultWindow = std::size_t(1) << 20;
    static constexpr std::size_t kShrinkFloor = 4096; // records

private:
    void grow(std::size_t capacity);
    void extend();

    EntryRecord *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_ready = 0; // m_size <= m_ready <= m_capacity
};

// An ordered sequence of records of one arena. Copying it is cheap when shared
// through std::shared_ptr; the owner detaches before changing a shared block.
class RecordBlock
{
public:
    explicit RecordBlock(std::shared_ptr<TextArena> arena) : m_arena(std::move(arena)) {}
    RecordBlock(const RecordBlock &other); // adds a reference per record
    RecordBlock &operator=(const RecordBlock &) = delete;
    ~RecordBlock();

    const std::shared_ptr<TextArena> &arena() const { return m_arena; }
    qsizetype size() const { return qsizetype(m_records.size()); }
    EntryRecord record(qsizetype i) const { return m_records[std::size_t(i)]; }
    EntryText text(qsizetype i) const { return m_arena->text(m_records[std::size_t(i)]); }
    bool checked(qsizetype i) const { return TextArena::isChecked(m_records[std::size_t(i)]); }
    // The most characters (CharacterCount) of the texts from `first` to
    // before `last`; 0 for none. Reads only the records of Latin-1 texts.
    qsizetype longestText(qsizetype first, qsizetype last) const;

    // Room first: a record stored but not kept would pin its chunk forever.
    void append(QStringView text)
    {
        m_records.makeRoom();
        m_records.push_back(m_arena->store(text));
    }
    void append(QLatin1StringView text)
    {
        m_records.makeRoom();
        m_records.push_back(m_arena->store(text));
    }
    // Appends a record of the same arena (copies no characters).
    void appendRecord(EntryRecord record)
    {
        m_records.push_back(record);
        m_arena->addRef(record);
    }
    void setChecked(qsizetype i, bool on);
    void remove(qsizetype i);
    void clear();
    void reserve(qsizetype n) { m_records.reserve(std::size_t(n)); }
    std::size_t recordCapacity() const { return m_records.capacity(); }

private:
    friend class TextArena; // compaction rewrites the records in place
    std::shared_ptr<TextArena> m_arena;
    RecordArray m_records;
};
