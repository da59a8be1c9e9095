// JPEG decoding through libjpeg(-turbo), from memory. The library's error exit
// jumps back here; its warnings (damaged data it worked around) are counted.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "display/jpeg_decoder.h"

namespace zor {

namespace {

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf recovery;
    char message[JMSG_LENGTH_MAX];
};

// The library's message with every parameter shown as "N": parameters come
// from the file (the first bytes of a file that is no JPEG, marker codes,
// sizes), and a message must never tell what a file holds.
void formatWithoutParameters(const jpeg_error_mgr& err, char* out) {
    const int code = err.msg_code;
    const char* text = "JPEG decoder error";
    if (code == JERR_NO_SOI) {
        text = "Not a JPEG file (no start-of-image marker)";
    } else if (code > 0 && code <= err.last_jpeg_message && err.jpeg_message_table[code]) {
        text = err.jpeg_message_table[code];
    }
    std::string message;
    for (const char* p = text; *p; ++p) {
        if (*p != '%') {
            message += *p;
            continue;
        }
        if (p[1] == '%') {
            message += *++p;
            continue;
        }
        while (p[1] && std::strchr("-+ #0123456789.lhz", p[1])) ++p;
        if (!p[1]) break;
        ++p;  // the conversion letter
        if (message.ends_with("0x")) message.resize(message.size() - 2);
        message += 'N';
    }
    std::snprintf(out, JMSG_LENGTH_MAX, "%s", message.c_str());
}

void onJpegError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    formatWithoutParameters(*info->err, errors->message);
    std::longjmp(errors->recovery, 1);
}

void onJpegMessage(j_common_ptr) {
    // Warnings are not fatal; the decode goes on and they are counted.
}

constexpr const char* kTooLarge = "image is too large";

// The decode itself, free of objects with destructors between the jump
// point and the library calls. Returns an error text, or null on success.
// A declared size beyond the largest texture stops it after the header, with
// that size in width and height.
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

JpegDecoding decodeJpegData(std::span<const std::uint8_t> bytes) {
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.output_message = onJpegMessage;
    JpegDecoding result;
    DecodedImage image;
    if (const char* error = decodeInto(info, errors, bytes, image.pixels, image.width, image.height)) {
        result.error = error;
        if (error == kTooLarge) {
            result.tooLarge = true;
            result.declaredWidth = static_cast<std::uint32_t>(image.width);
            result.declaredHeight = static_cast<std::uint32_t>(image.height);
        }
        return result;
    }
    result.warnings = static_cast<int>(errors.base.num_warnings);
    result.image = std::move(image);
    return result;
}

const char* jpegDecoderName() { return "libjpeg"; }

}  // namespace zor
