// Replays the fuzz target's seed corpus and every input that once crashed it, in the ordinary build, so that
// a fixed crash stays fixed without a fuzzing compiler.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

TEST(NbtResponseFuzzRegressions, EveryStoredInputParsesWithoutFault) {
    std::size_t replayed = 0;
    for (const char *folder : {FUZZ_CORPUS_DIR, FUZZ_REGRESSIONS_DIR}) {
        if (!std::filesystem::is_directory(folder))
            continue;
        for (auto &file : std::filesystem::directory_iterator(folder)) {
            std::ifstream in(file.path(), std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << file.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u);
}

}  // namespace
