// The contract suite's entry. With --contract-child the program only waits: the process tests start it as
// a process they may end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--contract-child") == 0) {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
