// Writes the station's switch sound: a short, dry click (a decaying 1.8 kHz burst with a
// low thump), 16-bit mono PCM at 22050 Hz, as a RIFF/WAVE file.
// usage: switch_wav OUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void put16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, unsigned long v) {
    put16(b, static_cast<unsigned>(v & 0xFFFF));
    put16(b, static_cast<unsigned>(v >> 16));
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: switch_wav OUT.wav\n");
        return 2;
    }
    constexpr unsigned kRate = 22050;
    constexpr unsigned kSamples = kRate * 60 / 1000;  // 60 ms
    std::vector<std::uint8_t> pcm;
    for (unsigned i = 0; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double click = std::sin(2 * M_PI * 1800 * t) * std::exp(-t * 160);
        const double thump = std::sin(2 * M_PI * 140 * t) * std::exp(-t * 60);
        const double v = 0.45 * click + 0.35 * thump;
        put16(pcm,
              static_cast<unsigned>(static_cast<std::int16_t>(std::lround(v * 32767))) & 0xFFFF);
    }
    std::vector<std::uint8_t> file;
    for (char c : {'R', 'I', 'F', 'F'}) file.push_back(static_cast<std::uint8_t>(c));
    put32(file, 36 + pcm.size());
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '})
        file.push_back(static_cast<std::uint8_t>(c));
    put32(file, 16);
    put16(file, 1);  // PCM
    put16(file, 1);  // mono
    put32(file, kRate);
    put32(file, kRate * 2);
    put16(file, 2);
    put16(file, 16);
    for (char c : {'d', 'a', 't', 'a'}) file.push_back(static_cast<std::uint8_t>(c));
    put32(file, pcm.size());
    file.insert(file.end(), pcm.begin(), pcm.end());
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
