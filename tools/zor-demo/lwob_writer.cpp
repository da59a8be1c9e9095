#include "lwob_writer.h"

#include <limits>
#include <stdexcept>

#include "byte_writer.h"

namespace zor::demo {
namespace {

using Order = ByteWriter::Order;

// Starts a chunk with a 32-bit size placeholder; returns where the size goes.
std::size_t beginChunk(ByteWriter& out, const char* id) {
    out.tag(id);
    std::size_t at = out.size();
    out.u32(0);
    return at;
}

void endChunk(ByteWriter& out, std::size_t sizeAt) {
    std::size_t size = out.size() - sizeAt - 4;
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::invalid_argument("LWOB chunk larger than 2 GB");
    out.patch32(sizeAt, static_cast<std::uint32_t>(size));
}

// Sub-chunks have a 16-bit size.
std::size_t beginSub(ByteWriter& out, const char* id) {
    out.tag(id);
    std::size_t at = out.size();
    out.u16(0);
    return at;
}

void endSub(ByteWriter& out, std::size_t sizeAt) {
    std::size_t size = out.size() - sizeAt - 2;
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        throw std::invalid_argument("LWOB sub-chunk larger than 32767 bytes");
    out.patch16(sizeAt, static_cast<std::uint16_t>(size));
}

void subString(ByteWriter& out, const char* id, const std::string& text) {
    std::size_t at = beginSub(out, id);
    out.evenString(text);
    endSub(out, at);
}

void subVector(ByteWriter& out, const char* id, const std::array<float, 3>& v) {
    std::size_t at = beginSub(out, id);
    for (float f : v) out.f32(f);
    endSub(out, at);
}

void subFloat(ByteWriter& out, const char* id, float v) {
    std::size_t at = beginSub(out, id);
    out.f32(v);
    endSub(out, at);
}

void subU16(ByteWriter& out, const char* id, std::uint16_t v) {
    std::size_t at = beginSub(out, id);
    out.u16(v);
    endSub(out, at);
}

void writeSurface(ByteWriter& out, const LwSurface& s) {
    std::size_t at = beginChunk(out, "SURF");
    out.evenString(s.name);
    {
        std::size_t c = beginSub(out, "COLR");
        for (std::uint8_t b : s.color) out.u8(b);
        out.u8(0);
        endSub(out, c);
    }
    // FLAG replaces the drawing bits, so it precedes CTEX and RIMG.
    subU16(out, "FLAG", s.flags);
    if (s.transparency) subFloat(out, "VTRN", *s.transparency);
    if (s.texture) {
        const LwTextureMap& t = *s.texture;
        subString(out, "CTEX", t.mapping);
        subString(out, "TIMG", t.image);
        subU16(out, "TFLG", t.axisFlags);
        subVector(out, "TSIZ", t.size);
        subVector(out, "TCTR", t.center);
        subFloat(out, "TFP0", t.wrapWidth);
        subFloat(out, "TFP1", t.wrapHeight);
    }
    if (!s.reflectionImage.empty()) subString(out, "RIMG", s.reflectionImage);
    endChunk(out, at);
}

void check(const LwObject& object) {
    if (object.points.size() > 65535) throw std::invalid_argument("LWOB: more than 65535 points");
    if (object.polygons.size() > 65535) throw std::invalid_argument("LWOB: more than 65535 polygons");
    if (object.surfaces.empty() && !object.polygons.empty())
        throw std::invalid_argument("LWOB: polygons without surfaces");
    for (const LwPolygon& p : object.polygons) {
        if (p.points.empty() || p.points.size() > 255)
            throw std::invalid_argument("LWOB: polygon with " + std::to_string(p.points.size()) + " vertices");
        for (std::uint16_t i : p.points)
            if (i >= object.points.size())
                throw std::invalid_argument("LWOB: point index " + std::to_string(i) + " out of range");
        if (p.surface < 1 || p.surface > object.surfaces.size())
            throw std::invalid_argument("LWOB: surface number " + std::to_string(p.surface) + " out of range");
    }
}

}  // namespace

Bytes writeLwob(const LwObject& object) {
    check(object);
    ByteWriter out(Order::Big);
    std::size_t form = beginChunk(out, "FORM");
    out.tag("LWOB");

    std::size_t at = beginChunk(out, "PNTS");
    for (const auto& p : object.points)
        for (float f : p) out.f32(f);
    endChunk(out, at);

    at = beginChunk(out, "SRFS");
    for (const LwSurface& s : object.surfaces) out.evenString(s.name);
    endChunk(out, at);

    at = beginChunk(out, "POLS");
    for (const LwPolygon& p : object.polygons) {
        out.u16(static_cast<std::uint16_t>(p.points.size()));
        for (std::uint16_t i : p.points) out.u16(i);
        out.u16(p.surface);
    }
    endChunk(out, at);

    for (const LwSurface& s : object.surfaces) writeSurface(out, s);
    endChunk(out, form);
    return out.take();
}

}  // namespace zor::demo
