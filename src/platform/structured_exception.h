#pragma once
// CSE: what the dialog's structured-exception translator throws. It holds, by value, a copy of the exception
// record followed by a copy of the faulting thread's context record, as raw bytes so that portable code can
// catch it without <windows.h>. The spooler deletions catch it around their calls and carry on.
#include <array>
#include <cstddef>

namespace spoolsweep {

struct CSE {
    // Large enough for EXCEPTION_RECORD and CONTEXT of either Windows architecture; the win32 side checks it.
    std::array<std::byte, 152> exceptionRecord{};
    std::array<std::byte, 1232> contextRecord{};
};

}  // namespace spoolsweep
