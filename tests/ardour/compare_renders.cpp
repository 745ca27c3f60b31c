// Compares a host's render with the VST 2 library's, both 32-bit float WAV,
// from frame FROM on, and says which of three it is:
//   exit 0  every sample's bits agree;
//   exit 2  the host's file is not whole, or holds a wild sample (not
//           finite, or beyond 1e15): a fault of the host's export, worth
//           another run;
//   exit 1  the files differ: where, by how much, how many samples agree
//           and how loud each is.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The samples of a WAV file's data chunk; false if there is none.
bool readSamples(const char* path, std::vector<float>& out) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        std::uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size |= std::uint32_t{bytes[at + 4 + i]} << (8 * i);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const std::size_t n = std::min<std::size_t>(size, bytes.size() - at - 8) / 4;
            out.resize(n);
            std::memcpy(out.data(), &bytes[at + 8], n * 4);
            return true;
        }
        at += 8 + size + (size & 1u);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s HOST.wav VST2.wav CHANNELS FROM\n", argv[0]);
        return 64;
    }
    std::vector<float> host, vst2;
    const std::size_t channels = std::strtoul(argv[3], nullptr, 10);
    const std::size_t from = std::strtoul(argv[4], nullptr, 10) * channels;
    if (!readSamples(argv[2], vst2) || vst2.size() <= from) {
        std::fprintf(stderr, "%s: no render to compare with\n", argv[2]);
        return 64;
    }
    if (!readSamples(argv[1], host) || host.size() < vst2.size()) {
        std::printf("the host's render is short: %zu of %zu samples\n", host.size(), vst2.size());
        return 2;
    }
    for (std::size_t i = 0; i < vst2.size(); ++i)
        if (!std::isfinite(host[i]) || std::fabs(host[i]) > 1e15f) {
            std::printf("the host wrote a wild sample, %g at frame %zu channel %zu\n", host[i], i / channels,
                        i % channels + 1);
            return 2;
        }
    std::size_t equal = 0, worst = from;
    double largest = 0.0, hostPower = 0.0, vst2Power = 0.0;
    for (std::size_t i = from; i < vst2.size(); ++i) {
        std::uint32_t a, b;
        std::memcpy(&a, &host[i], 4);
        std::memcpy(&b, &vst2[i], 4);
        equal += a == b;
        const double d = std::fabs(static_cast<double>(host[i]) - vst2[i]);
        if (d > largest) {
            largest = d;
            worst = i;
        }
        hostPower += static_cast<double>(host[i]) * host[i];
        vst2Power += static_cast<double>(vst2[i]) * vst2[i];
    }
    const std::size_t compared = vst2.size() - from;
    if (equal == compared) return 0;
    std::printf("%zu of %zu samples equal; largest difference %g at frame %zu; "
                "the host's render %.3g times as loud (RMS)\n",
                equal, compared, largest, worst / channels, vst2Power > 0.0 ? std::sqrt(hostPower / vst2Power) : 0.0);
    return 1;
}
