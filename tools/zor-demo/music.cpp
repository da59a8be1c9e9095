#include "music.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zor::demo {
namespace {

constexpr double kTau = 2 * std::numbers::pi;

double noteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Deterministic white noise in [-1, 1].
class Noise {
public:
    double next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ull << 52) - 1.0;
    }

private:
    std::uint64_t state_ = 0x5eed1234abcdull;
};

// Chords of the 4-bar loop as MIDI notes (root first): A minor, F, C, G.
constexpr int kChords[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};
// Lead line, one note per beat over 8 bars (0 = rest), in A minor.
constexpr int kLead[32] = {76, 0, 74, 72, 72, 0, 69, 0, 67, 69, 72, 0, 74, 0, 71, 67,
                           76, 77, 76, 74, 72, 0, 69, 72, 67, 0, 64, 67, 71, 0, 74, 0};

struct Mix {
    std::vector<double> left, right;
    int rate;
    void add(std::size_t i, double v, double pan) {  // pan: -1 left .. +1 right
        if (i >= left.size()) return;
        left[i] += v * (1 - pan) * 0.5;
        right[i] += v * (1 + pan) * 0.5;
    }
};

double saw(double phase) { return 2 * (phase - std::floor(phase + 0.5)); }
double square(double phase) { return phase - std::floor(phase) < 0.5 ? 1.0 : -1.0; }
double triangle(double phase) { return 1 - 4 * std::fabs(phase - std::floor(phase + 0.5)); }

void pad(Mix& mix, std::size_t start, std::size_t length, const int* chord, double gain) {
    double lp = 0;
    for (std::size_t n = 0; n < length; ++n) {
        double t = static_cast<double>(n) / mix.rate;
        double len = static_cast<double>(length) / mix.rate;
        double env = std::min({1.0, t / 0.6, (len - t) / 0.5});
        double v = 0;
        for (int k = 0; k < 3; ++k) {
            double f = noteHz(chord[k]);
            v += saw(f * t) + saw(f * 1.006 * t) * 0.8;
        }
        lp += (v - lp) * 0.06;  // soften the saws
        double swirl = std::sin(kTau * 0.25 * t);
        mix.add(start + n, lp * env * gain, 0.6 * swirl);
    }
}

void pluck(Mix& mix, std::size_t start, double hz, double seconds, double gain, double pan, bool squareWave) {
    std::size_t length = static_cast<std::size_t>(seconds * mix.rate);
    double lp = 0;
    // The exponential decay as a per-sample factor: one multiply, no exp.
    const double decay = std::exp(-6 / seconds / mix.rate);
    double env = 1;
    for (std::size_t n = 0; n < length; ++n, env *= decay) {
        double t = static_cast<double>(n) / mix.rate;
        double v = squareWave ? square(hz * t) : triangle(hz * t);
        lp += (v - lp) * 0.25;
        mix.add(start + n, lp * env * std::min(1.0, t / 0.004) * gain, pan);
    }
}

void kick(Mix& mix, std::size_t start, double gain) {
    double phase = 0;
    std::size_t length = static_cast<std::size_t>(0.35 * mix.rate);
    for (std::size_t n = 0; n < length; ++n) {
        double t = static_cast<double>(n) / mix.rate;
        double f = 45 + 90 * std::exp(-t * 30);
        phase += f / mix.rate;
        mix.add(start + n, std::sin(kTau * phase) * std::exp(-t * 9) * gain, 0);
    }
}

void hiss(Mix& mix, Noise& noise, std::size_t start, double seconds, double decay, double highPass, double gain,
          double pan) {
    std::size_t length = static_cast<std::size_t>(seconds * mix.rate);
    double prev = 0;
    const double factor = std::exp(-decay / mix.rate);
    double env = 1;
    for (std::size_t n = 0; n < length; ++n, env *= factor) {
        double w = noise.next();
        double v = w - prev * highPass;  // crude high-pass: keep the change
        prev = w;
        mix.add(start + n, v * env * gain, pan);
    }
}

}  // namespace

std::vector<std::int16_t> synthesiseMusic(const MusicPlan& plan) {
    const double beat = plan.beatSeconds;
    const std::size_t total = static_cast<std::size_t>((plan.bars * 4 * beat + 1.5) * plan.sampleRate);
    Mix mix{std::vector<double>(total, 0.0), std::vector<double>(total, 0.0), plan.sampleRate};
    Noise noise;
    auto at = [&](double beats) { return static_cast<std::size_t>(beats * beat * plan.sampleRate); };
    const int scenebars = plan.bars - 1;

    for (int bar = 0; bar < plan.bars; ++bar) {
        const int* chord = kChords[bar % 4];
        const bool last = bar == scenebars;  // the ringing-out bar: one chord and a kick
        const int section = bar / 8;         // follows the scene's four acts
        pad(mix, at(bar * 4.0), at(4.0 + (last ? 2 : 0)), chord, section == 2 ? 0.18 : section == 0 ? 0.16 : 0.12);
        if (last) {
            kick(mix, at(bar * 4.0), 0.9);
            continue;
        }
        for (int b = 0; b < 4; ++b) {
            double beatAt = bar * 4.0 + b;
            bool drums = bar >= 4 && !(section == 2 && bar < 20);
            if (drums && (section != 2 || b % 2 == 0)) kick(mix, at(beatAt), 0.9);
            if (bar >= 8 && section != 2 && (b == 1 || b == 3)) hiss(mix, noise, at(beatAt), 0.18, 18, 0.3, 0.35, 0.1);
            if (bar >= 8) hiss(mix, noise, at(beatAt + 0.5), 0.05, 60, 0.95, 0.12, 0.4);
            if (bar >= 4)
                for (int e = 0; e < 2; ++e)
                    pluck(mix, at(beatAt + e * 0.5), noteHz(chord[0] - 24 + (e == 1 && b == 3 ? 7 : 0)),
                          beat * 0.45, 0.32, -0.1, true);
            if (bar >= 12)
                for (int s = 0; s < 4; ++s) {
                    int note = chord[(b * 4 + s) % 3] + 12 * ((s + b) % 2);
                    double pan = (s % 2 == 0) ? -0.5 : 0.5;
                    pluck(mix, at(beatAt + s * 0.25), noteHz(note), beat * 0.6, 0.09, pan, false);
                    pluck(mix, at(beatAt + s * 0.25 + 0.75), noteHz(note), beat * 0.6, 0.035, -pan, false);
                }
            if (bar >= 16) {
                int note = kLead[((bar - 16) % 8) * 4 + b];
                if (note != 0) pluck(mix, at(beatAt), noteHz(note), beat * 1.6, section == 3 ? 0.16 : 0.13, 0.2, true);
            }
        }
        if (bar == 24) hiss(mix, noise, at(bar * 4.0), 1.8, 2.2, 0.6, 0.35, 0);  // crash at the finale
    }

    std::vector<std::int16_t> out(total * 2);
    for (std::size_t i = 0; i < total; ++i) {
        double fade = std::min(1.0, static_cast<double>(total - i) / (1.0 * plan.sampleRate));
        for (int c = 0; c < 2; ++c) {
            // Gentle saturation: only the loudest hits reach the bend of tanh.
            double v = std::tanh((c == 0 ? mix.left[i] : mix.right[i]) * 1.6) * fade;
            out[i * 2 + c] = static_cast<std::int16_t>(std::lround(v * 30000));
        }
    }
    return out;
}

}  // namespace zor::demo
