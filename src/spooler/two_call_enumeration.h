#pragma once
// The spooler's enumerations are made twice: with no buffer to learn the size in bytes, then with a buffer of
// exactly that size. A failed or empty enumeration counts as no entries.
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/results.h"

namespace spoolsweep {

// call(bufferBytes) makes one call of the enumeration and returns its EnumResult.
template <class Call>
[[nodiscard]] auto EnumerateInTwoCalls(Call&& call) {
    const auto sizeQuery = call(std::uint32_t{0});
    auto filled = std::forward<Call>(call)(sizeQuery.bytesNeeded);
    using Entries = decltype(filled.entries);
    return filled.ok ? std::move(filled.entries) : Entries{};
}

}  // namespace spoolsweep
