#include "CompoundFile.h"

#include "platform/FdIo.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kMaxRegular = 0xFFFFFFFA;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kMiniSize = 64;
constexpr std::uint32_t kMiniCutoff = 4096;
constexpr std::uint32_t kEntrySize = 128;
constexpr int kHeaderDifat = 109;
// A directory larger than this is taken for a damaged one.
constexpr std::size_t kMaxEntries = 1u << 18;
// Files up to this many sectors (16 GiB at 512 bytes) are handled; it bounds the memory the
// tables take (128 MiB of FAT at most) even for a sparse file that claims a huge size.
constexpr std::uint64_t kMaxSectors = 1u << 25;
// Storage copies move whole runs of 10240-byte chunks per call.
constexpr std::int64_t kCopyChunk = 64 * 10240;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::uint16_t Get16(const char *p) {
    return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}
std::uint32_t Get32(const char *p) {
    return std::uint32_t(std::uint8_t(p[0])) | (std::uint32_t(std::uint8_t(p[1])) << 8) |
           (std::uint32_t(std::uint8_t(p[2])) << 16) | (std::uint32_t(std::uint8_t(p[3])) << 24);
}
void Put16(char *p, std::uint16_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
void Put32(char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

bool IsRegular(std::uint32_t v) {
    return v <= kMaxRegular;
}

char16_t UpperOf(char16_t c) {
    return QChar(c).toUpper().unicode();
}

} // namespace

struct CompoundFile::Entry {
    std::array<char, kEntrySize> raw{};
    QString name;
    std::uint8_t type = 0;
    std::uint8_t color = 1;
    std::uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    std::uint32_t start = kEnd;
    std::uint64_t size = 0;

    void Decode(bool v4) {
        const char *p = raw.data();
        type = std::uint8_t(p[66]);
        color = std::uint8_t(p[67]);
        left = Get32(p + 68);
        right = Get32(p + 72);
        child = Get32(p + 76);
        start = Get32(p + 116);
        size = Get32(p + 120);
        if (v4)
            size |= std::uint64_t(Get32(p + 124)) << 32;
        name.clear();
        const std::uint16_t len = Get16(p + 64);
        for (int i = 0; i + 1 < len && i < 64; i += 2) {
            const char16_t c = Get16(p + i);
            if (c == 0)
                break;
            name.append(QChar(c));
        }
    }
    // Name length field as stored, for validation.
    std::uint16_t StoredNameLength() const { return Get16(raw.data() + 64); }

    void Encode() {
        char *p = raw.data();
        std::memset(p, 0, 64);
        const int n = std::min<int>(int(name.size()), 31);
        for (int i = 0; i < n; ++i)
            Put16(p + 2 * i, name[i].unicode());
        Put16(p + 64, std::uint16_t(type == 0 ? 0 : (n + 1) * 2));
        p[66] = char(type);
        p[67] = char(color);
        Put32(p + 68, left);
        Put32(p + 72, right);
        Put32(p + 76, child);
        Put32(p + 116, start);
        Put32(p + 120, std::uint32_t(size & 0xFFFFFFFF));
        Put32(p + 124, std::uint32_t(size >> 32));
    }

    void Clear() {
        raw.fill(0);
        name.clear();
        type = 0;
        color = 0;
        left = right = child = kNoStream;
        start = 0;
        size = 0;
        Encode();
    }
};

// Where appended bytes come from: memory, a range of another open file, or pieces of one
// (a stream of another compound file, run by run).
struct CompoundFile::DataSource {
    const char *data = nullptr;
    int fd = -1;
    std::uint64_t offset = 0; // in the file: of the next byte
    const std::vector<Piece> *pieces = nullptr;
    std::size_t piece = 0;     // the piece the next byte is in
    std::uint64_t inPiece = 0; // and its place there

    // Bytes that follow `offset` in the file without a jump.
    std::uint64_t Contiguous() const {
        return pieces ? (*pieces)[piece].length - inPiece : UINT64_MAX;
    }
    void Advance(std::uint64_t n) {
        offset += n;
        if (!pieces)
            return;
        inPiece += n;
        while (piece < pieces->size() && inPiece >= (*pieces)[piece].length) {
            inPiece -= (*pieces)[piece].length;
            ++piece;
        }
        if (piece < pieces->size())
            offset = (*pieces)[piece].offset + inPiece;
    }
};

CompoundFile::CompoundFile() = default;

CompoundFile::~CompoundFile() {
    if (m_fd >= 0)
        ::close(m_fd); // also drops the lock
}

bool CompoundFile::IsValidName(const QString &name) {
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c.unicode() == 0)
            return false;
    }
    return true;
}

int CompoundFile::CompareNames(const QString &a, const QString &b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = UpperOf(a[i].unicode()), y = UpperOf(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool CompoundFile::IsCompoundFile(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    char sig[8];
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, sig, 8, 0) == 8 &&
                    std::memcmp(sig, kSignature, 8) == 0;
    ::close(fd);
    return ok;
}

std::unique_ptr<CompoundFile> CompoundFile::Create(const QString &path) {
    // Lock before truncating, so a file held by another writer is left alone.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<CompoundFile> f(new CompoundFile);
    f->m_fd = fd;
    f->m_write = true;
    struct stat st {};
    // A file that is new needs no truncation (on ext4 that would also make its close wait for
    // the data to be flushed).
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        (st.st_size > 0 && ::ftruncate(fd, 0) != 0) || !f->InitEmpty())
        return nullptr;
    return f;
}

std::unique_ptr<CompoundFile> CompoundFile::CreateNew(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<CompoundFile> f(new CompoundFile);
    f->m_fd = fd;
    f->m_write = true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !f->InitEmpty()) {
        // Made here a moment ago: nobody else's.
        ::unlink(QFile::encodeName(path).constData());
        return nullptr;
    }
    return f;
}

bool CompoundFile::SetPermissions(unsigned mode) {
    return ::fchmod(m_fd, mode_t(mode & 07777)) == 0;
}

