#include "writers/lwob_writer.h"

#include <limits>
#include <stdexcept>

#include "object/object.h"
#include "writers/byte_writer.h"

namespace zor::write {
namespace {

using Order = ByteWriter::Order;

// Chunks have a 32-bit size, sub-chunks a 16-bit one. Both start with a
// size placeholder that is patched once the data is written.
struct Sized {
    std::size_t sizeAt;
    int width;
};

Sized begin(ByteWriter& out, const char* id, int width) {
    out.tag(id);
    Sized s{out.size(), width};
    if (width == 4) out.u32(0);
    else out.u16(0);
    return s;
}

void end(ByteWriter& out, Sized s) {
    std::size_t size = out.size() - s.sizeAt - static_cast<std::size_t>(s.width);
    std::size_t limit = s.width == 4 ? static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
                                     : static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max());
    if (size > limit) throw std::invalid_argument("LWOB chunk of " + std::to_string(size) + " bytes is too large");
    if (s.width == 4) out.patch32(s.sizeAt, static_cast<std::uint32_t>(size));
    else out.patch16(s.sizeAt, static_cast<std::uint16_t>(size));
}

Sized beginChunk(ByteWriter& out, const char* id) { return begin(out, id, 4); }
Sized beginSub(ByteWriter& out, const char* id) { return begin(out, id, 2); }

void subString(ByteWriter& out, const char* id, const std::string& text) {
    Sized at = beginSub(out, id);
    out.evenString(text);
    end(out, at);
}

void subVector(ByteWriter& out, const char* id, const std::array<float, 3>& v) {
    Sized at = beginSub(out, id);
    for (float f : v) out.f32(f);
    end(out, at);
}

void subFloat(ByteWriter& out, const char* id, float v) {
    Sized at = beginSub(out, id);
    out.f32(v);
    end(out, at);
}

void subU16(ByteWriter& out, const char* id, std::uint16_t v) {
    Sized at = beginSub(out, id);
    out.u16(v);
    end(out, at);
}

void writeSurface(ByteWriter& out, const LwSurface& s) {
    Sized at = beginChunk(out, "SURF");
    out.evenString(s.name);
    {
        Sized c = beginSub(out, "COLR");
        for (std::uint8_t b : s.color) out.u8(b);
        out.u8(0);
        end(out, c);
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
    end(out, at);
}

void check(const LwObject& object) {
    const std::string most = std::to_string(kMaxObjectCount);
    if (object.points.size() > kMaxObjectCount) throw std::invalid_argument("LWOB: more than " + most + " points");
    if (object.polygons.size() > kMaxObjectCount) throw std::invalid_argument("LWOB: more than " + most + " polygons");
    if (object.surfaces.empty() && !object.polygons.empty())
        throw std::invalid_argument("LWOB: polygons without surfaces");
    for (const LwPolygon& p : object.polygons) {
        if (p.points.empty() || p.points.size() > kMaxPolygonVertices)
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
    Sized form = beginChunk(out, "FORM");
    out.tag("LWOB");

    Sized at = beginChunk(out, "PNTS");
    for (const auto& p : object.points)
        for (float f : p) out.f32(f);
    end(out, at);

    at = beginChunk(out, "SRFS");
    for (const LwSurface& s : object.surfaces) out.evenString(s.name);
    end(out, at);

    at = beginChunk(out, "POLS");
    for (const LwPolygon& p : object.polygons) {
        out.u16(static_cast<std::uint16_t>(p.points.size()));
        for (std::uint16_t i : p.points) out.u16(i);
        out.u16(p.surface);
    }
    end(out, at);

    for (const LwSurface& s : object.surfaces) writeSurface(out, s);
    end(out, form);
    return out.take();
}

}  // namespace zor::write
