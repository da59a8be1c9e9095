#include "writers/jpeg_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

namespace zor::write {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

// Owns what libjpeg allocates so that every exit path releases it.
struct Compressor {
    jpeg_compress_struct info{};
    ErrorManager err{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

// Runs the libjpeg calls; kept free of objects with destructors because a
// longjmp may leave it.
bool compress(Compressor& c, const RgbImage& image, const JpegOptions& options) {
    c.info.err = jpeg_std_error(&c.err.base);
    c.err.base.error_exit = onError;
    if (setjmp(c.err.jump)) return false;
    jpeg_create_compress(&c.info);
    jpeg_mem_dest(&c.info, &c.buffer, &c.size);
    c.info.image_width = static_cast<JDIMENSION>(image.width);
    c.info.image_height = static_cast<JDIMENSION>(image.height);
    c.info.input_components = 3;
    c.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, options.quality, TRUE);
    if (options.fullChroma) {
        for (int i = 0; i < c.info.num_components; ++i) {
            c.info.comp_info[i].h_samp_factor = 1;
            c.info.comp_info[i].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.at(0, static_cast<int>(c.info.next_scanline)));
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

}  // namespace

Bytes encodeJpeg(const RgbImage& image, const JpegOptions& options) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        throw std::invalid_argument("jpeg: image size and pixel count disagree");
    if (options.quality < 1 || options.quality > 100) throw std::invalid_argument("jpeg: quality outside 1..100");
    Compressor c;
    if (!compress(c, image, options)) throw std::runtime_error(std::string("jpeg: ") + c.err.message);
    return Bytes(c.buffer, c.buffer + c.size);
}

}  // namespace zor::write
