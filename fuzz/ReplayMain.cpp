// Feeds a fuzz target every file of the folders given on the command line
// (the seed corpus first, then the kept findings), plus the empty input. The
// first folder must exist and hold at least one file; later ones may be
// missing. A crash or a failed check aborts the process and fails the test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MORE_DIRS...]\n", argv[0]);
        return 2;
    }
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const auto files = filesIn(argv[i]);
        if (i == 1 && files.empty()) {
            std::fprintf(stderr, "no seed files in %s\n", argv[i]);
            return 1;
        }
        for (const auto& file : files) {
            const auto bytes = readFile(file);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
