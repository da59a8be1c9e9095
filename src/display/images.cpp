// JPEG images and 16-bit (or, in true colour, 32-bit) surfaces. JPEGs are decoded from memory (disk first,
// then the archive) by the decoder behind jpeg_decoder.h; nothing is written
// to disk. Pixels are kept as blue, green, red bytes, rows bottom-up as
// decoded; the logo is flipped top-down before upload, textures are not.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

#include "display/display.h"

namespace zor {

namespace {

void addWarning(Diagnostics* diagnostics, std::string_view name, std::string message) {
    if (diagnostics) diagnostics->warning(name, 0, std::move(message));
}

}  // namespace

std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, std::string_view name,
                                       Diagnostics* diagnostics) {
    if (bytes.empty()) {
        addWarning(diagnostics, name, "empty JPEG file");
        return std::nullopt;
    }
    JpegDecoding decoding = decodeJpegData(bytes);
    if (!decoding.image) {
        if (decoding.tooLarge) {
            addWarning(diagnostics, name,
                       "image of " + std::to_string(decoding.declaredWidth) + " x " +
                           std::to_string(decoding.declaredHeight) + " pixels is refused: the largest texture is " +
                           std::to_string(kMaxTextureSide) + " x " + std::to_string(kMaxTextureSide));
        } else {
            addWarning(diagnostics, name, "cannot decode JPEG: " + decoding.error);
        }
        return std::nullopt;
    }
    // Truncated or corrupt data still decodes (the rest filled in); say so.
    if (decoding.warnings > 0) {
        addWarning(diagnostics, name,
                   "JPEG data is damaged (" + std::to_string(decoding.warnings) +
                       " decoder warnings); the image is used as decoded");
    }
    return std::move(decoding.image);
}

std::optional<DecodedImage> loadJpeg(const DisplayContext& context, std::string_view name) {
    const auto bytes = readDataFile(context.source, name, context.diagnostics);
    if (!bytes) {
        addWarning(context.diagnostics, name, "image not found on disk or in the archive");
        return std::nullopt;
    }
    return decodeJpeg(*bytes, name, context.diagnostics);
}

ConversionParameters prepareConversion(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask) {
    auto channel = [](std::uint32_t mask, int& shift, int& loss) {
        // A zero mask would mean no such channel; it keeps nothing of it.
        if (mask == 0) {
            shift = 0;
            loss = 8;
            return;
        }
        shift = std::countr_zero(mask);
        loss = 8 - std::min(8, std::countr_one(mask >> shift));
    };
    ConversionParameters c;
    channel(redMask, c.redShift, c.redLoss);
    channel(greenMask, c.greenShift, c.greenLoss);
    channel(blueMask, c.blueShift, c.blueLoss);
    return c;
}

ConversionParameters prepareConversion(const PixelFormat& format) {
    ConversionParameters c = prepareConversion(format.redMask, format.greenMask, format.blueMask);
    c.bytesPerPixel = format.rgbBitCount > 16 ? 4 : 2;
    return c;
}

void convertPixels(const ConversionParameters& c, const std::uint8_t* source, std::uint8_t* destination, int width,
                   int height, int sourceGap, int destinationPitch) {
    const int rs = c.redShift, gs = c.greenShift, bs = c.blueShift;
    const int rl = c.redLoss, gl = c.greenLoss, bl = c.blueLoss;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = destination + std::ptrdiff_t(y) * destinationPitch;
        for (int x = 0; x < width; ++x, source += 3) {
            const auto value = static_cast<std::uint32_t>(((source[2] >> rl) << rs) + ((source[1] >> gl) << gs) +
                                                          ((source[0] >> bl) << bs));
            if (c.bytesPerPixel == 4) {
                std::memcpy(out + x * 4, &value, 4);
            } else {
                const auto narrow = static_cast<std::uint16_t>(value);
                std::memcpy(out + x * 2, &narrow, 2);
            }
        }
        source += sourceGap;
    }
}

std::uint32_t magentaKey(const ConversionParameters& c) {
    return static_cast<std::uint32_t>(((255 >> c.redLoss) << c.redShift) + ((255 >> c.blueLoss) << c.blueShift));
}

