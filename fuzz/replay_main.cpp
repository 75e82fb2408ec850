// A fuzz harness without libFuzzer, for the test suite: every seed file given, then a fixed
// number of inputs mutated from them by a generator with a fixed seed, so that every run tries
// the same inputs and a failure replays. The harness aborts on a broken property; the
// sanitizers of the build report the rest. scripts/fuzz.sh runs the coverage-guided fuzzer for
// longer.
//   <harness> [--runs N] [--seed S] [--max-len L] seed-folder-or-file...
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that the station's parsers treat specially: line ends, separators, quotes, digits.
constexpr std::uint8_t kInteresting[] = {0x00, 0xFF, '\r', '\n', '\\', '"', '[', ']', '=', ':',
                                         ',',  '.',  '-',  '+',  '0',  '9', 'e', 0x7F, 0x80};

class Mutator {
  public:
    Mutator(std::uint32_t seed, std::size_t maxLen) : rng_(seed), maxLen_(maxLen) {}

    Bytes mutate(const std::vector<Bytes>& seeds) {
        Bytes b = seeds[below(seeds.size())];
        const int steps = 1 + static_cast<int>(below(4));
        for (int i = 0; i < steps; ++i) step(b, seeds);
        if (b.size() > maxLen_) b.resize(maxLen_);
        return b;
    }

  private:
    std::size_t below(std::size_t n) { return n <= 1 ? 0 : rng_() % n; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(rng_()); }

    void step(Bytes& b, const std::vector<Bytes>& seeds) {
        const auto at = [&](std::size_t extra) { return below(b.size() + extra); };
        switch (below(8)) {
            case 0:  // a bit flipped
                if (!b.empty()) b[at(0)] ^= static_cast<std::uint8_t>(1u << below(8));
                break;
            case 1:  // a byte replaced
                if (!b.empty()) b[at(0)] = byte();
                break;
            case 2:  // a special byte put in
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at(1)),
                         kInteresting[below(std::size(kInteresting))]);
                break;
            case 3: {  // a run taken out
                if (b.empty()) break;
                const std::size_t from = at(0);
                const std::size_t n = 1 + below(std::min<std::size_t>(16, b.size() - from));
                b.erase(b.begin() + static_cast<std::ptrdiff_t>(from),
                        b.begin() + static_cast<std::ptrdiff_t>(from + n));
                break;
            }
            case 4: {  // a run repeated
                if (b.empty()) break;
                const std::size_t from = at(0);
                const std::size_t n = 1 + below(std::min<std::size_t>(32, b.size() - from));
                const Bytes run(b.begin() + static_cast<std::ptrdiff_t>(from),
                                b.begin() + static_cast<std::ptrdiff_t>(from + n));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at(1)), run.begin(), run.end());
                break;
            }
            case 5: {  // a piece of another seed spliced in
                const Bytes& other = seeds[below(seeds.size())];
                if (other.empty()) break;
                const std::size_t from = below(other.size());
                const std::size_t n = 1 + below(std::min<std::size_t>(64, other.size() - from));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at(1)),
                         other.begin() + static_cast<std::ptrdiff_t>(from),
                         other.begin() + static_cast<std::ptrdiff_t>(from + n));
                break;
            }
            case 6:  // cut short
                if (!b.empty()) b.resize(at(0));
                break;
            default:  // a random byte put in
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at(1)), byte());
                break;
        }
    }

    std::mt19937 rng_;
    std::size_t maxLen_;
};

}  // namespace

int main(int argc, char** argv) {
    long runs = 1000;
    std::uint32_t seed = 1;
    std::size_t maxLen = 4096;
    std::vector<Bytes> seeds;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--runs" || arg == "--seed" || arg == "--max-len") && i + 1 < argc) {
            const unsigned long v = std::strtoul(argv[++i], nullptr, 10);
            if (arg == "--runs") runs = static_cast<long>(v);
            if (arg == "--seed") seed = static_cast<std::uint32_t>(v);
            if (arg == "--max-len") maxLen = v;
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& e : std::filesystem::directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.emplace_back(arg);
        }
    }
    std::sort(files.begin(), files.end());  // the order of a folder listing is no order
    for (const auto& f : files) seeds.push_back(readFile(f));
    if (seeds.empty()) {
        std::fprintf(stderr, "%s: no seed files\n", argv[0]);
        return 2;
    }
    for (const Bytes& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());
    Mutator mutator(seed, maxLen);
    for (long i = 0; i < runs; ++i) {
        const Bytes input = mutator.mutate(seeds);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%s: %zu seeds and %ld mutated inputs (seed %u), no fault\n",
                std::filesystem::path(argv[0]).filename().c_str(), seeds.size(), runs, seed);
    return 0;
}
