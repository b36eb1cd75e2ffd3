#pragma once
// Our compound file (structured storage): a tree of storages and streams inside one file, in the
// common on-disk format (version 3, 512-byte sectors, mini stream for streams under 4096 bytes).
// Direct mode: every change is in the file when the call that made it returns. Write access
// holds an exclusive advisory lock on the file, read access a shared one; an open fails when
// the other kind is held. The reader distrusts the file: damaged structures make Open fail, in
// time and memory bounded by the file's size.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kz {

class CompoundFile;

// Sequential reader of one stream. Valid while its file is open.
class StreamReader {
public:
    std::uint64_t Size() const { return m_size; }
    // Reads up to n bytes at the current position: the count read (0 at the end), -1 on error.
    std::int64_t Read(char *buf, std::int64_t n);
    // Writes the rest of the stream to an open file at that file's position, file to file in
    // the kernel where the sectors are consecutive: the count written, -1 on an error (the
    // compound file ends before the stream, or the write failed).
    std::int64_t CopyTo(int fd);

private:
    friend class CompoundFile;
    CompoundFile *m_file = nullptr;
    std::vector<std::uint32_t> m_chain; // sector (or mini sector) numbers
    bool m_mini = false;
    std::uint64_t m_size = 0;
    std::uint64_t m_pos = 0;
};

// Appends to one stream; each Write is on disk when it returns. Valid while its file is open.
class StreamWriter {
public:
    bool Write(const char *data, std::int64_t n);
    // Appends n bytes of an open file from the offset, copied file to file where the system
    // can; fails when the file holds fewer.
    bool WriteFromFile(int fd, std::uint64_t offset, std::int64_t n);
    std::uint64_t Size() const;

private:
    friend class CompoundFile;
    CompoundFile *m_file = nullptr;
    std::uint32_t m_id = 0;
    std::uint32_t m_tail = 0xFFFFFFFE; // last sector of the chain, end-of-chain when empty
};

class CompoundFile {
public:
    using Id = std::uint32_t;
    static constexpr Id kRootId = 0;
    static constexpr int kMaxNameLength = 31;

    enum class Access { Read, Write };
    enum class Kind : std::uint8_t { Storage = 1, Stream = 2, Root = 5 };
    struct Element {
        QString name;
        Kind kind = Kind::Storage;
        Id id = 0;
        std::uint64_t size = 0;
    };

    ~CompoundFile();
    CompoundFile(const CompoundFile &) = delete;
    CompoundFile &operator=(const CompoundFile &) = delete;

    // True when the path is a regular file that starts with the format's signature.
    static bool IsCompoundFile(const QString &path);
    // 1 to 31 characters, none of them "/", "\", ":", "!" or a zero.
    static bool IsValidName(const QString &name);
    // The format's order of names: shorter first, then by upper-cased characters.
    static int CompareNames(const QString &a, const QString &b);

    // A new empty file replacing any existing one, open for writing.
    static std::unique_ptr<CompoundFile> Create(const QString &path);
    // A new empty file that did not exist before (O_EXCL), open for writing; null when the
    // path is taken.
    static std::unique_ptr<CompoundFile> CreateNew(const QString &path);
    static std::unique_ptr<CompoundFile> Open(const QString &path, Access access);

    // The children of a storage in the format's tree order; empty for anything else.
    std::vector<Element> Children(Id storage) const;
    // A child by name, compared without regard to case.
    std::optional<Element> Find(Id storage, const QString &name) const;

    // Creating replaces an existing child of that name (with its subtree).
    std::optional<Id> CreateStorage(Id parent, const QString &name);
    std::optional<Id> CreateStream(Id parent, const QString &name);
    // Removes a child with its subtree and frees its sectors.
    bool Destroy(Id parent, const QString &name);
    // Fails when the new name is invalid, or taken by another child unless that is to be
    // replaced (it is then destroyed in the same write).
    bool Rename(Id parent, const QString &from, const QString &to, bool replace = false);
    // Copies every child of a storage (recursively) into a storage of another file.
    bool CopyStorageTo(Id storage, CompoundFile &dest, Id destStorage);

    std::unique_ptr<StreamReader> OpenReader(Id stream);
    std::unique_ptr<StreamWriter> OpenWriter(Id stream);

