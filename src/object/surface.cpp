// Sub-chunk walking is done twice for every "SURF" chunk: once to check the
// whole chunk, once to apply it, so a malformed chunk never leaves a surface
// half changed. Two things are passed over rather than refused, because the
// format's own walk handles them without reading anything that is not there:
// an unknown sub-chunk whose size runs past the end of the "SURF" chunk (the
// walk ends there; what came before it stands) and a "COLR" of fewer than its
// three bytes (that one sub-chunk is ignored).

#include "object/surface.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "object/byte_order.h"

namespace zor {
namespace {

using detail::readF32BE;
using detail::readI16BE;
using detail::readU16BE;
using detail::terminatedLength;

constexpr std::size_t kSubChunkHeaderSize = 6;

bool idIs(const std::uint8_t* id, const char (&name)[5]) {
    return std::memcmp(id, name, 4) == 0;
}

std::string idText(const std::uint8_t* id) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(id[i]);
        text += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return text;
}

// Bytes of data each known sub-chunk needs; texts are checked separately.
std::size_t neededSize(const std::uint8_t* id) {
    if (idIs(id, "COLR")) return 3;
    if (idIs(id, "FLAG") || idIs(id, "TFLG")) return 2;
    if (idIs(id, "TSIZ") || idIs(id, "TCTR")) return 12;
    if (idIs(id, "TFP0") || idIs(id, "TFP1") || idIs(id, "VTRN")) return 4;
    return 0;
}

bool isTextSubChunk(const std::uint8_t* id) {
    return idIs(id, "CTEX") || idIs(id, "RIMG") || idIs(id, "TIMG");
}

bool isKnownSubChunk(const std::uint8_t* id) { return neededSize(id) > 0 || isTextSubChunk(id); }

// A "COLR" too short for its three bytes is passed over, not applied.
bool isShortColour(const std::uint8_t* id, std::span<const std::uint8_t> payload) {
    return idIs(id, "COLR") && payload.size() < neededSize(id);
}

// Calls visit(id, payload) for each sub-chunk; false (error set) when a header
// or the payload of a known sub-chunk does not fit, or when visit refuses
// one. An unknown sub-chunk running past the end ends the walk; `skipped`
// (when given) then says so.
template <typename Visit>
bool walkSubChunks(std::span<const std::uint8_t> bytes, std::string& error, std::vector<std::string>* skipped,
                   Visit visit) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < kSubChunkHeaderSize) {
            error = "sub-chunk header cut off at the end of a SURF chunk";
            return false;
        }
        const std::uint8_t* id = bytes.data() + offset;
        const int size = readI16BE(id + 4);
        if (size < 0) {
            error = "sub-chunk " + idText(id) + " has a negative size (" + std::to_string(size) + ")";
            return false;
        }
        const std::size_t payloadStart = offset + kSubChunkHeaderSize;
        if (static_cast<std::size_t>(size) > bytes.size() - payloadStart) {
            const std::string what = "sub-chunk " + idText(id) + " of " + std::to_string(size) +
                                     " bytes runs past the end of its SURF chunk";
            if (isKnownSubChunk(id)) {
                error = what;
                return false;
            }
            if (skipped) skipped->push_back(what + " (it and the rest of that chunk)");
            return true;
        }
        if (!visit(id, bytes.subspan(payloadStart, static_cast<std::size_t>(size)))) return false;
        offset = payloadStart + static_cast<std::size_t>(size);
    }
    return true;
}

bool checkSubChunk(const std::uint8_t* id, std::span<const std::uint8_t> payload, std::string& error,
                   std::vector<std::string>* skipped) {
    if (isShortColour(id, payload)) {
        if (skipped)
            skipped->push_back("sub-chunk COLR of " + std::to_string(payload.size()) + " bytes, fewer than the " +
                               std::to_string(neededSize(id)) + " it needs");
        return true;
    }
    if (payload.size() < neededSize(id)) {
        error = "sub-chunk " + idText(id) + " holds " + std::to_string(payload.size()) +
                " bytes, fewer than the " + std::to_string(neededSize(id)) + " it needs";
        return false;
    }
    if (isTextSubChunk(id)) {
        const auto length = terminatedLength(payload);
        if (!length) {
            error = "sub-chunk " + idText(id) + " text has no terminating zero";
            return false;
        }
        if (idIs(id, "CTEX") && *length > kMaxMappingNameLength) {
            error = "CTEX mapping name of " + std::to_string(*length) + " characters is longer than " +
                    std::to_string(kMaxMappingNameLength);
            return false;
        }
    }
    return true;
}

std::uint16_t requestTexture(const TextureLoader& loadTexture, std::string_view path) {
    if (!loadTexture) return 0xFFFF;
    // -1 (no image) lands on 65535, which names no texture.
    return static_cast<std::uint16_t>(loadTexture(pathFileName(path)));
}

std::string_view payloadText(std::span<const std::uint8_t> payload) {
    return {reinterpret_cast<const char*>(payload.data()), *terminatedLength(payload)};
}

