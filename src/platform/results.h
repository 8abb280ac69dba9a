#pragma once
// Result shapes shared by the seams. Every call reports the Win32 error code it ended with (0 on success,
// never a stale value); enumerations report the byte count the platform asked for, so callers make the two
// calls (size, then data) exactly as Windows wants them.
#include <cstdint>
#include <vector>

#include "platform/unique_resource.h"

namespace spoolsweep {

struct Status {
    std::uint32_t error = 0;
    [[nodiscard]] bool ok() const noexcept { return error == 0; }
};

struct HandleResult {
    Handle handle = 0;
    std::uint32_t error = 0;
};

// One call of a two-call enumeration. With a buffer too small (0 included) it fails with 122 (or 234 where
// the API says so) and reports bytesNeeded; with a large enough buffer it succeeds and holds the entries.
template <class Entry>
struct EnumResult {
    bool ok = false;
    std::uint32_t error = 0;
    std::uint32_t bytesNeeded = 0;
    std::vector<Entry> entries;
};

}  // namespace spoolsweep
