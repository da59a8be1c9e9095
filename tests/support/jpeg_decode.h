#pragma once
// Test helper: decodes a JPEG in memory with libjpeg, independently of the
// code under test.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include <jpeglib.h>

namespace zor::demo::test {

struct Decoded {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> pixels;  // top row first
    const std::uint8_t* at(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * components]; }
};

namespace detail {
struct Err {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};
inline void onError(j_common_ptr info) { std::longjmp(reinterpret_cast<Err*>(info->err)->jump, 1); }
inline void quiet(j_common_ptr) {}

inline bool decodeInto(jpeg_decompress_struct& info, Err& err, const std::vector<std::uint8_t>& bytes, Decoded& out) {
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.output_message = quiet;
    if (setjmp(err.jump)) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.components = info.output_components;
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height * out.components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &out.pixels[static_cast<std::size_t>(info.output_scanline) * out.width * out.components];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}
}  // namespace detail

inline std::optional<Decoded> decodeJpeg(const std::vector<std::uint8_t>& bytes) {
    jpeg_decompress_struct info{};
    detail::Err err{};
    Decoded out;
    bool ok = detail::decodeInto(info, err, bytes, out);
    jpeg_destroy_decompress(&info);
    if (!ok) return std::nullopt;
    return out;
}

}  // namespace zor::demo::test
