#pragma once
// The header probe of a web movie: one read of its first bytes over HTTP, parsed into the
// facts the controller needs before the movie itself has arrived. Runs on a worker thread.

#include "playback/Event.h"
#include "playback/SwfHeader.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>

namespace kz {

class HttpSession;

inline constexpr int kProbeBytes = 4096;
inline constexpr int kProbeMinBytes = 64;
inline constexpr int kProbeUrlUnits = 512;

// Handed to the probe and on to the controller, which owns it from then on.
struct UrlProbeRecord {
    const void *owner = nullptr; // the controller that started the probe (never dereferenced)
    QString url;                 // at most kProbeUrlUnits - 1 characters
    std::int32_t version = 0;
    std::int32_t frameRate = 0;
    std::int32_t frameCount = 0;
    std::int32_t right = 0;
    std::int32_t left = 0;
    std::int32_t bottom = 0;
    std::int32_t top = 0;
    std::int32_t backgroundColor = 0;
    std::int32_t isFlash = 0;
};

// What the probe found: a header, a failure that plays the missing-movie fallback, or nothing
// to say.
enum class ProbeOutcome { Header, Error, Silent };

// The two events shared by PlayUrl and its probes.
struct ProbeEvents {
    Event headerFound{Event::AutoReset, false};
    Event gate{Event::AutoReset, true};
};

// The longest a probe may take, from the request to its 4096 bytes: a server dripping its bytes
// must not hold the probe's thread for a whole download's deadline.
inline constexpr int kProbeTransferMs = 30000;

// Probes the record's address through the session: status, one read of up to 4096 bytes,
// the signature. Fills the record's header fields on ProbeOutcome::Header. Sets headerFound
// as soon as a signature is recognised.
ProbeOutcome ProbeMovieHeader(HttpSession &session, UrlProbeRecord &record, Event &headerFound,
                              int transferLimitMs = kProbeTransferMs);
// The probe's parse of the bytes it read: Header with the record's header fields filled, Error
// when they are no movie, Silent when too few or damaged. `signature` tells whether a movie's
// signature was recognised.
ProbeOutcome ParseProbedHeader(const std::uint8_t *bytes, std::size_t count, UrlProbeRecord &record,
                               bool &signature);

// The header the controller keeps, from a probe's record.
void CopyProbedHeader(const UrlProbeRecord &record, SwfHeaderInfo &header);

// The one background download into the URL cache (a web movie left half loaded); shared with
// the download threads. A newer one replaces the older, whose cancel flag is then set.
class PendingDownloads {
public:
    // Makes the address the background download: its cancel flag, or null when it already is.
    std::shared_ptr<std::atomic_bool> Add(const QString &url);
    // The download with this flag is over; forgotten unless a newer one has replaced it.
    void Remove(const std::shared_ptr<std::atomic_bool> &cancel);
    // Cancels the background download.
    void CancelAll();
    bool Contains(const QString &url) const;
    // The address under way, if any.
    QStringList All() const;

private:
    mutable std::mutex m_mutex;
    QString m_url;
    std::shared_ptr<std::atomic_bool> m_cancel;
};

// The process-wide lock that guards the controller's header (and the net search's results).
std::mutex &HeaderLock();

} // namespace kz
