// Writes a binary PPM (P6) that compresses and decodes like a photograph:
// smooth light across the frame, textured areas with edges, and sensor
// noise, all varied by a seed so that every picture of a batch differs.
//
//   photo_pattern WIDTH HEIGHT SEED > photo.ppm
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Noise {
    uint64_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 32);
    }
    // Roughly normal, small: the grain of a sensor at a moderate ISO.
    int grain() {
        const uint32_t r = next();
        return static_cast<int>((r & 0xFF) + ((r >> 8) & 0xFF) + ((r >> 16) & 0xFF)) / 32 - 12;
    }
};

uint8_t clampByte(double value) {
    return value < 0 ? 0 : value > 255 ? 255 : static_cast<uint8_t>(value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: photo_pattern WIDTH HEIGHT SEED > photo.ppm\n");
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    const uint64_t seed = std::strtoull(argv[3], nullptr, 10);
    if (width < 1 || height < 1 || width > 20000 || height > 20000) return 2;
    Noise noise{0x9E3779B97F4A7C15ull ^ (seed * 0xBF58476D1CE4E5B9ull) | 1};
    // Where the light falls, how wide the texture runs, where the horizon lies.
    const double phase = (noise.next() % 6283) / 1000.0;
    const double stripes = 20 + noise.next() % 60;
    const double horizon = 0.3 + (noise.next() % 400) / 1000.0;
    const double hue = (noise.next() % 1000) / 1000.0;

    std::printf("P6\n%d %d\n255\n", width, height);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const double v = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            double r, g, b;
            if (v < horizon + 0.05 * std::sin(u * 9 + phase)) {
                // Sky: a gradient with slow clouds.
                const double cloud = 30 * std::sin(u * 7 + phase) * std::sin(v * 11 + hue * 5);
                r = 90 + 80 * v + cloud;
                g = 140 + 60 * v + cloud;
                b = 220 - 40 * v + cloud;
            } else {
                // Ground: textured, with edges where the texture turns over.
                const double t = std::sin(u * stripes + 3 * std::sin(v * 23 + phase)) *
                                 std::cos(v * stripes * 0.7 + u * 5);
                const double edge = t > 0.6 ? 40 : t < -0.6 ? -40 : 0;
                r = 110 + 60 * t + edge + 40 * hue;
                g = 100 + 50 * t + edge;
                b = 60 + 30 * t + edge - 20 * hue;
            }
            const int grain = noise.grain();
            row[3 * x] = clampByte(r + grain);
            row[3 * x + 1] = clampByte(g + grain);
            row[3 * x + 2] = clampByte(b + noise.grain());
        }
        if (std::fwrite(row.data(), 1, row.size(), stdout) != row.size()) return 1;
    }
    return 0;
}
