// readEntry and addFile throughput against zlib's own uncompress and
// compress2 on the same ~10 MB of mixed data; the ratio is the figure.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "archive/pack_file.h"
#include "system/process.h"

namespace {

using zor::Bytes;

// Text-like, binary-like and noisy parts, like a scene, meshes and JPEGs.
const std::vector<Bytes>& mixedFiles() {
    static std::vector<Bytes> files = [] {
        std::mt19937 rng(7);
        std::vector<Bytes> out;
        for (int f = 0; f < 10; ++f) {
            Bytes b(1 << 20);
            for (std::size_t i = 0; i < b.size(); ++i) {
                switch (f % 3) {
                    case 0: b[i] = static_cast<std::uint8_t>("0123456789 .-\nKeyMotion"[rng() % 23]); break;
                    case 1: b[i] = static_cast<std::uint8_t>((i % 12 < 4) ? 0x3f : rng() % 4); break;
                    default: b[i] = static_cast<std::uint8_t>(rng()); break;
                }
            }
            out.push_back(std::move(b));
        }
        return out;
    }();
    return files;
}

std::size_t totalBytes() {
    std::size_t n = 0;
    for (const Bytes& b : mixedFiles()) n += b.size();
    return n;
}

std::filesystem::path scratch(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("zor-bench-" + std::to_string(zor::processId()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

void BM_ZlibCompress2(benchmark::State& state) {
    for (auto _ : state) {
        for (const Bytes& b : mixedFiles()) {
            Bytes out(b.size() * 2);
            uLongf n = out.size();
            compress2(out.data(), &n, b.data(), b.size(), 9);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}

void BM_PackFileAddFile(benchmark::State& state) {
    std::vector<std::filesystem::path> paths;
    for (std::size_t i = 0; i < mixedFiles().size(); ++i) {
        paths.push_back(scratch("in" + std::to_string(i)));
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(mixedFiles()[i].data()), mixedFiles()[i].size());
    }
    const auto archive = scratch("add.dat");
    for (auto _ : state) {
        std::filesystem::remove(archive);
        zor::PackFile pack(archive.string());
        for (std::size_t i = 0; i < paths.size(); ++i) pack.addFile(paths[i], "f" + std::to_string(i));
        pack.flush();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}

const std::filesystem::path& builtArchive() {
    static std::filesystem::path path = [] {
        auto p = scratch("read.dat");
        std::filesystem::remove(p);
        zor::PackFile pack(p.string());
        for (std::size_t i = 0; i < mixedFiles().size(); ++i) pack.addData(mixedFiles()[i], "f" + std::to_string(i));
        pack.flush();
        return p;
    }();
    return path;
}

void BM_ZlibUncompress(benchmark::State& state) {
    std::vector<Bytes> blocks;
    for (const Bytes& b : mixedFiles()) {
        Bytes out(b.size() * 2);
        uLongf n = out.size();
        compress2(out.data(), &n, b.data(), b.size(), 9);
        out.resize(n);
        blocks.push_back(std::move(out));
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            Bytes out(mixedFiles()[i].size());
            uLongf n = out.size();
            uncompress(out.data(), &n, blocks[i].data(), blocks[i].size());
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}

void BM_PackFileReadEntry(benchmark::State& state) {
    zor::PackFile pack(builtArchive().string());
    for (auto _ : state) {
        for (std::size_t i = 0; i < mixedFiles().size(); ++i) {
            auto data = pack.readEntry("f" + std::to_string(i));
            benchmark::DoNotOptimize(data->data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}

BENCHMARK(BM_ZlibCompress2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackFileAddFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackFileReadEntry)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
