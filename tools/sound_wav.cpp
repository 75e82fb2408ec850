// Writes the station's sounds into a folder, 16-bit mono PCM at 22050 Hz as RIFF/WAVE files:
//   switch.wav  a short, dry click (a decaying 1.8 kHz burst with a low thump): a drive
//               switched on or off;
//   alarm.wav   two falling chimes (a 988 Hz and a 740 Hz tone, twice): an alarm raised.
// usage: sound_wav FOLDER
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {
constexpr unsigned kRate = 22050;

void put16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, unsigned long v) {
    put16(b, static_cast<unsigned>(v & 0xFFFF));
    put16(b, static_cast<unsigned>(v >> 16));
}

// The file of ms milliseconds of the wave v(t), t in seconds, v within [-1, 1].
bool write(const std::string& path, unsigned ms, const std::function<double(double)>& v) {
    const unsigned samples = kRate * ms / 1000;
    std::vector<std::uint8_t> pcm;
    for (unsigned i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / kRate;
        put16(pcm,
              static_cast<unsigned>(static_cast<std::int16_t>(std::lround(v(t) * 32767))) & 0xFFFF);
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
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sound_wav FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool click = write(dir + "/switch.wav", 60, [](double t) {
        return 0.45 * std::sin(2 * M_PI * 1800 * t) * std::exp(-t * 160) +
               0.35 * std::sin(2 * M_PI * 140 * t) * std::exp(-t * 60);
    });
    // Each chime 0.18 s, struck and decaying, loud enough to be heard over a generator.
    const bool chime = write(dir + "/alarm.wav", 760, [](double t) {
        const int n = static_cast<int>(t / 0.19);
        const double since = t - n * 0.19;
        const double hz = n % 2 == 0 ? 988.0 : 740.0;
        return since < 0.18 ? 0.6 * std::sin(2 * M_PI * hz * since) * std::exp(-since * 9) : 0.0;
    });
    return click && chime ? 0 : 1;
}
