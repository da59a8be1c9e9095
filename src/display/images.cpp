// JPEG images and 16-bit surfaces. JPEGs are decoded from memory (disk first,
// then the archive); nothing is written to disk. Pixels are kept as blue,
// green, red bytes, rows bottom-up as decoded; the logo is flipped top-down
// before upload, textures are not.

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "display/display.h"

namespace zor {

namespace {

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf recovery;
    char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->recovery, 1);
}

constexpr const char* kTooLarge = "too large";

void onJpegMessage(j_common_ptr) {
    // Warnings are not fatal; the decode goes on.
}

void addWarning(Diagnostics* diagnostics, std::string_view name, std::string message) {
    if (diagnostics) diagnostics->warning(name, 0, std::move(message));
}

// The decode itself, free of objects with destructors between the jump
// point and the library calls. Returns an error text, or null on success.
// A declared size the renderer cannot take stops it after the header, with
// that size in width and height and `out` left empty.
const char* decodeInto(jpeg_decompress_struct& info, JpegErrorManager& errors, std::span<const std::uint8_t> bytes,
                       std::vector<std::uint8_t>& out, int& width, int& height) {
    if (setjmp(errors.recovery)) {
        jpeg_destroy_decompress(&info);
        return errors.message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, const_cast<unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        return "CMYK images are not supported";
    }
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    // Checked on the header alone: the decoder allocates for the declared
    // size only when decompression starts.
    if (!imageSizeUsable(info.image_width, info.image_height)) {
        width = static_cast<int>(info.image_width);
        height = static_cast<int>(info.image_height);
        jpeg_destroy_decompress(&info);
        return kTooLarge;
    }
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    if (components != (grey ? 1 : 3) || info.output_width != info.image_width ||
        info.output_height != info.image_height) {
        jpeg_destroy_decompress(&info);
        return "unexpected decoder output";
    }
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    out.resize(std::size_t(width) * height * 3);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * components, 1);
    while (info.output_scanline < info.output_height) {
        const auto k = info.output_scanline;
        jpeg_read_scanlines(&info, row, 1);
        // Bottom-up, blue first.
        std::uint8_t* dst = out.data() + std::size_t(height - 1 - k) * width * 3;
        const JSAMPLE* src = row[0];
        if (grey) {
            for (int x = 0; x < width; ++x) dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = src[x];
        } else {
            for (int x = 0; x < width; ++x) {
                dst[x * 3] = src[x * 3 + 2];
                dst[x * 3 + 1] = src[x * 3 + 1];
                dst[x * 3 + 2] = src[x * 3];
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return nullptr;
}

}  // namespace

bool imageSizeUsable(std::uint64_t width, std::uint64_t height) {
    return width <= kMaxTextureSide && height <= kMaxTextureSide;
}

std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, std::string_view name,
                                       Diagnostics* diagnostics) {
    if (bytes.empty()) {
        addWarning(diagnostics, name, "empty JPEG file");
        return std::nullopt;
    }
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.output_message = onJpegMessage;
    DecodedImage image;
    if (const char* error = decodeInto(info, errors, bytes, image.pixels, image.width, image.height)) {
        if (error == kTooLarge) {
            addWarning(diagnostics, name,
                       "image of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                           " pixels is refused: the largest texture is " + std::to_string(kMaxTextureSide) + " x " +
                           std::to_string(kMaxTextureSide));
        } else {
            addWarning(diagnostics, name, std::string("cannot decode JPEG: ") + error);
        }
        return std::nullopt;
    }
    // Truncated or corrupt data still decodes (the rest filled in); say so.
    if (errors.base.num_warnings > 0) {
        addWarning(diagnostics, name,
                   "JPEG data is damaged (" + std::to_string(errors.base.num_warnings) +
                       " decoder warnings); the image is used as decoded");
    }
    return image;
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

void convertPixels(const ConversionParameters& c, const std::uint8_t* source, std::uint8_t* destination, int width,
                   int height, int sourceGap, int destinationPitch) {
    const int rs = c.redShift, gs = c.greenShift, bs = c.blueShift;
    const int rl = c.redLoss, gl = c.greenLoss, bl = c.blueLoss;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = destination + std::ptrdiff_t(y) * destinationPitch;
        for (int x = 0; x < width; ++x, source += 3) {
            const auto value = static_cast<std::uint16_t>(((source[2] >> rl) << rs) + ((source[1] >> gl) << gs) +
                                                          ((source[0] >> bl) << bs));
            std::memcpy(out + x * 2, &value, 2);
        }
        source += sourceGap;
    }
}

std::uint16_t magentaKey(const ConversionParameters& c) {
    return static_cast<std::uint16_t>(((255 >> c.redLoss) << c.redShift) + ((255 >> c.blueLoss) << c.blueShift));
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
    checkDirectDraw(context, layer.getPixelFormat(reference, format));
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
        checkDirectDraw(context, layer.createSurface(context.state.directDraw, desc, surface));
    }
    return surface;
}

bool createImageSurface(DisplayContext& context, const std::uint8_t* pixels, int width, int height, Image& image,
                        SurfaceId reference) {
    DisplayLayer& layer = context.layer;
    const SurfaceId surface = createOffscreenSurface(context, reference, width, height);
    image.surface = surface;
    if (surface == SurfaceId::none) {
        context.message("ERROR!", "Couldn\xC2\xB4t create a comp. surface!");
        return false;
    }
    PixelFormat format;
    if (layer.getPixelFormat(surface, format) != kOk) return false;
    const ConversionParameters conversion = prepareConversion(format.redMask, format.greenMask, format.blueMask);
    if (!pixels) return false;
    SurfaceDesc desc;
    if (layer.getSurfaceDesc(surface, desc) != kOk) return false;
    void* bits = nullptr;
    std::int32_t pitch = 0;
    checkDirectDraw(context, layer.lock(surface, DDLOCK_WAIT, bits, pitch));
    // The surface may not be smaller than asked for; never write past it.
    const int w = std::min<int>(width, static_cast<int>(desc.width));
    const int h = std::min<int>(height, static_cast<int>(desc.height));
    convertPixels(conversion, pixels, static_cast<std::uint8_t*>(bits), w, h, (width - w) * 3, pitch);
    const std::uint16_t key = magentaKey(conversion);
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
