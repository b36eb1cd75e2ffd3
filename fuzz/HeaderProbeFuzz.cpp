// The web-movie header probe's parse of the first bytes it read.

#include "playback/HeaderProbe.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The probe reads at most this much; it never hands its parser more.
    if (size > std::size_t(kz::kProbeBytes))
        return -1;
    kz::UrlProbeRecord record;
    bool signature = false;
    const kz::ProbeOutcome outcome = kz::ParseProbedHeader(data, size, record, signature);
    if (outcome == kz::ProbeOutcome::Header && (!signature || record.isFlash != 1))
        std::abort();
    return 0;
}
