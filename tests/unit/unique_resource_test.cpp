#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace spoolsweep {
namespace {

struct CountingTraits {
    using handle_type = int;
    std::vector<int>* closed = nullptr;
    static constexpr int invalid() noexcept { return 0; }
    void close(int handle) const noexcept { closed->push_back(handle); }
};
using Counted = UniqueResource<CountingTraits>;

TEST(UniqueResource, ClosesOnceWhenMovedAndReset) {
    std::vector<int> closed;
    {
        Counted first(7, CountingTraits{&closed});
        Counted second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 7);
        second.reset(9);
        EXPECT_EQ(closed, std::vector<int>{7});
        Counted third(11, CountingTraits{&closed});
        third = std::move(second);  // closes 11, takes 9
        EXPECT_EQ(closed, (std::vector<int>{7, 11}));
    }
    EXPECT_EQ(closed, (std::vector<int>{7, 11, 9}));
}

TEST(UniqueResource, ReleaseHandsOverWithoutClosing) {
    std::vector<int> closed;
    Counted held(5, CountingTraits{&closed});
    EXPECT_EQ(held.release(), 5);
    EXPECT_FALSE(held);
    held.reset();
    EXPECT_TRUE(closed.empty());
}

}  // namespace
}  // namespace spoolsweep