    // After a failed write the file's state in memory may differ from the disk: every further
    // change fails; reopen the file to go on.
    bool Broken() const { return m_broken; }

    // Changes the file's permission bits.
    bool SetPermissions(unsigned mode);

private:
    friend class StreamReader;
    friend class StreamWriter;
    struct Entry;

    CompoundFile();
    bool Load();
    bool InitEmpty();
    bool ReadSector(std::uint32_t sector, char *buf);
    bool WriteAt(std::uint64_t offset, const char *data, std::size_t n);
    std::uint64_t SectorOffset(std::uint32_t sector) const;
    std::uint64_t MiniOffset(std::uint32_t mini) const;

    bool WalkToEnd(std::uint32_t start, std::vector<std::uint32_t> &out) const;
    // Like WalkToEnd, but stops after `cap` sectors.
    bool WalkCapped(std::uint32_t start, std::uint64_t cap, std::vector<std::uint32_t> &out) const;
    bool WalkSized(std::uint32_t start, std::uint64_t count, bool mini,
                   std::vector<std::uint32_t> &out) const;
    bool ValidateTree();
    void CollectChildren(Id storage, std::vector<Id> &out) const;
    bool IsStorageId(Id id) const;

    std::uint32_t AllocSector();
    void GrowFat();
    void SetFat(std::uint32_t sector, std::uint32_t value);
    std::uint32_t AllocMini();
    void SetMiniFat(std::uint32_t mini, std::uint32_t value);
    void FreeChain(std::uint32_t start, bool mini);
    Id AllocEntry();
    void MarkEntry(Id id);
    void RebuildTree(Id storage, std::vector<Id> children);
    void FreeSubtree(Id id);
    std::optional<Id> CreateElement(Id parent, const QString &name, Kind kind);

    bool AppendStream(StreamWriter &w, const char *data, std::int64_t n);
    // A range of another file.
    struct Piece {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    // Appends the pieces of an open file, in order, in one go.
    bool AppendPieces(StreamWriter &w, int fd, const std::vector<Piece> &pieces);
    struct DataSource;
    bool WriteFrom(DataSource &src, std::uint64_t dest, std::uint64_t n);
    bool AppendRegular(Entry &e, std::uint32_t &tail, DataSource &src, std::int64_t n);
    bool AppendFromFile(StreamWriter &w, int fd, std::uint64_t offset, std::int64_t n);
    bool AppendMini(Entry &e, std::uint32_t &tail, const char *data, std::int64_t n);
    bool Flush();
    bool Fail();

    int m_fd = -1;
    bool m_write = false;
    bool m_broken = false;
    std::uint32_t m_sectorSize = 512;
    std::uint16_t m_major = 3;
    std::uint64_t m_fileSectors = 0;      // sectors the file holds (after the header)
    std::uint64_t m_usedSectors = 0;      // sectors the file must hold after the next flush
    std::uint64_t m_committedSectors = 0; // sectors the structures on disk know of

    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_fatSectors;
    std::vector<std::uint32_t> m_difatSectors;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<std::uint32_t> m_miniFatChain;
    std::vector<std::uint32_t> m_miniStreamChain;
    std::vector<std::uint32_t> m_dirChain;
    std::vector<Entry> m_dir;
    std::uint32_t m_freeHint = 0;
    std::uint32_t m_miniFreeHint = 0;

    // Sectors of a table changed since the last flush, by their position in the table's chain.
    struct DirtySet {
        std::vector<bool> flags;
        std::vector<std::uint32_t> list;
        void Mark(std::size_t i) {
            if (!flags[i]) {
                flags[i] = true;
                list.push_back(std::uint32_t(i));
            }
        }
        void Append() {
            flags.push_back(false);
            Mark(flags.size() - 1);
        }
        void Reset(std::size_t n) {
            flags.assign(n, false);
            list.clear();
        }
        void Clear() {
            for (const std::uint32_t i : list)
                flags[i] = false;
            list.clear();
        }
    };
    DirtySet m_dirtyFat, m_dirtyMiniFat, m_dirtyDir;
    std::uint64_t m_fileBytes = 0; // the file's size as last seen or written
    bool m_dirtyHeader = false;
    bool m_dirtyDifat = false;
};

} // namespace kz
