#pragma once
// Shared pieces of the display tests: JPEG files of every colour layout
// written with libjpeg, and a scripted display brought up through initDisplay.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "system/disk_files.h"
#include "display/display.h"
#include "scratch_dir.h"
#include "support/recording_display_layer.h"

namespace zor::test {

// colour(x, y) gives R, G, B (or the grey level in [0]) of pixel (x, y), row 0 at the top.
using PixelSource = std::function<std::array<std::uint8_t, 4>(int x, int y)>;

// A baseline JPEG of 1 (grey), 3 (RGB) or 4 (CMYK) components at quality 100.
inline Bytes encodeJpeg(int width, int height, int components, const PixelSource& colour) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    // No chroma subsampling, so flat colours come back within a level or two.
    for (int i = 0; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = colour(x, y);
            for (int k = 0; k < components; ++k) row[static_cast<std::size_t>(x * components + k)] = c[static_cast<std::size_t>(k)];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline PixelSource solid(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return [=](int, int) { return std::array<std::uint8_t, 4>{r, g, b, 0}; };
}

// One primary adapter with 640x480 in 16, 15 and 32 bits; a software
// device; a plain 16-bit depth format; a 16-bit texture format.
inline void scriptSimpleMachine(RecordingDisplayLayer& layer) {
    ScriptedAdapter primary;
    primary.info.description = "Primary display";
    primary.info.driverName = "display";
    primary.modes = {makeDisplayMode(640, 480, 16), makeDisplayMode(640, 480, 15), makeDisplayMode(640, 480, 32)};
    layer.adapters = {primary};
    DeviceInfo rgb;
    rgb.guid = IID_IDirect3DRGBDevice;
    layer.devices = {rgb};
    layer.zBufferFormats = {makeDepthFormat(16)};
    layer.textureFormats = {rgb565Format()};
}

// Picks the first mode of the given bit count on the first adapter.
inline SetupWindowFunction chooseMode(std::uint32_t width, std::uint32_t height, std::uint32_t bits) {
    return [=](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
        for (const auto& a : adapters)
            for (const auto& m : a.modes)
                if (m.width == width && m.height == height && m.pixelFormat.rgbBitCount == bits) {
                    selection.selectedGuid = a.guid;
                    selection.selectedMode = m;
                    return true;
                }
        return false;
    };
}

// A context on a scripted layer, brought up in the given mode; messages are collected.
struct RecordedDisplay {
    RecordingDisplayLayer layer;
    DisplayContext context{layer};
    std::vector<std::string> messages;
    Diagnostics diagnostics;

    explicit RecordedDisplay(std::uint32_t bits = 16) {
        scriptSimpleMachine(layer);
        context.showMessage = [this](std::string_view caption, std::string_view text) {
            messages.push_back(std::string(caption) + ": " + std::string(text));
        };
        context.diagnostics = &diagnostics;
        up = initDisplay(context, nullptr, 0x13, chooseMode(640, 480, bits));
        layer.clearRecord();
    }
    bool up = false;
};

}  // namespace zor::test