std::unique_ptr<CompoundFile> CompoundFile::Open(const QString &path, Access access) {
    const bool write = access == Access::Write;
    const int fd =
        ::open(QFile::encodeName(path).constData(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<CompoundFile> f(new CompoundFile);
    f->m_fd = fd;
    f->m_write = write;
    if (::flock(fd, (write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 || !f->Load())
        return nullptr;
    return f;
}

// ---- Reading the structures -------------------------------------------------------------

std::uint64_t CompoundFile::SectorOffset(std::uint32_t sector) const {
    return (std::uint64_t(sector) + 1) * m_sectorSize;
}

std::uint64_t CompoundFile::MiniOffset(std::uint32_t mini) const {
    const std::uint64_t at = std::uint64_t(mini) * kMiniSize;
    return SectorOffset(m_miniStreamChain[at / m_sectorSize]) + at % m_sectorSize;
}

bool CompoundFile::ReadSector(std::uint32_t sector, char *buf) {
    // The last sector of a file may be cut short; the rest reads as zeros.
    std::size_t got = 0;
    while (got < m_sectorSize) {
        const ssize_t n =
            ::pread(m_fd, buf + got, m_sectorSize - got, off_t(SectorOffset(sector) + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    std::memset(buf + got, 0, m_sectorSize - got);
    return true;
}

bool CompoundFile::WalkToEnd(std::uint32_t start, std::vector<std::uint32_t> &out) const {
    out.clear();
    const std::uint64_t limit = std::min<std::uint64_t>(m_fileSectors, m_fat.size());
    std::vector<bool> seen(limit, false);
    std::uint32_t s = start;
    while (s != kEnd) {
        if (!IsRegular(s) || s >= limit || seen[s])
            return false;
        seen[s] = true;
        out.push_back(s);
        s = m_fat[s];
    }
    return true;
}

bool CompoundFile::WalkCapped(std::uint32_t start, std::uint64_t cap,
                              std::vector<std::uint32_t> &out) const {
    out.clear();
    const std::uint64_t limit = std::min<std::uint64_t>(m_fileSectors, m_fat.size());
    std::vector<bool> seen(limit, false);
    for (std::uint32_t s = start; s != kEnd && out.size() < cap; s = m_fat[s]) {
        if (!IsRegular(s) || s >= limit || seen[s])
            return false;
        seen[s] = true;
        out.push_back(s);
    }
    return true;
}

bool CompoundFile::WalkSized(std::uint32_t start, std::uint64_t count, bool mini,
                             std::vector<std::uint32_t> &out) const {
    out.clear();
    const std::vector<std::uint32_t> &table = mini ? m_miniFat : m_fat;
    const std::uint64_t exists =
        mini ? m_dir[0].size / kMiniSize : std::min<std::uint64_t>(m_fileSectors, m_fat.size());
    const std::uint64_t limit = std::min<std::uint64_t>(exists, table.size());
    if (count > limit)
        return false;
    out.reserve(count);
    std::vector<bool> seen(limit, false);
    std::uint32_t s = start;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (!IsRegular(s) || s >= limit || seen[s])
            return false;
        seen[s] = true;
        out.push_back(s);
        s = table[s];
    }
    return true;
}

bool CompoundFile::Load() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 512)
        return false;
    char h[512];
    if (::pread(m_fd, h, 512, 0) != 512 || std::memcmp(h, kSignature, 8) != 0)
        return false;
    m_major = Get16(h + 26);
    const std::uint16_t shift = Get16(h + 30);
    if (Get16(h + 28) != 0xFFFE || Get16(h + 32) != 6 || Get32(h + 56) != kMiniCutoff)
        return false;
    if (!((m_major == 3 && shift == 9) || (m_major == 4 && shift == 12)))
        return false;
    m_sectorSize = 1u << shift;
    if (std::uint64_t(st.st_size) < m_sectorSize)
        return false;
    m_fileSectors = (std::uint64_t(st.st_size) - m_sectorSize + m_sectorSize - 1) / m_sectorSize;
    if (m_fileSectors > kMaxSectors)
        return false;
    m_usedSectors = m_committedSectors = m_fileSectors;
    const std::uint32_t perSector = m_sectorSize / 4;

    // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
    const std::uint32_t numFat = Get32(h + 44);
    const std::uint32_t numDifat = Get32(h + 72);
    if (numFat > m_fileSectors || numDifat > m_fileSectors || numFat > kMaxSectors / perSector + 64)
        return false;
    for (std::uint32_t i = 0; i < numFat && i < kHeaderDifat; ++i)
        m_fatSectors.push_back(Get32(h + 76 + 4 * i));
    std::vector<char> buf(m_sectorSize);
    std::vector<bool> seen(m_fileSectors, false);
    std::uint32_t d = Get32(h + 68);
    while (m_fatSectors.size() < numFat) {
        if (!IsRegular(d) || d >= m_fileSectors || seen[d] || m_difatSectors.size() >= numDifat)
            return false;
        seen[d] = true;
        m_difatSectors.push_back(d);
        if (!ReadSector(d, buf.data()))
            return false;
        for (std::uint32_t i = 0; i + 1 < perSector && m_fatSectors.size() < numFat; ++i)
            m_fatSectors.push_back(Get32(buf.data() + 4 * i));
        d = Get32(buf.data() + 4 * (perSector - 1));
    }
    m_fat.reserve(std::size_t(numFat) * perSector);
    std::fill(seen.begin(), seen.end(), false);
    for (const std::uint32_t s : m_fatSectors) {
        if (!IsRegular(s) || s >= m_fileSectors || seen[s])
            return false;
        seen[s] = true;
    }
    // Runs of consecutive FAT sectors are read at once.
    std::vector<char> run;
    for (std::size_t i = 0; i < m_fatSectors.size();) {
        std::size_t j = i + 1;
        while (j < m_fatSectors.size() && j - i < 256 && m_fatSectors[j] == m_fatSectors[j - 1] + 1)
            ++j;
        run.assign((j - i) * m_sectorSize, 0);
        std::size_t got = 0;
        while (got < run.size()) {
            const ssize_t n = ::pread(m_fd, run.data() + got, run.size() - got,
                                      off_t(SectorOffset(m_fatSectors[i]) + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break; // a short last sector reads as zeros
            got += std::size_t(n);
        }
        for (std::size_t k = 0; k < run.size(); k += 4)
            m_fat.push_back(Get32(run.data() + k));
        i = j;
    }
    // What the header says are FAT and DIFAT sectors is never handed out as free space.
    for (const std::uint32_t s : m_fatSectors)
        if (s < m_fat.size())
            m_fat[s] = kFatSect;
    for (const std::uint32_t s : m_difatSectors)
        if (s < m_fat.size())
            m_fat[s] = kDifSect;

    // Directory.
    if (!WalkToEnd(Get32(h + 48), m_dirChain) || m_dirChain.empty())
        return false;
    const std::uint32_t perDirSector = m_sectorSize / kEntrySize;
    if (std::uint64_t(m_dirChain.size()) * perDirSector > kMaxEntries)
        return false;
    for (const std::uint32_t s : m_dirChain) {
        if (!ReadSector(s, buf.data()))
            return false;
        for (std::uint32_t i = 0; i < perDirSector; ++i) {
            Entry e;
            std::memcpy(e.raw.data(), buf.data() + i * kEntrySize, kEntrySize);
            e.Decode(m_major == 4);
            if (e.type != 0 && e.type != 1 && e.type != 2 && e.type != 5)
                return false;
            m_dir.push_back(std::move(e));
        }
    }
    if (m_dir[0].type != 5)
        return false;
    if (m_major == 3)
        m_dir[0].size &= 0xFFFFFFFF;

    // Mini FAT and the mini stream (the root's stream). The mini FAT needs no more sectors than
    // it takes to describe the mini stream's 64-byte sectors; whatever the chain holds after
    // those describes nothing and is not read.
    const std::uint64_t miniBytes = m_dir[0].size;
    if (miniBytes > std::uint64_t(st.st_size))
        return false;
    const std::uint64_t miniFatCap = (miniBytes / kMiniSize + perSector - 1) / perSector;
    if (!WalkCapped(Get32(h + 60), miniFatCap, m_miniFatChain))
        return false;
    for (const std::uint32_t s : m_miniFatChain) {
        if (!ReadSector(s, buf.data()))
            return false;
        for (std::uint32_t i = 0; i < perSector; ++i)
            m_miniFat.push_back(Get32(buf.data() + 4 * i));
    }
    if (!WalkSized(m_dir[0].start, (miniBytes + m_sectorSize - 1) / m_sectorSize, false,
                   m_miniStreamChain))
        return false;
    if (!ValidateTree())
        return false;

    m_dirtyFat.Reset(m_fatSectors.size());
    m_dirtyMiniFat.Reset(m_miniFatChain.size());
    m_dirtyDir.Reset(m_dirChain.size());
    m_fileBytes = std::uint64_t(st.st_size);
    return true;
}

bool CompoundFile::ValidateTree() {
    // Every element reachable from the root is reached once: no cycles, no shared subtrees.
    std::vector<bool> seen(m_dir.size(), false);
    seen[0] = true;
    std::vector<std::uint32_t> storages{0};
    std::vector<std::uint32_t> stack;
    while (!storages.empty()) {
        const std::uint32_t parent = storages.back();
        storages.pop_back();
        stack.assign(1, m_dir[parent].child);
        while (!stack.empty()) {
            const std::uint32_t id = stack.back();
            stack.pop_back();
            if (id == kNoStream)
                continue;
            if (id >= m_dir.size() || seen[id])
                return false;
            seen[id] = true;
            Entry &e = m_dir[id];
            if (e.type != 1 && e.type != 2)
                return false;
            const std::uint16_t len = e.StoredNameLength();
            if (len < 4 || len > 64 || len % 2 != 0 || e.name.size() != len / 2 - 1 ||
                !IsValidName(e.name))
                return false;
            if (m_major == 3)
                e.size &= 0xFFFFFFFF;
            if (e.type == 2 && e.size >= kMiniCutoff &&
                e.size > m_fileSectors * std::uint64_t(m_sectorSize))
                return false;
            if (e.type == 2 && e.size < kMiniCutoff && e.size > m_dir[0].size)
                return false;
            if (e.type == 1)
                storages.push_back(id);
            stack.push_back(e.left);
            stack.push_back(e.right);
        }
    }
    return true;
}

bool CompoundFile::IsStorageId(Id id) const {
    return id < m_dir.size() && (m_dir[id].type == 1 || m_dir[id].type == 5);
}

void CompoundFile::CollectChildren(Id storage, std::vector<Id> &out) const {
    out.clear();
    if (!IsStorageId(storage))
        return;
    // In-order walk; the tree was checked to be acyclic, the guard only bounds the work.
    std::vector<Id> stack;
    Id cur = m_dir[storage].child;
    std::size_t steps = 0;
    while ((cur != kNoStream || !stack.empty()) && steps++ <= 2 * m_dir.size()) {
        while (cur != kNoStream && cur < m_dir.size() && stack.size() <= m_dir.size()) {
            stack.push_back(cur);
            cur = m_dir[cur].left;
        }
        if (stack.empty())
            break;
        cur = stack.back();
        stack.pop_back();
        out.push_back(cur);
        cur = m_dir[cur].right;
    }
}

std::vector<CompoundFile::Element> CompoundFile::Children(Id storage) const {
    std::vector<Id> ids;
    CollectChildren(storage, ids);
    std::vector<Element> out;
    out.reserve(ids.size());
    for (const Id id : ids) {
        const Entry &e = m_dir[id];
        out.push_back({e.name, Kind(e.type), id, e.type == 2 ? e.size : 0});
    }
    return out;
}

std::optional<CompoundFile::Element> CompoundFile::Find(Id storage, const QString &name) const {
    std::vector<Id> ids;
    CollectChildren(storage, ids);
    for (const Id id : ids) {
        const Entry &e = m_dir[id];
        if (CompareNames(e.name, name) == 0)
            return Element{e.name, Kind(e.type), id, e.type == 2 ? e.size : 0};
    }
    return std::nullopt;
}

// ---- Streams ----------------------------------------------------------------------------

std::unique_ptr<StreamReader> CompoundFile::OpenReader(Id stream) {
    if (stream >= m_dir.size() || m_dir[stream].type != 2)
        return nullptr;
    const Entry &e = m_dir[stream];
    auto r = std::unique_ptr<StreamReader>(new StreamReader);
    r->m_file = this;
    r->m_size = e.size;
    r->m_mini = e.size < kMiniCutoff;
    const std::uint64_t unit = r->m_mini ? kMiniSize : m_sectorSize;
    if (!WalkSized(e.start, (e.size + unit - 1) / unit, r->m_mini, r->m_chain))
        return nullptr;
    return r;
}

std::int64_t StreamReader::Read(char *buf, std::int64_t n) {
    if (n <= 0 || m_pos >= m_size)
        return 0;
    const std::uint64_t want = std::min<std::uint64_t>(std::uint64_t(n), m_size - m_pos);
    const std::uint64_t unit = m_mini ? kMiniSize : m_file->m_sectorSize;
    std::uint64_t done = 0;
    while (done < want) {
        const std::uint64_t idx = m_pos / unit, in = m_pos % unit;
        std::uint64_t offset =
            m_mini ? m_file->MiniOffset(m_chain[idx]) : m_file->SectorOffset(m_chain[idx]);
        offset += in;
        // Gather a run of consecutive sectors into one read.
        std::uint64_t len = unit - in;
        std::uint64_t next = idx + 1;
        if (!m_mini) {
            while (len < want - done && next < m_chain.size() &&
                   m_chain[next] == m_chain[next - 1] + 1) {
                len += unit;
                ++next;
            }
        }
        len = std::min(len, want - done);
        std::uint64_t got = 0;
        while (got < len) {
            const ssize_t r =
                ::pread(m_file->m_fd, buf + done + got, len - got, off_t(offset + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return -1; // the file ends before the stream does
            got += std::uint64_t(r);
        }
        done += len;
        m_pos += len;
    }
    return std::int64_t(done);
}

std::int64_t StreamReader::CopyTo(int fd) {
    const std::uint64_t start = m_pos;
    std::vector<char> buf;
    // Through memory, a bounded buffer at a time.
    const auto viaMemory = [&](std::uint64_t n) {
        buf.resize(std::size_t(std::min<std::uint64_t>(n, kCopyChunk)));
        while (n > 0) {
            const std::int64_t got =
                Read(buf.data(), std::int64_t(std::min<std::uint64_t>(n, buf.size())));
            if (got <= 0 || !WriteAll(fd, buf.data(), got))
                return false;
            n -= std::uint64_t(got);
        }
        return true;
    };
    while (m_pos < m_size) {
        if (m_mini) {
            if (!viaMemory(m_size - m_pos))
                return -1;
            break;
        }
        // The run of consecutive sectors from here, as Read gathers it.
        const std::uint64_t unit = m_file->m_sectorSize;
        const std::uint64_t idx = m_pos / unit, in = m_pos % unit;
        std::uint64_t len = unit - in;
        for (std::uint64_t next = idx + 1; len < m_size - m_pos && next < m_chain.size() &&
                                           m_chain[next] == m_chain[next - 1] + 1;
             ++next)
            len += unit;
        len = std::min(len, m_size - m_pos);
        loff_t from = loff_t(m_file->SectorOffset(m_chain[idx]) + in);
        std::uint64_t done = 0;
        while (done < len) {
            const ssize_t c = ::copy_file_range(m_file->m_fd, &from, fd, nullptr, len - done, 0);
            if (c < 0 && errno == EINTR)
                continue;
            if (c <= 0)
                break; // not between these files, or the end of the file: the slow way tells
            done += std::uint64_t(c);
        }
        m_pos += done;
        if (done < len && !viaMemory(len - done))
            return -1;
    }
    return std::int64_t(m_pos - start);
}

std::unique_ptr<StreamWriter> CompoundFile::OpenWriter(Id stream) {
    if (!m_write || m_broken || stream >= m_dir.size() || m_dir[stream].type != 2)
        return nullptr;
    auto w = std::unique_ptr<StreamWriter>(new StreamWriter);
    w->m_file = this;
    w->m_id = stream;
    const Entry &e = m_dir[stream];
    if (e.size > 0) {
        const bool mini = e.size < kMiniCutoff;
        const std::uint64_t unit = mini ? kMiniSize : m_sectorSize;
        std::vector<std::uint32_t> chain;
        if (!WalkSized(e.start, (e.size + unit - 1) / unit, mini, chain))
            return nullptr;
        w->m_tail = chain.back();
    }
    return w;
}

std::uint64_t StreamWriter::Size() const {
    return m_file->m_dir[m_id].size;
}

bool StreamWriter::Write(const char *data, std::int64_t n) {
    return m_file->AppendStream(*this, data, n);
}

bool StreamWriter::WriteFromFile(int fd, std::uint64_t offset, std::int64_t n) {
    return m_file->AppendFromFile(*this, fd, offset, n);
}

bool CompoundFile::AppendStream(StreamWriter &w, const char *data, std::int64_t n) {
    if (m_broken || !m_write)
        return false;
    if (n <= 0)
        return true;
    Entry &e = m_dir[w.m_id];
    const std::uint64_t newSize = e.size + std::uint64_t(n);
    bool ok;
    if (newSize < kMiniCutoff) {
        ok = AppendMini(e, w.m_tail, data, n);
    } else if (e.size > 0 && e.size < kMiniCutoff) {
        // Crossing the cut-off: the stream moves out of the mini stream.
        StreamReader r;
        r.m_file = this;
        r.m_size = e.size;
        r.m_mini = true;
        if (!WalkSized(e.start, (e.size + kMiniSize - 1) / kMiniSize, true, r.m_chain))
            return Fail();
        QByteArray old(qsizetype(e.size), '\0');
        if (r.Read(old.data(), old.size()) != old.size())
            return Fail();
        FreeChain(e.start, true);
        e.start = kEnd;
        e.size = 0;
        w.m_tail = kEnd;
        DataSource from{old.constData()}, rest{data};
        ok = AppendRegular(e, w.m_tail, from, old.size()) && AppendRegular(e, w.m_tail, rest, n);
    } else {
        DataSource from{data};
        ok = AppendRegular(e, w.m_tail, from, n);
    }
    if (!ok)
        return Fail();
    MarkEntry(w.m_id);
    return Flush();
}

bool CompoundFile::AppendFromFile(StreamWriter &w, int fd, std::uint64_t offset, std::int64_t n) {
    if (m_broken || !m_write)
        return false;
    if (n <= 0)
        return true;
    Entry &e = m_dir[w.m_id];
    // Only a stream that is and stays out of the mini stream takes bytes straight from a file;
    // the others go through memory, a bounded buffer at a time.
    if ((e.size > 0 && e.size < kMiniCutoff) || e.size + std::uint64_t(n) < kMiniCutoff) {
        std::vector<char> buf(std::size_t(std::min<std::int64_t>(n, kCopyChunk)));
        while (n > 0) {
            const ssize_t r = ::pread(
                fd, buf.data(), std::size_t(std::min<std::int64_t>(n, std::int64_t(buf.size()))),
                off_t(offset));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0 || !AppendStream(w, buf.data(), r))
                return false;
            offset += std::uint64_t(r);
            n -= r;
        }
        return true;
    }
    DataSource from{nullptr, fd, offset};
    if (!AppendRegular(e, w.m_tail, from, n))
        return Fail();
    MarkEntry(w.m_id);
    return Flush();
}

bool CompoundFile::AppendPieces(StreamWriter &w, int fd, const std::vector<Piece> &pieces) {
    if (m_broken || !m_write)
        return false;
    std::uint64_t n = 0;
    for (const Piece &p : pieces)
        n += p.length;
    Entry &e = m_dir[w.m_id];
    if (n == 0)
        return true;
    // Pieces that make or join a small stream go one by one, through memory.
    if ((e.size > 0 && e.size < kMiniCutoff) || e.size + n < kMiniCutoff) {
        for (const Piece &p : pieces)
            if (!AppendFromFile(w, fd, p.offset, std::int64_t(p.length)))
                return false;
        return true;
    }
    DataSource from{nullptr, fd, pieces.front().offset, &pieces};
    from.Advance(0); // past pieces of no length
    if (!AppendRegular(e, w.m_tail, from, std::int64_t(n)))
        return Fail();
    MarkEntry(w.m_id);
    return Flush();
}

bool CompoundFile::WriteFrom(DataSource &src, std::uint64_t dest, std::uint64_t n) {
    if (src.fd < 0) {
        if (!WriteAt(dest, src.data, n))
            return false;
        src.data += n;
        return true;
    }
    std::vector<char> buf;
    std::uint64_t done = 0;
    while (done < n) {
        if (src.pieces && src.piece >= src.pieces->size())
            return Fail();
        const std::uint64_t want = std::min(n - done, src.Contiguous());
        // In the kernel when it can; through a bounded buffer when not.
        std::uint64_t got = 0;
        while (got < want) {
            loff_t in = loff_t(src.offset + got), out = loff_t(dest + done + got);
            const ssize_t c = ::copy_file_range(src.fd, &in, m_fd, &out, want - got, 0);
            if (c < 0 && errno == EINTR)
                continue;
            if (c <= 0)
                break;
            got += std::uint64_t(c);
        }
        while (got < want) {
            buf.resize(std::min<std::uint64_t>(want - got, kCopyChunk));
            const ssize_t r = ::pread(src.fd, buf.data(), buf.size(), off_t(src.offset + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return Fail();
            if (!WriteAt(dest + done + got, buf.data(), std::size_t(r)))
                return false;
            got += std::uint64_t(r);
        }
        src.Advance(want);
        done += want;
    }
    m_fileBytes = std::max(m_fileBytes, dest + n);
    const std::uint64_t end = dest + n;
    if (end > SectorOffset(0))
        m_fileSectors = std::max(m_fileSectors, (end - 1) / m_sectorSize);
    return true;
}

bool CompoundFile::AppendRegular(Entry &e, std::uint32_t &tail, DataSource &src, std::int64_t n) {
    std::uint64_t used = e.size % m_sectorSize;
    if (e.size > 0 && used != 0) {
        const std::uint64_t take = std::min<std::uint64_t>(m_sectorSize - used, std::uint64_t(n));
        if (!WriteFrom(src, SectorOffset(tail) + used, take))
            return false;
        n -= std::int64_t(take);
        e.size += take;
    }
    // Allocate the sectors the rest needs and write them in runs of consecutive sectors.
    std::uint32_t runStart = kEnd;
    std::uint64_t runLen = 0;
    auto flushRun = [&] {
        const std::uint64_t bytes =
            std::min<std::uint64_t>(runLen * m_sectorSize, std::uint64_t(n));
        if (!WriteFrom(src, SectorOffset(runStart), bytes))
            return false;
        n -= std::int64_t(bytes);
        e.size += bytes;
        return true;
    };
    const std::uint64_t count =
        (std::uint64_t(std::max<std::int64_t>(n, 0)) + m_sectorSize - 1) / m_sectorSize;
    // A big stream copied from a file starts each run where the file offsets of both sides share
    // their place in a memory page, so the system copies whole pages. The few sectors passed
    // over are freed again at the end, for later use.
    const std::uint32_t perPage = 4096 / m_sectorSize;
    std::vector<std::uint32_t> passed;
    auto releasePassed = [&] {
        for (const std::uint32_t p : passed) {
            SetFat(p, kFree);
            m_freeHint = std::min(m_freeHint, p);
        }
        passed.clear();
    };
    bool ok = true;
    for (std::uint64_t i = 0; i < count && ok; ++i) {
        std::uint32_t s = AllocSector();
        if (s == kEnd) {
            ok = false;
            break;
        }
        if (runLen > 0 && s == runStart + runLen) {
            ++runLen;
        } else {
            if (runLen > 0 && !flushRun()) {
                ok = false;
                break;
            }
            if (src.fd >= 0 && perPage > 1 && src.offset % m_sectorSize == 0 && count - i >= 128) {
                const std::uint64_t want = src.offset / m_sectorSize % perPage;
                for (std::uint32_t k = 0;
                     s != kEnd && (std::uint64_t(s) + 1) % perPage != want && k < 2 * perPage;
                     ++k) {
                    passed.push_back(s);
                    s = AllocSector();
                }
                if (s == kEnd) {
                    ok = false;
                    break;
                }
            }
            runStart = s;
            runLen = 1;
        }
        if (tail == kEnd)
            e.start = s;
        else
            SetFat(tail, s);
        tail = s;
    }
    ok = ok && (runLen == 0 || flushRun());
    releasePassed();
    return ok;
}

bool CompoundFile::AppendMini(Entry &e, std::uint32_t &tail, const char *data, std::int64_t n) {
    std::uint64_t used = e.size % kMiniSize;
    if (e.size > 0 && used != 0) {
        const std::uint64_t take = std::min<std::uint64_t>(kMiniSize - used, std::uint64_t(n));
        if (!WriteAt(MiniOffset(tail) + used, data, take))
            return false;
        data += take;
        n -= std::int64_t(take);
        e.size += take;
    }
    while (n > 0) {
        const std::uint32_t m = AllocMini();
        if (m == kEnd)
            return false;
        if (tail == kEnd)
            e.start = m;
        else
            SetMiniFat(tail, m);
        tail = m;
        const std::uint64_t take = std::min<std::uint64_t>(kMiniSize, std::uint64_t(n));
        if (!WriteAt(MiniOffset(m), data, take))
            return false;
        data += take;
        n -= std::int64_t(take);
        e.size += take;
    }
    return true;
}

// ---- Allocation -------------------------------------------------------------------------

void CompoundFile::SetFat(std::uint32_t sector, std::uint32_t value) {
    m_fat[sector] = value;
    m_dirtyFat.Mark(sector / (m_sectorSize / 4));
}

void CompoundFile::SetMiniFat(std::uint32_t mini, std::uint32_t value) {
    m_miniFat[mini] = value;
    m_dirtyMiniFat.Mark(mini / (m_sectorSize / 4));
}

void CompoundFile::GrowFat() {
    // Every entry is taken, so the file holds at least as many sectors as the FAT covers: the
    // new FAT sectors go right after them and describe themselves. A large file grows its FAT
    // several sectors at a time, so a big stream's data lies in long runs between them.
    const std::uint32_t perSector = m_sectorSize / 4;
    const std::uint32_t perDifat = perSector - 1;
    std::uint32_t count = std::clamp<std::uint32_t>(std::uint32_t(m_fatSectors.size() / 4), 1, 64);
    if (count == 64) {
        // 64 sectors in all with the DIFAT sectors they need, so runs keep their page alignment.
        for (int i = 0; i < 4; ++i) {
            const std::uint64_t fat = m_fatSectors.size() + count;
            const std::uint64_t difat =
                fat > kHeaderDifat ? (fat - kHeaderDifat + perDifat - 1) / perDifat : 0;
            count = std::uint32_t(64 - (difat - m_difatSectors.size()));
        }
    }
    std::uint32_t at = std::uint32_t(m_fat.size());
    m_fat.resize(m_fat.size() + std::size_t(count) * perSector, kFree);
    for (std::uint32_t i = 0; i < count; ++i, ++at) {
        m_fatSectors.push_back(at);
        m_dirtyFat.Append();
        m_fat[at] = kFatSect;
    }
    m_dirtyHeader = true;
    if (m_fatSectors.size() > kHeaderDifat)
        m_dirtyDifat = true;
    while (m_fatSectors.size() > kHeaderDifat + std::uint64_t(m_difatSectors.size()) * perDifat) {
        m_fat[at] = kDifSect; // free: the new FAT sectors just added their entries
        m_difatSectors.push_back(at++);
    }
    m_usedSectors = std::max<std::uint64_t>(m_usedSectors, at);
}

std::uint32_t CompoundFile::AllocSector() {
    for (int round = 0; round < 2; ++round) {
        for (std::uint32_t i = m_freeHint; i < m_fat.size(); ++i) {
            if (m_fat[i] == kFree) {
                m_freeHint = i + 1;
                SetFat(i, kEnd);
                m_usedSectors = std::max<std::uint64_t>(m_usedSectors, std::uint64_t(i) + 1);
                return i;
            }
        }
        m_freeHint = std::uint32_t(m_fat.size());
        if (m_fat.size() + 64 * (m_sectorSize / 4) > kMaxSectors)
            return kEnd;
        GrowFat();
    }
    return kEnd;
}

std::uint32_t CompoundFile::AllocMini() {
    for (int round = 0; round < 2; ++round) {
        for (std::uint32_t i = m_miniFreeHint; i < m_miniFat.size(); ++i) {
            if (m_miniFat[i] != kFree)
                continue;
            m_miniFreeHint = i + 1;
            // The mini stream must reach this mini sector.
            Entry &root = m_dir[0];
            const std::uint64_t need = (std::uint64_t(i) + 1) * kMiniSize;
            while (std::uint64_t(m_miniStreamChain.size()) * m_sectorSize < need) {
                const std::uint32_t s = AllocSector();
                if (s == kEnd)
                    return kEnd;
                if (m_miniStreamChain.empty())
                    root.start = s;
                else
                    SetFat(m_miniStreamChain.back(), s);
                m_miniStreamChain.push_back(s);
            }
            if (root.size < need) {
                root.size = need;
                MarkEntry(0);
            }
            SetMiniFat(i, kEnd);
            return i;
        }
        // Another mini FAT sector.
        const std::uint32_t s = AllocSector();
        if (s == kEnd)
            return kEnd;
        if (m_miniFatChain.empty())
            m_dirtyHeader = true;
        else
            SetFat(m_miniFatChain.back(), s);
        m_miniFatChain.push_back(s);
        m_miniFat.resize(m_miniFat.size() + m_sectorSize / 4, kFree);
        m_dirtyMiniFat.Append();
        m_dirtyHeader = true;
    }
    return kEnd;
}

void CompoundFile::FreeChain(std::uint32_t start, bool mini) {
    std::vector<std::uint32_t> &table = mini ? m_miniFat : m_fat;
    std::uint32_t s = start;
    // Bounded by the table: each step frees an entry, a freed entry ends the walk.
    for (std::size_t steps = 0; steps < table.size() && IsRegular(s) && s < table.size(); ++steps) {
        const std::uint32_t next = table[s];
        // A damaged chain that runs into free space or the FAT's own sectors ends here.
        if (next == kFree || next == kFatSect || next == kDifSect)
            break;
        if (mini) {
            SetMiniFat(s, kFree);
            m_miniFreeHint = std::min(m_miniFreeHint, s);
        } else {
            SetFat(s, kFree);
            m_freeHint = std::min(m_freeHint, s);
        }
        s = next;
    }
}

CompoundFile::Id CompoundFile::AllocEntry() {
    for (Id i = 1; i < m_dir.size(); ++i)
        if (m_dir[i].type == 0)
            return i;
    if (m_dir.size() + m_sectorSize / kEntrySize > kMaxEntries)
        return kNoStream;
    const std::uint32_t s = AllocSector();
    if (s == kEnd)
        return kNoStream;
    SetFat(m_dirChain.back(), s);
    m_dirChain.push_back(s);
    m_dirtyDir.Append();
    const Id first = Id(m_dir.size());
    for (std::uint32_t i = 0; i < m_sectorSize / kEntrySize; ++i) {
        Entry e;
        e.Clear();
        m_dir.push_back(std::move(e));
    }
    return first;
}

void CompoundFile::MarkEntry(Id id) {
    m_dir[id].Encode();
    m_dirtyDir.Mark(id / (m_sectorSize / kEntrySize));
}

void CompoundFile::RebuildTree(Id storage, std::vector<Id> children) {
    // A balanced tree from the sorted names: every level full but the last, whose nodes are red
    // when it is not full; all paths then hold the same number of black nodes.
    std::sort(children.begin(), children.end(),
              [&](Id a, Id b) { return CompareNames(m_dir[a].name, m_dir[b].name) < 0; });
    const std::size_t n = children.size();
    int height = 0;
    while ((std::size_t(1) << height) - 1 < n)
        ++height;
    const bool lastFull = n == (std::size_t(1) << height) - 1;
    Id newRoot = kNoStream;
    auto set = [&](Id id, std::uint32_t left, std::uint32_t right, std::uint8_t color) {
        Entry &e = m_dir[id];
        if (e.left != left || e.right != right || e.color != color) {
            e.left = left;
            e.right = right;
            e.color = color;
            MarkEntry(id);
        }
    };
    std::vector<std::uint32_t> lefts(n, kNoStream), rights(n, kNoStream);
    std::vector<std::uint8_t> colors(n, 1);
    // Iterative midpoint split; links are resolved by index.
    struct Node {
        std::size_t lo, hi;
        int depth;
        std::size_t parent;
        bool isLeft;
    };
    std::vector<Node> nodes{{0, n, 0, SIZE_MAX, false}};
    while (!nodes.empty()) {
        const Node nd = nodes.back();
        nodes.pop_back();
        if (nd.lo >= nd.hi)
            continue;
        const std::size_t mid = nd.lo + (nd.hi - nd.lo) / 2;
        if (nd.parent == SIZE_MAX)
            newRoot = children[mid];
        else if (nd.isLeft)
            lefts[nd.parent] = children[mid];
        else
            rights[nd.parent] = children[mid];
        colors[mid] = (!lastFull && nd.depth == height - 1) ? 0 : 1;
        nodes.push_back({nd.lo, mid, nd.depth + 1, mid, true});
        nodes.push_back({mid + 1, nd.hi, nd.depth + 1, mid, false});
    }
    for (std::size_t i = 0; i < n; ++i)
        set(children[i], lefts[i], rights[i], colors[i]);
    if (m_dir[storage].child != newRoot) {
        m_dir[storage].child = newRoot;
        MarkEntry(storage);
    }
}

void CompoundFile::FreeSubtree(Id id) {
    std::vector<Id> todo{id}, kids;
    while (!todo.empty()) {
        const Id cur = todo.back();
        todo.pop_back();
        Entry &e = m_dir[cur];
        if (e.type == 1) {
            CollectChildren(cur, kids);
            todo.insert(todo.end(), kids.begin(), kids.end());
        } else if (e.type == 2 && e.size > 0) {
            FreeChain(e.start, e.size < kMiniCutoff);
        }
        e.Clear();
        MarkEntry(cur);
    }
}

// ---- Changing the tree ------------------------------------------------------------------

std::optional<CompoundFile::Id> CompoundFile::CreateElement(Id parent, const QString &name,
                                                            Kind kind) {
    if (!m_write || m_broken || !IsValidName(name) || !IsStorageId(parent))
        return std::nullopt;
    std::vector<Id> kids;
    CollectChildren(parent, kids);
    for (auto it = kids.begin(); it != kids.end(); ++it) {
        if (CompareNames(m_dir[*it].name, name) == 0) {
            FreeSubtree(*it);
            kids.erase(it);
            break;
        }
    }
    const Id id = AllocEntry();
    if (id == kNoStream) {
        Fail();
        return std::nullopt;
    }
    Entry &e = m_dir[id];
    e.Clear();
    e.name = name;
    e.type = std::uint8_t(kind);
    e.start = kind == Kind::Stream ? kEnd : 0;
    kids.push_back(id);
    RebuildTree(parent, kids);
    MarkEntry(id);
    if (!Flush())
        return std::nullopt;
    return id;
}

std::optional<CompoundFile::Id> CompoundFile::CreateStorage(Id parent, const QString &name) {
    return CreateElement(parent, name, Kind::Storage);
}

std::optional<CompoundFile::Id> CompoundFile::CreateStream(Id parent, const QString &name) {
    return CreateElement(parent, name, Kind::Stream);
}

bool CompoundFile::Destroy(Id parent, const QString &name) {
    if (!m_write || m_broken || !IsStorageId(parent))
        return false;
    std::vector<Id> kids;
    CollectChildren(parent, kids);
    for (auto it = kids.begin(); it != kids.end(); ++it) {
        if (CompareNames(m_dir[*it].name, name) == 0) {
            FreeSubtree(*it);
            kids.erase(it);
            RebuildTree(parent, kids);
            return Flush();
        }
    }
    return false;
}

bool CompoundFile::Rename(Id parent, const QString &from, const QString &to, bool replace) {
    if (!m_write || m_broken || !IsValidName(to) || !IsStorageId(parent))
        return false;
    std::vector<Id> kids;
    CollectChildren(parent, kids);
    Id found = kNoStream, taken = kNoStream;
    for (const Id id : kids) {
        if (CompareNames(m_dir[id].name, from) == 0)
            found = id;
        else if (CompareNames(m_dir[id].name, to) == 0)
            taken = id;
    }
    if (found == kNoStream || (taken != kNoStream && !replace))
        return false;
    // The replaced element goes in the same write as the new name.
    if (taken != kNoStream) {
        FreeSubtree(taken);
        kids.erase(std::find(kids.begin(), kids.end(), taken));
    }
    m_dir[found].name = to;
    MarkEntry(found);
    RebuildTree(parent, kids);
    return Flush();
}

bool CompoundFile::CopyStorageTo(Id storage, CompoundFile &dest, Id destStorage) {
    if (!IsStorageId(storage))
        return false;
    std::vector<char> buf(kCopyChunk);
    // Depth-first with an explicit stack; the source tree was checked to be acyclic.
    std::vector<std::pair<Id, Id>> todo{{storage, destStorage}};
    while (!todo.empty()) {
        const auto [from, into] = todo.back();
        todo.pop_back();
        for (const Element &child : Children(from)) {
            if (child.kind == Kind::Storage) {
                const auto made = dest.CreateStorage(into, child.name);
                if (!made)
                    return false;
                todo.push_back({child.id, *made});
                continue;
            }
            const auto made = dest.CreateStream(into, child.name);
            if (!made)
                return false;
            auto reader = OpenReader(child.id);
            auto writer = dest.OpenWriter(*made);
            if (!reader || !writer)
                return false;
            if (!reader->m_mini) {
                // The runs of consecutive sectors go across file to file, the whole stream in
                // one append (one allocation, one write of the tables).
                const auto &chain = reader->m_chain;
                std::vector<Piece> pieces;
                std::uint64_t left = reader->m_size;
                for (std::size_t i = 0; i < chain.size() && left > 0;) {
                    std::size_t j = i + 1;
                    while (j < chain.size() && chain[j] == chain[j - 1] + 1)
                        ++j;
                    const std::uint64_t bytes =
                        std::min<std::uint64_t>(std::uint64_t(j - i) * m_sectorSize, left);
                    pieces.push_back({SectorOffset(chain[i]), bytes});
                    left -= bytes;
                    i = j;
                }
                if (!dest.AppendPieces(*writer, m_fd, pieces))
                    return false;
                continue;
            }
            for (;;) {
                const std::int64_t got = reader->Read(buf.data(), kCopyChunk);
                if (got < 0)
                    return false;
                if (got == 0)
                    break;
                if (!writer->Write(buf.data(), got))
                    return false;
            }
        }
    }
    return true;
}

// ---- Writing to disk --------------------------------------------------------------------

bool CompoundFile::Fail() {
    m_broken = true;
    return false;
}

bool CompoundFile::WriteAt(std::uint64_t offset, const char *data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(m_fd, data + done, n - done, off_t(offset + done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return Fail();
        done += std::size_t(w);
    }
    const std::uint64_t end = offset + n;
    m_fileBytes = std::max(m_fileBytes, end);
    if (end > SectorOffset(0)) {
        const std::uint64_t sectors = (end - m_sectorSize + m_sectorSize - 1) / m_sectorSize;
        m_fileSectors = std::max(m_fileSectors, sectors);
    }
    return true;
}

bool CompoundFile::InitEmpty() {
    m_sectorSize = 512;
    m_major = 3;
    m_fat.assign(m_sectorSize / 4, kFree);
    m_fat[0] = kFatSect;
    m_fat[1] = kEnd;
    m_fatSectors = {0};
    m_dirChain = {1};
    m_dirtyFat.Reset(1);
    m_dirtyFat.Mark(0);
    m_dirtyDir.Reset(1);
    m_dirtyDir.Mark(0);
    m_freeHint = 2;
    m_usedSectors = 2;
    for (std::uint32_t i = 0; i < m_sectorSize / kEntrySize; ++i) {
        Entry e;
        e.Clear();
        m_dir.push_back(std::move(e));
    }
    Entry &root = m_dir[0];
    root.name = QStringLiteral("Root Entry");
    root.type = 5;
    root.color = 1;
    root.start = kEnd;
    root.Encode();
    m_dirtyHeader = true;
    return Flush();
}

bool CompoundFile::Flush() {
    if (m_broken)
        return false;
    struct Pending {
        std::uint32_t sector;
        std::vector<char> bytes;
    };
    std::vector<Pending> writes;
    const std::uint32_t perSector = m_sectorSize / 4;
    for (const std::uint32_t i : m_dirtyFat.list) {
        std::vector<char> b(m_sectorSize);
        for (std::uint32_t k = 0; k < perSector; ++k)
            Put32(b.data() + 4 * k, m_fat[i * perSector + k]);
        writes.push_back({m_fatSectors[i], std::move(b)});
    }
    for (const std::uint32_t i : m_dirtyMiniFat.list) {
        std::vector<char> b(m_sectorSize);
        for (std::uint32_t k = 0; k < perSector; ++k)
            Put32(b.data() + 4 * k, m_miniFat[i * perSector + k]);
        writes.push_back({m_miniFatChain[i], std::move(b)});
    }
    if (m_dirtyDifat) {
        for (std::size_t i = 0; i < m_difatSectors.size(); ++i) {
            std::vector<char> b(m_sectorSize);
            for (std::uint32_t k = 0; k + 1 < perSector; ++k) {
                const std::size_t at = kHeaderDifat + i * (perSector - 1) + k;
                Put32(b.data() + 4 * k, at < m_fatSectors.size() ? m_fatSectors[at] : kFree);
            }
            Put32(b.data() + 4 * (perSector - 1),
                  i + 1 < m_difatSectors.size() ? m_difatSectors[i + 1] : kEnd);
            writes.push_back({m_difatSectors[i], std::move(b)});
        }
    }
    const std::uint32_t perDir = m_sectorSize / kEntrySize;
    for (const std::uint32_t i : m_dirtyDir.list) {
        std::vector<char> b(m_sectorSize);
        for (std::uint32_t k = 0; k < perDir; ++k)
            std::memcpy(b.data() + k * kEntrySize, m_dir[i * perDir + k].raw.data(), kEntrySize);
        writes.push_back({m_dirChain[i], std::move(b)});
    }
    // Sectors past the old end first, so a full disk fails before anything the file already
    // described is changed; the file is first grown to hold every allocated sector.
    // Space is reserved rather than left as a hole, so the writes below cannot run out of it.
    if (m_usedSectors > m_committedSectors) {
        const std::uint64_t want = SectorOffset(std::uint32_t(m_usedSectors - 1)) + m_sectorSize;
        if (m_fileBytes < want) {
            const int rc = ::posix_fallocate(m_fd, off_t(m_fileBytes), off_t(want - m_fileBytes));
            if (rc != 0 &&
                !((rc == EOPNOTSUPP || rc == EINVAL) && ::ftruncate(m_fd, off_t(want)) == 0))
                return Fail();
            m_fileBytes = want;
        }
        m_fileSectors = std::max(m_fileSectors, m_usedSectors);
    }
    const std::uint64_t committed = m_committedSectors;
    auto isNew = [&](const Pending &p) { return p.sector >= committed; };
    auto byNewThenSector = [&](const Pending &a, const Pending &b) {
        return isNew(a) != isNew(b) ? isNew(a) : a.sector < b.sector;
    };
    std::sort(writes.begin(), writes.end(), byNewThenSector);
    // Consecutive sectors go out in one write.
    std::vector<char> run;
    for (std::size_t i = 0; i < writes.size();) {
        std::size_t j = i + 1;
        while (j < writes.size() && writes[j].sector == writes[j - 1].sector + 1 &&
               isNew(writes[j]) == isNew(writes[i]))
            ++j;
        run.clear();
        for (std::size_t k = i; k < j; ++k)
            run.insert(run.end(), writes[k].bytes.begin(), writes[k].bytes.end());
        if (!WriteAt(SectorOffset(writes[i].sector), run.data(), run.size()))
            return false;
        i = j;
    }
    if (m_dirtyHeader || m_dirtyDifat) {
        char h[512] = {};
        std::memcpy(h, kSignature, 8);
        Put16(h + 24, 0x003E);
        Put16(h + 26, m_major);
        Put16(h + 28, 0xFFFE);
        Put16(h + 30, m_sectorSize == 512 ? 9 : 12);
        Put16(h + 32, 6);
        Put32(h + 40, m_major == 4 ? std::uint32_t(m_dirChain.size()) : 0);
        Put32(h + 44, std::uint32_t(m_fatSectors.size()));
        Put32(h + 48, m_dirChain.front());
        Put32(h + 56, kMiniCutoff);
        Put32(h + 60, m_miniFatChain.empty() ? kEnd : m_miniFatChain.front());
        Put32(h + 64, std::uint32_t(m_miniFatChain.size()));
        Put32(h + 68, m_difatSectors.empty() ? kEnd : m_difatSectors.front());
        Put32(h + 72, std::uint32_t(m_difatSectors.size()));
        for (int i = 0; i < kHeaderDifat; ++i)
            Put32(h + 76 + 4 * i, std::size_t(i) < m_fatSectors.size() ? m_fatSectors[i] : kFree);
        if (!WriteAt(0, h, sizeof h))
            return false;
    }
    m_dirtyFat.Clear();
    m_dirtyMiniFat.Clear();
    m_dirtyDir.Clear();
    m_dirtyHeader = m_dirtyDifat = false;
    m_committedSectors = std::max(m_committedSectors, m_usedSectors);
    return true;
}

} // namespace kz
