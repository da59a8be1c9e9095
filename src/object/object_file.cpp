// LightWave object files. The whole file is in memory; the reader walks its
// chunks once to check every size, count and index, and only then changes
// anything: the surface table (in file order of "SRFS" and "SURF" chunks, so
// textures are requested as the file names them), the points and the
// polygons. Chunks follow each other without padding.
//
// What the format's own walk passes over without reading anything that is
// not there is passed over here too, and the rest of the object loads: an
// unknown chunk whose size runs past the end of the file (the walk ends
// there), a "SURF" chunk for a name no surface has, and the sub-chunks of
// checkSurfaceChunk. One warning lists what was passed over.

#include <algorithm>
#include <cstring>
#include <new>

#include "object/byte_order.h"
#include "object/object.h"

namespace zor {
namespace {

using detail::paddedTextSize;
using detail::readF32BE;
using detail::readI16BE;
using detail::readI32BE;
using detail::readU16BE;
using detail::terminatedLength;

constexpr std::size_t kFileHeaderSize = 12;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kPointSize = 12;

struct Chunk {
    const std::uint8_t* id = nullptr;
    std::size_t offset = 0;  // of the chunk header in the file
    std::span<const std::uint8_t> data;

    bool is(const char (&name)[5]) const { return std::memcmp(id, name, 4) == 0; }
    std::string where() const {
        return std::string(reinterpret_cast<const char*>(id), 4) + " chunk at offset " + std::to_string(offset);
    }
};

// A name from the file as a message may show it: printable bytes only, and
// not without end.
std::string shownName(std::string_view name) {
    constexpr std::size_t kShown = 64;
    std::string out;
    for (char c : name.substr(0, kShown)) out += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (name.size() > kShown) out += "...";
    return out;
}

bool isReadChunk(const Chunk& chunk) {
    return chunk.is("PNTS") || chunk.is("POLS") || chunk.is("SRFS") || chunk.is("SURF");
}

bool collectChunks(std::span<const std::uint8_t> file, std::vector<Chunk>& chunks, std::string& error,
                   std::vector<std::string>& skipped) {
    std::size_t offset = kFileHeaderSize;
    // Fewer bytes than a chunk header at the end carry nothing and are left.
    while (file.size() - offset >= kChunkHeaderSize) {
        Chunk chunk;
        chunk.id = file.data() + offset;
        chunk.offset = offset;
        const std::int32_t size = readI32BE(chunk.id + 4);
        const std::size_t dataStart = offset + kChunkHeaderSize;
        if (size < 0) {
            error = chunk.where() + " has a negative size (" + std::to_string(size) + ")";
            return false;
        }
        if (static_cast<std::size_t>(size) > file.size() - dataStart) {
            const std::string what = chunk.where() + " claims " + std::to_string(size) + " bytes but only " +
                                     std::to_string(file.size() - dataStart) + " follow";
            if (isReadChunk(chunk)) {
                error = what;
                return false;
            }
            skipped.push_back(what + " (it ends the file)");
            return true;
        }
        chunk.data = file.subspan(dataStart, static_cast<std::size_t>(size));
        chunks.push_back(chunk);
        offset = dataStart + static_cast<std::size_t>(size);
    }
    return true;
}

// Calls visit(index, name) for each even-padded name of an "SRFS" chunk.
template <typename Visit>
bool walkSurfaceNames(const Chunk& chunk, std::string& error, Visit visit) {
    std::size_t offset = 0;
    std::size_t index = 0;
    while (offset < chunk.data.size()) {
        const auto length = terminatedLength(chunk.data.subspan(offset));
        if (!length) {
            error = chunk.where() + ": surface name " + std::to_string(index + 1) + " has no terminating zero";
            return false;
        }
        if (*length > kMaxSurfaceNameLength) {
            error = chunk.where() + ": surface name " + std::to_string(index + 1) + " has " +
                    std::to_string(*length) + " characters, more than " + std::to_string(kMaxSurfaceNameLength);
            return false;
        }
        if (index >= static_cast<std::size_t>(kSurfaceTableSize)) {
            error = chunk.where() + ": more than " + std::to_string(kSurfaceTableSize) + " surfaces";
            return false;
        }
        visit(index, std::string_view(reinterpret_cast<const char*>(chunk.data.data() + offset), *length));
        ++index;
        // The pad byte may lie past the chunk's end; it is never read.
        offset += std::min(paddedTextSize(*length), chunk.data.size() - offset);
    }
    return true;
}

// Splits a "SURF" chunk into its surface name and its sub-chunks.
bool splitSurfaceChunk(const Chunk& chunk, std::string_view& name, std::span<const std::uint8_t>& subChunks,
                       std::string& error) {
    const auto length = terminatedLength(chunk.data);
    if (!length) {
        error = chunk.where() + ": surface name has no terminating zero";
        return false;
    }
    // A longer name than the table holds matches no surface; the caller
    // passes it over.
    name = std::string_view(reinterpret_cast<const char*>(chunk.data.data()), *length);
    subChunks = chunk.data.subspan(std::min(paddedTextSize(*length), chunk.data.size()));
    return true;
}

struct PolygonRecord {
    std::size_t index = 0;
    std::size_t vertexCount = 0;
    const std::uint8_t* indices = nullptr;  // vertexCount big-endian u16
    int surfaceNumber = 0;
};

// Calls visit(record) for each polygon of a "POLS" chunk; checks that every
// record lies inside the chunk and has 1..255 vertices.
template <typename Visit>
bool walkPolygons(const Chunk& chunk, std::string& error, Visit visit) {
    const std::span<const std::uint8_t> data = chunk.data;
    std::size_t offset = 0;
    PolygonRecord record;
    while (offset < data.size()) {
        const auto which = [&] { return "polygon " + std::to_string(record.index + 1); };
        if (data.size() - offset < 2) {
            error = chunk.where() + ": " + which() + " is cut off before its vertex count";
            return false;
        }
        record.vertexCount = readU16BE(data.data() + offset);
        if (record.vertexCount == 0 || record.vertexCount > kMaxPolygonVertices) {
            error = chunk.where() + ": " + which() + " has " + std::to_string(record.vertexCount) +
                    " vertices (1 to 255 are allowed)";
            return false;
        }
        const std::size_t rest = 2 * record.vertexCount + 2;
        if (rest > data.size() - offset - 2) {
            error = chunk.where() + ": " + which() + " of " + std::to_string(record.vertexCount) +
                    " vertices runs past the end of the chunk";
            return false;
        }
        if (record.index >= kMaxObjectCount) {
            error = chunk.where() + ": more than " + std::to_string(kMaxObjectCount) + " polygons";
            return false;
        }
        record.indices = data.data() + offset + 2;
        record.surfaceNumber = readI16BE(record.indices + 2 * record.vertexCount);
        if (!visit(record)) return false;
        offset += 2 + rest;
        ++record.index;
    }
    return true;
}

// Colour bytes are stored at half intensity. "COLR" only gives 0..255; the
// clamp keeps a table entry set by other means from overflowing.
std::uint8_t halfColor(float c) {
    if (!(c > 0.0f)) return 0;
    if (c >= 255.0f) return 127;
    return static_cast<std::uint8_t>(static_cast<int>(c) >> 1);
}

}  // namespace

ObjectLoader::ObjectLoader(DataSource source, TextureLoader loadTexture, Diagnostics* diagnostics)
    : source_(std::move(source)), loadTexture_(std::move(loadTexture)), diagnostics_(diagnostics) {}

bool ObjectLoader::refuse(std::string_view fileName, Mesh& mesh, std::string message) {
    mesh = Mesh{};
    lastRefusal_ = std::string(fileName) + ": " + message;
    if (diagnostics_) diagnostics_->warning(fileName, 0, "object refused: " + message);
    return false;
}

void ObjectLoader::loadObject(std::string& name, Mesh& mesh) {
    mesh = Mesh{};
    FindResult result = FindResult::Loaded;
    if (std::optional<Bytes> bytes = readDataFile(source_, name, diagnostics_)) {
        if (!parseObject(name, *bytes, mesh)) {
            result = FindResult::Refused;
        } else if (bytes->size() <= kFileHeaderSize) {
            // A file of its header or less loads empty, as the player loads
            // it; it was found, so it counts as refused, not as missing.
            refuse(name, mesh,
                   "the file holds " + std::to_string(bytes->size()) + " bytes, no chunk after the object's 12-byte header");
            result = FindResult::Refused;
        }
    } else {
        const std::string objectName = name;
        result = readBinaryMesh(name, mesh);
        if (result == FindResult::Missing && diagnostics_) {
            diagnostics_->warning(objectName, 0,
                                  "object file not found on disk or in the archive, nor its binary mesh " + name);
        }
    }
    switch (result) {
    case FindResult::Loaded: ++loads_.loaded; break;
    case FindResult::Missing: ++loads_.missing; break;
    case FindResult::Refused:
        if (loads_.refused++ == 0) loads_.firstRefusal = lastRefusal_;
        break;
    }
}

std::string describeNoObject(const ObjectLoads& loads, const std::filesystem::path& directory) {
    if (loads.refused == 0) return "not one of its objects was found; " + nothingFoundHint(directory);
    std::string text = "not one of its objects could be used: " + std::to_string(loads.refused) +
                       (loads.refused == 1 ? " was refused (" : " were refused (the first: ") + loads.firstRefusal + ")";
    if (loads.missing > 0)
        text += ", " + std::to_string(loads.missing) + (loads.missing == 1 ? " was" : " were") + " not found; " +
                nothingFoundHint(directory);
    return text;
}

bool ObjectLoader::parseObject(std::string_view fileName, std::span<const std::uint8_t> data, Mesh& mesh) {
    mesh = Mesh{};
    lastImage_ = ImageKind::None;
    if (data.size() <= kFileHeaderSize) return true;

    std::string error;
    std::vector<std::string> skipped;
    std::vector<Chunk> chunks;
    if (!collectChunks(data, chunks, error, skipped)) return refuse(fileName, mesh, error);

    // Check everything before the first change. The surface names are
    // followed in file order as the table will hold them, so that a "SURF"
    // chunk is checked exactly when it will be applied.
    const Chunk* pointChunk = nullptr;
    const Chunk* polygonChunk = nullptr;
    std::size_t surfaceCount = 0;
    std::array<std::string_view, kSurfaceTableSize> tableNames;
    for (std::size_t i = 0; i < tableNames.size(); ++i) tableNames[i] = surfaces_[i].name;
    for (const Chunk& chunk : chunks) {
        if (chunk.is("PNTS")) {
            if (pointChunk) return refuse(fileName, mesh, chunk.where() + ": a second PNTS chunk");
            pointChunk = &chunk;
            if (chunk.data.size() / kPointSize > kMaxObjectCount) {
                return refuse(fileName, mesh, chunk.where() + ": " + std::to_string(chunk.data.size() / kPointSize) +
                                                  " points, more than " + std::to_string(kMaxObjectCount));
            }
        } else if (chunk.is("POLS")) {
            if (polygonChunk) return refuse(fileName, mesh, chunk.where() + ": a second POLS chunk");
            polygonChunk = &chunk;
        } else if (chunk.is("SRFS")) {
            std::size_t names = 0;
            if (!walkSurfaceNames(chunk, error, [&](std::size_t index, std::string_view name) {
                    tableNames[index] = name;
                    ++names;
                }))
                return refuse(fileName, mesh, error);
            surfaceCount = std::max(surfaceCount, names);
        } else if (chunk.is("SURF")) {
            std::string_view name;
            std::span<const std::uint8_t> subChunks;
            if (!splitSurfaceChunk(chunk, name, subChunks, error)) return refuse(fileName, mesh, error);
            if (std::find(tableNames.begin(), tableNames.end(), name) == tableNames.end()) {
                // Never applied, so never read; only one that would have
                // been refused is worth a word.
                if (name.size() > kMaxSurfaceNameLength || !checkSurfaceChunk(subChunks, error))
                    skipped.push_back(chunk.where() + " for the surface \"" + shownName(name) +
                                      "\", which no surface name matches");
                continue;
            }
            std::vector<std::string> inSurface;
            if (!checkSurfaceChunk(subChunks, error, &inSurface))
                return refuse(fileName, mesh, chunk.where() + ": " + error);
            for (std::string& what : inSurface) skipped.push_back(chunk.where() + ": " + what);
        }
    }
    const std::size_t pointCount = pointChunk ? pointChunk->data.size() / kPointSize : 0;
    std::size_t polygonCount = 0;
    if (polygonChunk) {
        const bool valid = walkPolygons(*polygonChunk, error, [&](const PolygonRecord& polygon) {
            const auto which = [&] { return polygonChunk->where() + ": polygon " + std::to_string(polygon.index + 1); };
            for (std::size_t k = 0; k < polygon.vertexCount; ++k) {
                const std::size_t index = readU16BE(polygon.indices + 2 * k);
                if (index >= pointCount) {
                    error = which() + ": point index " + std::to_string(index) + " is not below the point count " +
                            std::to_string(pointCount);
                    return false;
                }
            }
            if (polygon.surfaceNumber < 0) {
                error = which() + ": detail polygons (negative surface number " +
                        std::to_string(polygon.surfaceNumber) + ") are not supported";
                return false;
            }
            if (polygon.surfaceNumber == 0 || static_cast<std::size_t>(polygon.surfaceNumber) > surfaceCount) {
                error = which() + ": surface number " + std::to_string(polygon.surfaceNumber) + " is outside 1.." +
                        std::to_string(surfaceCount);
                return false;
            }
            ++polygonCount;
            return true;
        });
        if (!valid) return refuse(fileName, mesh, error);
    }

    // Surfaces, in file order.
    for (const Chunk& chunk : chunks) {
        if (chunk.is("SRFS")) {
            walkSurfaceNames(chunk, error,
                             [&](std::size_t index, std::string_view name) { surfaces_[index].name = name; });
        } else if (chunk.is("SURF")) {
            std::string_view name;
            std::span<const std::uint8_t> subChunks;
            splitSurfaceChunk(chunk, name, subChunks, error);
            const auto found = std::find_if(surfaces_.begin(), surfaces_.end(),
                                            [&](const Surface& s) { return s.name == name; });
            if (found != surfaces_.end()) applySurfaceChunk(*found, lastImage_, subChunks, loadTexture_, error);
        }
    }

    allocateMesh(mesh, static_cast<std::uint16_t>(pointCount), static_cast<std::uint16_t>(polygonCount));
    for (std::size_t i = 0; i < pointCount; ++i) {
        const std::uint8_t* p = pointChunk->data.data() + i * kPointSize;
        for (int c = 0; c < 3; ++c) mesh.points[i].position[c] = readF32BE(p + 4 * c);
    }
    if (polygonChunk) {
        walkPolygons(*polygonChunk, error, [&](const PolygonRecord& record) {
            MeshPolygon& polygon = mesh.polygons[record.index];
            const std::size_t n = record.vertexCount;
            const int surfaceIndex = record.surfaceNumber - 1;
            const Surface& surface = surfaces_[static_cast<std::size_t>(surfaceIndex)];
            polygon.vertexCount = static_cast<std::uint8_t>(n);
            polygon.u.assign(n, 0.0f);
            polygon.v.assign(n, 0.0f);
            polygon.pointIndices.resize(n);
            for (std::size_t k = 0; k < n; ++k) polygon.pointIndices[k] = readU16BE(record.indices + 2 * k);
            polygon.flags = static_cast<std::uint8_t>(surface.type & 0xFF);
            if (surface.transparency > 0.5f) polygon.flags |= transparent;
            polygon.textureIndex = surface.textureIndex;
            polygon.reflectionTextureIndex = surface.reflectionTextureIndex;
            polygon.surfaceIndex = static_cast<std::uint8_t>(surfaceIndex);
            polygon.colorRed = halfColor(surface.color[0]);
            polygon.colorGreen = halfColor(surface.color[1]);
            polygon.colorBlue = halfColor(surface.color[2]);
            return true;
        });
    }

    if (!skipped.empty() && diagnostics_) {
        std::string message = "skipped, the rest loaded: ";
        for (std::size_t i = 0; i < skipped.size(); ++i) message += (i ? "; " : "") + skipped[i];
        diagnostics_->warning(fileName, 0, std::move(message));
    }

    computeNormals(mesh);
    for (MeshPolygon& polygon : mesh.polygons) {
        if (!(polygon.flags & textured)) continue;
        const Surface& surface = surfaces_[polygon.surfaceIndex];
        for (std::size_t k = 0; k < polygon.vertexCount; ++k) {
            const float* position = mesh.points[polygon.pointIndices[k]].position;
            const TextureCoordinates uv = mapTexture(surface, position[0], position[1], position[2]);
            polygon.u[k] = uv.u;
            polygon.v[k] = uv.v;
        }
    }
    return true;
}

}  // namespace zor
