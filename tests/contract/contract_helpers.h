#pragma once
// Small helpers shared by the contract tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/results.h"
#include "platform/text.h"
#include "platform/win_errors.h"

namespace spoolsweep::contract {

// The two calls of an enumeration as the program makes them: the size with no buffer, then the data with a
// buffer of exactly that size.
template <class Call>
auto EnumerateTwice(Call call) {
    auto sizing = call(0U);
    if (sizing.ok) {
        EXPECT_TRUE(sizing.entries.empty()) << "entries without a buffer";
        return sizing;
    }
    EXPECT_EQ(sizing.error, win_error::kInsufficientBuffer);
    EXPECT_GT(sizing.bytesNeeded, 0U);
    auto data = call(sizing.bytesNeeded);
    EXPECT_TRUE(data.ok) << "error " << data.error;
    EXPECT_EQ(data.error, 0U);
    return data;
}

// The names a file pattern matches, sorted; `error` receives the search's first answer.
inline std::vector<std::u16string> FindNames(Files& files, std::u16string_view pattern,
                                             std::uint32_t* error = nullptr) {
    std::vector<std::u16string> names;
    FindResult first = files.FindFirst(pattern);
    if (error != nullptr) {
        *error = first.error;
    }
    if (first.find == 0) {
        return names;
    }
    FindHandle find(first.find, {&files});
    names.push_back(first.first.name);
    while (auto next = files.FindNext(find.get())) {
        names.push_back(next->name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline bool SameText(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace spoolsweep::contract
