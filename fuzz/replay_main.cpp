// Replays fuzz inputs through a target without libFuzzer, so that the committed corpus
// (seeds and past crashes) runs as an ordinary test under GCC and its sanitizers.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int files = 0;
    for (int a = 1; a < argc; ++a) {
        std::vector<fs::path> inputs;
        if (fs::is_directory(argv[a])) {
            for (const auto& e : fs::directory_iterator(argv[a]))
                if (e.is_regular_file()) inputs.push_back(e.path());
        } else {
            inputs.emplace_back(argv[a]);
        }
        for (const auto& p : inputs) {
            std::ifstream in(p, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // An exact-size heap copy, so reading past the end is caught by ASan.
            std::vector<uint8_t> copy(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
