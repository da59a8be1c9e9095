#pragma once
// Helpers shared by the scene tests: a scene parsed from a text with a
// stand-in object loader, and files written whole.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "scene/scene_reader.h"
#include "scratch_dir.h"

namespace zor::testing {

// Gives each named object the number of points listed (0 when not listed)
// and records the names. Point i of the n-th object loaded (from 0) lies at
// (i + 10n, 2i, 3i) with normal (0, 0, i + n).
struct FakeLoader {
    std::map<std::string, int> pointCounts;
    std::vector<std::string> loaded;

    ObjectLoadFunction function() {
        return [this](std::string& name, Mesh& mesh) {
            loaded.push_back(name);
            const auto it = pointCounts.find(name);
            const int n = it == pointCounts.end() ? 0 : it->second;
            mesh.pointCount = static_cast<std::uint16_t>(n);
            mesh.points.resize(static_cast<std::size_t>(n));
            const int order = static_cast<int>(loaded.size()) - 1;
            for (int i = 0; i < n; ++i) {
                mesh.points[i].position[0] = static_cast<float>(i + 10 * order);
                mesh.points[i].position[1] = static_cast<float>(2 * i);
                mesh.points[i].position[2] = static_cast<float>(3 * i);
                mesh.points[i].normal[2] = static_cast<float>(i + order);
            }
        };
    }
};

inline constexpr std::string_view kHeader =
    "LWSC\n1\nPreviewFirstFrame 1\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30\n";

// The body text is parsed after a complete header line set.
struct Parsed {
    Scene scene;
    Diagnostics diagnostics;
    FakeLoader loader;

    explicit Parsed(std::string_view text, std::map<std::string, int> points = {}) {
        loader.pointCounts = std::move(points);
        parseScene(scene, std::string(kHeader) + std::string(text), "test.lws", loader.function(), &diagnostics);
    }
    // Every diagnostic as one string, for failure messages.
    std::string report() const {
        std::string out;
        for (const Diagnostic& d : diagnostics.items()) out += d.text() + "\n";
        return out;
    }
};

inline void writeFile(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace zor::testing