void applySubChunk(Surface& s, ImageKind& lastImage, const std::uint8_t* id,
                   std::span<const std::uint8_t> payload, const TextureLoader& loadTexture) {
    const std::uint8_t* p = payload.data();
    if (isShortColour(id, payload)) return;
    if (idIs(id, "COLR")) {
        for (int i = 0; i < 3; ++i) s.color[i] = static_cast<float>(p[i]);
        s.transparency = 0;
    } else if (idIs(id, "FLAG")) {
        const std::uint16_t bits = readU16BE(p);
        std::uint16_t type = (bits & 0x4) ? 4 : 1;
        if (bits & 0x2) type |= 32;
        if (bits & 0x100) type |= 8;
        s.type = type;
    } else if (idIs(id, "CTEX")) {
        s.type |= 2;
        s.mapping = std::string(payloadText(payload));
        s.center[0] = s.center[1] = s.center[2] = 0;
        lastImage = ImageKind::Color;
    } else if (idIs(id, "RIMG")) {
        s.type |= 64;
        s.reflectionTextureIndex = requestTexture(loadTexture, payloadText(payload));
        lastImage = ImageKind::Reflection;
    } else if (idIs(id, "TIMG")) {
        if (lastImage == ImageKind::Color) s.textureIndex = requestTexture(loadTexture, payloadText(payload));
    } else if (idIs(id, "TFLG")) {
        const std::uint16_t bits = readU16BE(p);
        if (bits & 0x1) s.axis = 0;
        if (bits & 0x2) s.axis = 1;
        if (bits & 0x4) s.axis = 2;
    } else if (idIs(id, "TSIZ")) {
        for (int i = 0; i < 3; ++i) s.size[i] = readF32BE(p + 4 * i);
    } else if (idIs(id, "TCTR")) {
        for (int i = 0; i < 3; ++i) s.center[i] = readF32BE(p + 4 * i);
    } else if (idIs(id, "TFP0")) {
        s.wrapWidth = readF32BE(p);
    } else if (idIs(id, "TFP1")) {
        s.wrapHeight = readF32BE(p);
    } else if (idIs(id, "VTRN")) {
        s.transparency = readF32BE(p);
    }
}

}  // namespace

bool checkSurfaceChunk(std::span<const std::uint8_t> subChunks, std::string& error,
                       std::vector<std::string>* skipped) {
    return walkSubChunks(subChunks, error, skipped,
                         [&](const std::uint8_t* id, std::span<const std::uint8_t> payload) {
                             return checkSubChunk(id, payload, error, skipped);
                         });
}

bool applySurfaceChunk(Surface& surface, ImageKind& lastImage, std::span<const std::uint8_t> subChunks,
                       const TextureLoader& loadTexture, std::string& error) {
    if (!checkSurfaceChunk(subChunks, error)) return false;
    return walkSubChunks(subChunks, error, nullptr, [&](const std::uint8_t* id, std::span<const std::uint8_t> payload) {
        applySubChunk(surface, lastImage, id, payload, loadTexture);
        return true;
    });
}

std::string_view pathFileName(std::string_view path) {
    const auto slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

TextureCoordinates mapTexture(const Surface& s, float x, float y, float z) {
    // The two reciprocals of 3.14 differ in their last digits on purpose: the
    // spherical one is taken from 3.14 in single precision.
    constexpr double k = 1.0 / 3.14;
    constexpr double kSingle = 1.0 / static_cast<double>(3.14f);

    double u = 0;
    double v = 0;
    const double dx = static_cast<double>(x) - s.center[0];
    const double dy = static_cast<double>(y) - s.center[1];
    const double dz = static_cast<double>(z) - s.center[2];

    if (s.mapping == "Planar Image Map") {
        const double sx = dx / s.size[0], sy = dy / s.size[1], sz = dz / s.size[2];
        switch (s.axis) {
            case 0: u = sz + 0.5; v = sy + 0.5; break;
            case 1: u = sx + 0.5; v = sz + 0.5; break;
            default: u = sx + 0.5; v = sy + 0.5; break;
        }
    } else if (s.mapping == "Cylindrical Image Map") {
        const double sx = dx / s.size[0], sy = dy / s.size[1], sz = dz / s.size[2];
        double p, q, h;
        switch (s.axis) {
            case 0: p = sy; q = -sz; h = sx; break;
            case 1: p = -sz; q = sx; h = sy; break;
            default: p = sy; q = sx; h = sz; break;
        }
        u = 1.0 - (std::atan2(p, q) * 0.5 * s.wrapWidth * k + 0.25);
        v = h + 0.5;
    } else if (s.mapping == "Spherical Image Map") {
        double p, q, e;
        switch (s.axis) {
            case 0: p = -dy; q = dz; e = -dx; break;
            case 1: p = dz; q = dx; e = dy; break;
            default: p = dx; q = dy; e = dz; break;
        }
        const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
        u = std::atan2(p, q) * (s.wrapWidth * 0.5) * kSingle - s.wrapWidth * 0.25;
        // A point at the centre has no direction: put it on the equator.
        const double latitude = length > 0 ? std::asin(std::clamp(e / length, -1.0, 1.0)) : 0.0;
        v = latitude * s.wrapHeight * 0.25 + s.wrapHeight * 0.5;
    }
    return {static_cast<float>(u), static_cast<float>(v)};
}

}  // namespace zor
