#include "textures.h"
#include "scene/player_constants.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>

namespace zor::demo {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb scale(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float smooth(float t) { return t * t * (3 - 2 * t); }

// Integer hash to [0, 1): the same on every host, unlike std::rand.
float hash(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xFFFFFF) / 16777216.0f;
}

// Value noise that tiles with the given period (in cells).
float noise(float x, float y, int period, int seed) {
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    float fx = smooth(x - xi), fy = smooth(y - yi);
    auto h = [&](int i, int j) {
        return hash(((i % period) + period) % period, ((j % period) + period) % period, seed);
    };
    float a = h(xi, yi) + (h(xi + 1, yi) - h(xi, yi)) * fx;
    float b = h(xi, yi + 1) + (h(xi + 1, yi + 1) - h(xi, yi + 1)) * fx;
    return a + (b - a) * fy;
}

// Fractal sum over four octaves; u, v in [0, 1) tile seamlessly.
float fbm(float u, float v, int basePeriod, int seed) {
    float sum = 0, amp = 0.5f, total = 0;
    int period = basePeriod;
    for (int o = 0; o < 4; ++o) {
        sum += amp * noise(u * period, v * period, period, seed + o);
        total += amp;
        amp *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

RgbImage paint(int w, int h, const std::function<Rgb(float u, float v)>& f) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = f((x + 0.5f) / w, (y + 0.5f) / h);
            std::uint8_t* p = img.at(x, y);
            p[0] = static_cast<std::uint8_t>(clamp01(c.r) * 255.0f + 0.5f);
            p[1] = static_cast<std::uint8_t>(clamp01(c.g) * 255.0f + 0.5f);
            p[2] = static_cast<std::uint8_t>(clamp01(c.b) * 255.0f + 0.5f);
        }
    return img;
}

// Floor: two-by-two polished tiles with dark grout.
RgbImage checker() {
    return paint(128, 128, [](float u, float v) {
        int tile = (static_cast<int>(u * 2) + static_cast<int>(v * 2)) % 2;
        float n = fbm(u, v, 4, 11);
        Rgb light{0.86f, 0.80f, 0.70f}, dark{0.16f, 0.30f, 0.36f};
        Rgb c = scale(tile ? dark : light, 0.8f + 0.35f * n);
        float gu = std::fabs(u * 2 - std::round(u * 2)), gv = std::fabs(v * 2 - std::round(v * 2));
        if (std::min(gu, gv) < 0.02f) c = {0.08f, 0.07f, 0.07f};
        return c;
    });
}

// Back wall: riveted panels glowing at their seams.
RgbImage panel() {
    return paint(256, 128, [](float u, float v) {
        float pu = u * 4 - std::floor(u * 4), pv = v * 2 - std::floor(v * 2);
        float edge = std::min({pu, 1 - pu, pv, 1 - pv});
        float n = fbm(u, v, 8, 21);
        Rgb base = mix(Rgb{0.10f, 0.12f, 0.30f}, Rgb{0.22f, 0.26f, 0.50f}, n);
        if (edge < 0.03f) return Rgb{0.95f, 0.55f, 0.20f};
        if (edge < 0.08f) return mix(Rgb{0.55f, 0.60f, 0.85f}, base, (edge - 0.03f) / 0.05f);
        float ru = pu * 8 - std::floor(pu * 8) - 0.5f, rv = pv * 4 - std::floor(pv * 4) - 0.5f;
        if (edge < 0.16f && ru * ru + rv * rv < 0.04f) return Rgb{0.80f, 0.82f, 0.90f};
        return base;
    });
}

// Gas giant: turbulent bands, a storm spot.
RgbImage planet() {
    return paint(256, 128, [](float u, float v) {
        float turb = fbm(u, v, 4, 31);
        float band = std::sin((v * 9 + turb * 1.6f) * kPi);
        Rgb a{0.95f, 0.62f, 0.30f}, b{0.55f, 0.25f, 0.12f}, c{0.98f, 0.90f, 0.72f};
        Rgb col = band > 0 ? mix(a, c, band) : mix(a, b, -band);
        float du = (u - 0.3f) * 2, dv = (v - 0.62f) * 3.5f;
        float spot = du * du + dv * dv;
        if (spot < 0.05f) col = mix(Rgb{0.85f, 0.18f, 0.10f}, col, spot / 0.05f);
        return scale(col, 0.85f + 0.3f * fbm(u, v, 16, 32));
    });
}

// Creature skin: overlapping scales, green to teal.
RgbImage skin() {
    return paint(128, 128, [](float u, float v) {
        float su = u * 8, sv = v * 8;
        int row = static_cast<int>(sv);
        float fu = su + (row % 2) * 0.5f;
        float cu = fu - std::floor(fu) - 0.5f, cv = sv - row - 0.2f;
        float d = std::sqrt(cu * cu + cv * cv * 1.5f);
        Rgb inner{0.35f, 0.85f, 0.45f}, rim{0.05f, 0.25f, 0.30f};
        return mix(inner, rim, clamp01(d * 1.6f + 0.2f * fbm(u, v, 8, 41)));
    });
}

// Reflection: sky above, a bright horizon, warm ground below.
RgbImage chrome() {
    return paint(128, 128, [](float u, float v) {
        float y = 1 - 2 * v;  // +1 at the top row
        Rgb sky = mix(Rgb{0.85f, 0.92f, 1.0f}, Rgb{0.20f, 0.35f, 0.85f}, clamp01(y));
        Rgb ground = mix(Rgb{0.75f, 0.55f, 0.35f}, Rgb{0.20f, 0.10f, 0.05f}, clamp01(-y));
        Rgb c = y >= 0 ? sky : ground;
        float streak = std::pow(clamp01(1 - std::fabs(y) * 6), 3.0f);
        c = mix(c, Rgb{1, 1, 1}, streak);
        return scale(c, 0.9f + 0.2f * fbm(u, v, 4, 51));
    });
}

// Particle sprites: a soft glow on black (drawn additively).
RgbImage glow(Rgb core, Rgb halo, bool star) {
    return paint(64, 64, [=](float u, float v) {
        float x = u * 2 - 1, y = v * 2 - 1;
        float r = std::sqrt(x * x + y * y);
        float g = clamp01(1.15f - r);
        g = std::pow(g, 1.5f);
        if (star) g = std::max(g, clamp01(1 - std::fabs(x * y) * 40) * clamp01(1 - r) * 0.9f);
        return mix(scale(halo, 1.4f * g), core, std::pow(g, 2.0f));
    });
}

// Water: interfering ripples.
RgbImage water() {
    return paint(128, 128, [](float u, float v) {
        float w = std::sin((u * 6 + fbm(u, v, 4, 61)) * 2 * kPi) + std::sin((v * 5 + u * 2) * 2 * kPi);
        float t = 0.5f + 0.25f * w;
        return mix(Rgb{0.02f, 0.18f, 0.35f}, Rgb{0.35f, 0.80f, 0.95f}, clamp01(t));
    });
}

// Pedestal stone: white marble with grey veins.
RgbImage marble() {
    return paint(128, 128, [](float u, float v) {
        float t = std::sin((u * 3 + v * 2 + fbm(u, v, 4, 71) * 3) * kPi);
        float vein = std::pow(1 - std::fabs(t), 8.0f);
        return mix(Rgb{0.93f, 0.92f, 0.90f}, Rgb{0.35f, 0.38f, 0.45f}, vein);
    });
}

// Column: brushed brass with engraved rings.
RgbImage brass() {
    return paint(128, 64, [](float u, float v) {
        float streak = fbm(u * 0.05f, v, 16, 81);
        Rgb c = mix(Rgb{0.55f, 0.38f, 0.12f}, Rgb{0.98f, 0.82f, 0.42f}, streak);
        float ring = v * 8 - std::floor(v * 8);
        if (ring < 0.08f) c = scale(c, 0.45f);
        return c;
    });
}

// Banner: a crimson field with a golden sun and a triangle.
RgbImage banner() {
    return paint(128, 128, [](float u, float v) {
        float x = u - 0.5f, y = v - 0.42f;
        float r = std::sqrt(x * x + y * y);
        Rgb field = mix(Rgb{0.55f, 0.04f, 0.10f}, Rgb{0.85f, 0.12f, 0.18f}, fbm(u, v, 4, 91));
        Rgb gold{1.0f, 0.80f, 0.20f};
        if (r < 0.16f) return gold;
        float ang = std::atan2(y, x);
        if (r < 0.28f && std::cos(ang * 12) > 0.6f) return gold;
        // A triangle below the sun.
        if (v > 0.72f && v < 0.92f && std::fabs(x) < (v - 0.72f) * 0.9f) return Rgb{0.98f, 0.95f, 0.85f};
        if (u < 0.04f || u > 0.96f) return gold;
        return field;
    });
}

// A 5 x 7 pixel font for the logo lettering.
const char* glyph(char c) {
    switch (c) {
    case 'Z': return "11111" "00001" "00010" "00100" "01000" "10000" "11111";
    case 'O': return "01110" "10001" "10001" "10001" "10001" "10001" "01110";
    case 'R': return "11110" "10001" "10001" "11110" "10100" "10010" "10001";
    default: return "00000" "00000" "00000" "00000" "00000" "00000" "00000";
    }
}

// Logo: magenta (see-through) except an emblem in the top-left corner: a
// ringed disc and the word ZOR.
RgbImage logo() {
    RgbImage img(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* p = img.at(x, y);
            p[0] = kKeyRed;
            p[1] = kKeyGreen;
            p[2] = kKeyBlue;
            float dx = x - 64.0f, dy = y - 64.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            Rgb c{-1, 0, 0};
            if (r < 40) c = mix(Rgb{1.0f, 0.85f, 0.30f}, Rgb{0.90f, 0.35f, 0.05f}, r / 40);
            else if (r > 46 && r < 52) c = Rgb{0.30f, 0.85f, 1.0f};
            if (c.r >= 0) {
                p[0] = static_cast<std::uint8_t>(clamp01(c.r) * 255);
                p[1] = static_cast<std::uint8_t>(clamp01(c.g) * 255);
                p[2] = static_cast<std::uint8_t>(clamp01(c.b) * 255);
            }
        }
    const char* word = "ZOR";
    const int cell = 6, left = 20, top = 130;
    for (int k = 0; k < 3; ++k) {
        const char* g = glyph(word[k]);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx) {
                if (g[gy * 5 + gx] != '1') continue;
                for (int y = 0; y < cell; ++y)
                    for (int x = 0; x < cell; ++x) {
                        std::uint8_t* p = img.at(left + k * 6 * cell + gx * cell + x, top + gy * cell + y);
                        p[0] = 240;
                        p[1] = 250;
                        p[2] = 255;
                    }
            }
    }
    return img;
}

}  // namespace

std::vector<DemoImage> paintDemoImages() {
    std::vector<DemoImage> images;
    images.push_back({"checker.jpg", checker(), {}});
    images.push_back({"panel.jpg", panel(), {}});
    images.push_back({"planet.jpg", planet(), {}});
    images.push_back({"skin.jpg", skin(), {}});
    images.push_back({"chrome.jpg", chrome(), {}});
    images.push_back({"spark.jpg", glow({1.0f, 0.95f, 0.70f}, {1.0f, 0.45f, 0.10f}, false), {}});
    images.push_back({"star.jpg", glow({0.95f, 1.0f, 1.0f}, {0.25f, 0.55f, 1.0f}, true), {}});
    images.push_back({"water.jpg", water(), {}});
    images.push_back({"marble.jpg", marble(), {}});
    images.push_back({"brass.jpg", brass(), {}});
    images.push_back({"banner.jpg", banner(), {}});
    images.push_back({kLogoFileName, logo(), JpegOptions{95, true}});
    return images;
}

}  // namespace zor::demo