void resampleImage(const std::uint8_t* source, std::uint8_t* destination, int sourceWidth, int sourceHeight,
                   int destinationWidth, int destinationHeight) {
    if (destinationWidth <= 0 || destinationHeight <= 0) return;
    const std::uint64_t xstep = (std::uint64_t(sourceWidth) << 16) / std::uint64_t(destinationWidth);
    const std::uint64_t ystep = (std::uint64_t(sourceHeight) << 16) / std::uint64_t(destinationHeight);
    const std::uint64_t spanX = (xstep >> 16) + 1;
    const std::uint64_t spanY = (ystep >> 16) + 1;
    for (int x = 0; x < destinationWidth; ++x) {
        const std::uint64_t sx = (std::uint64_t(x) * xstep) >> 16;
        const std::uint64_t endX = std::min<std::uint64_t>(sx + spanX, std::uint64_t(sourceWidth));
        for (int y = 0; y < destinationHeight; ++y) {
            const std::uint64_t sy = (std::uint64_t(y) * ystep) >> 16;
            const std::uint64_t endY = std::min<std::uint64_t>(sy + spanY, std::uint64_t(sourceHeight));
            std::uint32_t sum[3] = {0, 0, 0};
            std::uint32_t count = 0;
            for (std::uint64_t yy = sy; yy < endY; ++yy) {
                const std::uint8_t* p = source + (yy * std::uint64_t(sourceWidth) + sx) * 3;
                for (std::uint64_t xx = sx; xx < endX; ++xx, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    ++count;
                }
            }
            std::uint8_t* d = destination + (std::size_t(y) * destinationWidth + x) * 3;
            for (int i = 0; i < 3; ++i) d[i] = count ? static_cast<std::uint8_t>(sum[i] / count) : 0;
        }
    }
}

SurfaceId createOffscreenSurface(DisplayContext& context, SurfaceId reference, int width, int height) {
    DisplayLayer& layer = context.layer;
    PixelFormat format;
    if (context.fatalError || !checkDirectDraw(context, layer.getPixelFormat(reference, format)))
        return SurfaceId::none;
    SurfaceDesc desc;
    desc.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.width = static_cast<std::uint32_t>(width);
    desc.height = static_cast<std::uint32_t>(height);
    desc.pixelFormat.flags = DDPF_RGB;
    desc.pixelFormat.rgbBitCount = format.rgbBitCount;
    desc.pixelFormat.redMask = format.redMask;
    desc.pixelFormat.greenMask = format.greenMask;
    desc.pixelFormat.blueMask = format.blueMask;
    desc.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    SurfaceId surface = SurfaceId::none;
    if (layer.createSurface(context.state.directDraw, desc, surface) != kOk) {
        desc.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        if (!checkDirectDraw(context, layer.createSurface(context.state.directDraw, desc, surface)))
            return SurfaceId::none;
    }
    return surface;
}

bool createImageSurface(DisplayContext& context, const std::uint8_t* pixels, int width, int height, Image& image,
                        SurfaceId reference) {
    DisplayLayer& layer = context.layer;
    const SurfaceId surface = createOffscreenSurface(context, reference, width, height);
    image.surface = surface;
    if (surface == SurfaceId::none) {
        if (!context.fatalError) context.message("ERROR!", "Couldn\xC2\xB4t create a comp. surface!");
        return false;
    }
    PixelFormat format;
    if (layer.getPixelFormat(surface, format) != kOk) return false;
    const ConversionParameters conversion = prepareConversion(format);
    if (!pixels) return false;
    SurfaceDesc desc;
    if (layer.getSurfaceDesc(surface, desc) != kOk) return false;
    void* bits = nullptr;
    std::int32_t pitch = 0;
    if (!checkDirectDraw(context, layer.lock(surface, DDLOCK_WAIT, bits, pitch))) return false;
    // The surface may not be smaller than asked for; never write past it.
    const int w = std::min<int>(width, static_cast<int>(desc.width));
    const int h = std::min<int>(height, static_cast<int>(desc.height));
    convertPixels(conversion, pixels, static_cast<std::uint8_t*>(bits), w, h, (width - w) * 3, pitch);
    const std::uint32_t key = magentaKey(conversion);
    layer.setColorKey(surface, DDCKEY_SRCBLT, key, key);
    layer.unlock(surface);
    return true;
}

void loadImageSurface(DisplayContext& context, Image& image, std::string_view name) {
    if (name.size() > kMaxImageName) {
        addWarning(context.diagnostics, name, "image name longer than 31 characters");
        return;
    }
    image.name = std::string(name);
    auto decoded = loadJpeg(context, name);
    if (!decoded) return;
    const int w = decoded->width, h = decoded->height;
    const std::size_t rowBytes = std::size_t(w) * 3;
    std::vector<std::uint8_t> topDown(decoded->pixels.size());
    for (int y = 0; y < h; ++y)
        std::memcpy(topDown.data() + std::size_t(y) * rowBytes, decoded->pixels.data() + std::size_t(h - 1 - y) * rowBytes,
                    rowBytes);
    // Near-magenta becomes exactly magenta, the colour key.
    for (std::size_t i = 0; i < topDown.size(); i += 3) {
        std::uint8_t* p = &topDown[i];
        if (p[0] > 240 && p[1] < 20 && p[2] > 240) {
            p[0] = 255;
            p[1] = 0;
            p[2] = 255;
        }
    }
    image.width = w;
    image.height = h;
    createImageSurface(context, topDown.data(), w, h, image, context.state.primary);
}

}  // namespace zor
