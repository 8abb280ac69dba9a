// The fuzz targets as plain host tests, without libFuzzer: each committed corpus input, then inputs drawn
// from a fixed seed, so that a fault the target's checks see fails the host test run (and a mutant run) too.
//   replay_TARGET CORPUS_FOLDER COUNT
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size);

namespace {

void RunInput(const std::vector<std::uint8_t>& input) {
    static_cast<void>(LLVMFuzzerTestOneInput(input.data(), input.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream file(entry.path(), std::ios::binary);
        RunInput({std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
    }
    std::mt19937 random(1);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same inputs on every run
    for (int count = std::atoi(argv[2]); count > 0; --count) {
        std::vector<std::uint8_t> input(random() % 4096);
        for (std::uint8_t& byte : input) {
            byte = static_cast<std::uint8_t>(random());
        }
        RunInput(input);
    }
    return 0;
}
