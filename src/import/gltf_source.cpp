// glTF 2.0 through tinygltf: the default scene's node tree, meshes (every
// primitive mode, morph target positions, skin joints and weights),
// materials with their base colour images, cameras, KHR_lights_punctual
// lights, skins and the node animations (translation, rotation, scale and
// morph weights) with their sampler interpolation as the file states it.
// Accessor data is read here, not by the library, so every offset, stride
// and count (sparse accessors' too) is checked against its buffer.

#include <cmath>
#include <cstring>
#include <limits>

#include <tiny_gltf.h>

#include "import/readers.h"
#include "system/disk_files.h"
#include "system/files.h"
#include "system/text.h"

namespace zor::import {
namespace {

namespace fs = std::filesystem;

// tinygltf's image hook: decode with stb_image into RGBA, never larger than
// the importer accepts.
bool loadImageHook(tinygltf::Image* image, const int index, std::string* err, std::string*, int, int,
                   const unsigned char* bytes, int size, void*) {
    SourceImage decoded;
    std::string why;
    if (size < 0 || !decodeImage(bytes, static_cast<std::size_t>(size), decoded, why)) {
        if (err) *err += "image " + std::to_string(index) + ": " + why + "\n";
        return false;
    }
    image->width = decoded.width;
    image->height = decoded.height;
    image->component = 4;
    image->bits = 8;
    image->pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
    image->image = std::move(decoded.rgba);
    return true;
}

// tinygltf's file calls, through the system's files: names are UTF-8 (its
// own calls would take them in the C runtime's code page on Windows), and a
// FIFO or a device is never opened.
bool fileExists(const std::string& name, void*) {
    system_files::FileStatus status;
    return system_files::statusOf(pathFromUtf8(name), status) && status.kind == system_files::FileKind::Regular;
}

std::string expandFilePath(const std::string& name, void*) { return name; }

bool readFile(std::vector<unsigned char>* out, std::string* err, const std::string& name, void*) {
    ReadFailure failure;
    std::optional<Bytes> bytes = readWholeFile(pathFromUtf8(name), &failure);
    if (!bytes) {
        if (err) *err += name + ": " + failure.reason + "\n";
        return false;
    }
    *out = std::move(*bytes);
    return true;
}

bool refuseToWrite(std::string* err, const std::string& name, const std::vector<unsigned char>&, void*) {
    if (err) *err += name + ": the importer writes no files of its sources\n";
    return false;
}

class Reader {
public:
    Reader(const tinygltf::Model& gltf, SourceModel& out) : g_(gltf), out_(out) {}

    void read() {
        readImages();
        readMaterials();
        readMeshes();
        readCameras();
        readLights();
        readNodes();
        readSkins();
        readAnimations();
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ImportError(out_.fileName + ": " + what); }

    // The elements of an accessor as floats, `components` per element.
    // Normalized integer data is scaled to 0..1 (or -1..1) as glTF defines.
    std::vector<float> floats(int accessorIndex, int components, const char* what) const {
        if (accessorIndex < 0 || accessorIndex >= static_cast<int>(g_.accessors.size()))
            fail(std::string(what) + ": accessor " + std::to_string(accessorIndex) + " does not exist");
        const tinygltf::Accessor& a = g_.accessors[accessorIndex];
        const int have = tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(a.type));
        if (have != components)
            fail(std::string(what) + ": accessor " + std::to_string(accessorIndex) + " has " + std::to_string(have) +
                 " components per element, " + std::to_string(components) + " expected");
        std::vector<float> result(a.count * static_cast<std::size_t>(components), 0.0f);
        if (a.bufferView >= 0) {  // without a view all zero, as glTF defines
            const std::uint8_t* base = elementBase(a, components, what);
            const std::size_t stride = strideOf(a, components);
            for (std::size_t i = 0; i < a.count; ++i)
                for (int c = 0; c < components; ++c)
                    result[i * components + c] = component(base + i * stride, a, c);
        }
        if (a.sparse.isSparse) applySparse(a, accessorIndex, components, what, result);
        return result;
    }

    // Bytes [offset, offset + length) of a buffer view, checked.
    const std::uint8_t* viewBytes(int viewIndex, std::size_t offset, std::size_t length, const std::string& what) const {
        if (viewIndex < 0 || viewIndex >= static_cast<int>(g_.bufferViews.size()))
            fail(what + ": buffer view " + std::to_string(viewIndex) + " does not exist");
        const tinygltf::BufferView& view = g_.bufferViews[viewIndex];
        if (view.buffer < 0 || view.buffer >= static_cast<int>(g_.buffers.size()))
            fail(what + ": buffer " + std::to_string(view.buffer) + " does not exist");
        const std::vector<unsigned char>& data = g_.buffers[view.buffer].data;
        if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset ||
            offset > view.byteLength || length > view.byteLength - offset)
            fail(what + ": data runs past the end of buffer view " + std::to_string(viewIndex));
        return data.data() + view.byteOffset + offset;
    }

    // A sparse accessor's substitutions: `count` element indexes (rising,
    // each below the accessor's count) and their tightly packed values.
    void applySparse(const tinygltf::Accessor& a, int accessorIndex, int components, const char* what,
                     std::vector<float>& result) const {
        const std::string where = std::string(what) + ": sparse accessor " + std::to_string(accessorIndex);
        const std::size_t count = static_cast<std::size_t>(std::max(a.sparse.count, 0));
        if (count == 0) return;
        if (count > a.count) fail(where + " replaces more elements than it has");
        const int indexSize = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.sparse.indices.componentType));
        if (indexSize != 1 && indexSize != 2 && indexSize != 4) fail(where + ": indices of an unknown type");
        const int valueSize = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.componentType));
        if (valueSize <= 0) fail(where + ": values of an unknown type");
        const std::size_t element = static_cast<std::size_t>(valueSize) * components;
        const std::uint8_t* indices = viewBytes(a.sparse.indices.bufferView,
                                                static_cast<std::size_t>(std::max(a.sparse.indices.byteOffset, 0)),
                                                count * indexSize, where + " indices");
        const std::uint8_t* values = viewBytes(a.sparse.values.bufferView,
                                               static_cast<std::size_t>(std::max(a.sparse.values.byteOffset, 0)),
                                               count * element, where + " values");
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t at = 0;
            if (indexSize == 1) at = indices[i];
            else if (indexSize == 2) {
                std::uint16_t v;
                std::memcpy(&v, indices + 2 * i, 2);
                at = v;
            } else std::memcpy(&at, indices + 4 * i, 4);
            if (at >= a.count) fail(where + ": element " + std::to_string(at) + " is past its " + std::to_string(a.count));
            for (int c = 0; c < components; ++c)
                result[at * components + c] = component(values + i * element, a, c);
        }
    }

    std::vector<std::uint32_t> indices(int accessorIndex) const {
        if (accessorIndex < 0 || accessorIndex >= static_cast<int>(g_.accessors.size()))
            fail("indices: accessor " + std::to_string(accessorIndex) + " does not exist");
        const tinygltf::Accessor& a = g_.accessors[accessorIndex];
        if (a.type != TINYGLTF_TYPE_SCALAR) fail("indices: accessor " + std::to_string(accessorIndex) + " is not scalar");
        if (a.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            a.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
            a.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
            fail("indices: accessor " + std::to_string(accessorIndex) + " is not of an unsigned integer type");
        std::vector<std::uint32_t> result(a.count, 0);
        if (a.bufferView < 0) return result;
        const std::uint8_t* base = elementBase(a, 1, "indices");
        const std::size_t stride = strideOf(a, 1);
        for (std::size_t i = 0; i < a.count; ++i) {
            const std::uint8_t* p = base + i * stride;
            switch (a.componentType) {
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: result[i] = p[0]; break;
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
                std::uint16_t v;
                std::memcpy(&v, p, 2);
                result[i] = v;
                break;
            }
            default: std::memcpy(&result[i], p, 4); break;
            }
        }
        return result;
    }

    std::size_t strideOf(const tinygltf::Accessor& a, int components) const {
        const tinygltf::BufferView& view = g_.bufferViews[a.bufferView];
        const int size = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.componentType));
        return view.byteStride != 0 ? view.byteStride : static_cast<std::size_t>(size) * components;
    }

    // Start of the accessor's first element after checking that every element
    // lies inside its buffer view and the view inside its buffer.
    const std::uint8_t* elementBase(const tinygltf::Accessor& a, int components, const char* what) const {
        if (a.bufferView >= static_cast<int>(g_.bufferViews.size()))
            fail(std::string(what) + ": buffer view " + std::to_string(a.bufferView) + " does not exist");
        const tinygltf::BufferView& view = g_.bufferViews[a.bufferView];
        if (view.buffer < 0 || view.buffer >= static_cast<int>(g_.buffers.size()))
            fail(std::string(what) + ": buffer " + std::to_string(view.buffer) + " does not exist");
        const std::vector<unsigned char>& data = g_.buffers[view.buffer].data;
        const int size = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.componentType));
        if (size <= 0) fail(std::string(what) + ": unknown component type " + std::to_string(a.componentType));
        if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset)
            fail(std::string(what) + ": buffer view " + std::to_string(a.bufferView) + " lies outside its buffer");
        const std::size_t element = static_cast<std::size_t>(size) * components;
        const std::size_t stride = view.byteStride != 0 ? view.byteStride : element;
        if (stride < element) fail(std::string(what) + ": stride smaller than an element");
        if (a.count > 0) {
            if (a.byteOffset > view.byteLength) fail(std::string(what) + ": accessor starts outside its buffer view");
            const std::size_t room = view.byteLength - a.byteOffset;
            if (room < element || (a.count - 1) > (room - element) / stride)
                fail(std::string(what) + ": accessor of " + std::to_string(a.count) +
                     " elements runs past the end of its buffer view");
        }
        return data.data() + view.byteOffset + a.byteOffset;
    }

    static float component(const std::uint8_t* element, const tinygltf::Accessor& a, int c) {
        switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float v;
            std::memcpy(&v, element + 4 * c, 4);
            return std::isfinite(v) ? v : 0.0f;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: {
            const float v = element[c];
            return a.normalized ? v / 255.0f : v;
        }
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
            const float v = static_cast<std::int8_t>(element[c]);
            return a.normalized ? std::max(v / 127.0f, -1.0f) : v;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            std::uint16_t v;
            std::memcpy(&v, element + 2 * c, 2);
            return a.normalized ? v / 65535.0f : static_cast<float>(v);
        }
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
            std::int16_t v;
            std::memcpy(&v, element + 2 * c, 2);
            return a.normalized ? std::max(v / 32767.0f, -1.0f) : static_cast<float>(v);
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
            std::uint32_t v;
            std::memcpy(&v, element + 4 * c, 4);
            return static_cast<float>(v);
        }
        default: return 0.0f;
        }
    }

    void readImages() {
        for (std::size_t i = 0; i < g_.images.size(); ++i) {
            const tinygltf::Image& gi = g_.images[i];
            SourceImage image;
            image.name = !gi.name.empty() ? gi.name : !gi.uri.empty() && gi.uri.rfind("data:", 0) != 0
                                                          ? utf8Of(pathFromUtf8(gi.uri).stem())
                                                          : "image" + std::to_string(i);
            const std::size_t pixels = static_cast<std::size_t>(std::max(gi.width, 0)) * std::max(gi.height, 0);
            if (gi.component == 4 && gi.bits == 8 && pixels > 0 && gi.image.size() == pixels * 4) {
                image.width = gi.width;
                image.height = gi.height;
                image.rgba = gi.image;
                for (std::size_t p = 3; p < image.rgba.size(); p += 4)
                    if (image.rgba[p] != 255) {
                        image.hasAlpha = true;
                        break;
                    }
            }
            out_.images.push_back(std::move(image));
        }
    }

    int imageOfTexture(int texture) const {
        if (texture < 0 || texture >= static_cast<int>(g_.textures.size())) return -1;
        const int source = g_.textures[texture].source;
        if (source < 0 || source >= static_cast<int>(out_.images.size()) || out_.images[source].rgba.empty()) return -1;
        return source;
    }

    void readMaterials() {
        for (const tinygltf::Material& gm : g_.materials) {
            SourceMaterial m;
            m.name = gm.name;
            const auto& pbr = gm.pbrMetallicRoughness;
            if (pbr.baseColorFactor.size() == 4)
                for (int c = 0; c < 4; ++c) m.baseColor[c] = static_cast<float>(pbr.baseColorFactor[c]);
            if (pbr.baseColorTexture.index >= 0) {
                m.baseColorImage = imageOfTexture(pbr.baseColorTexture.index);
                if (m.baseColorImage < 0) out_.noteNotCarried("base colour images that cannot be read");
                if (pbr.baseColorTexture.texCoord != 0) out_.noteNotCarried("second texture coordinate sets");
                if (pbr.baseColorTexture.extensions.count("KHR_texture_transform"))
                    out_.noteNotCarried("texture transforms (KHR_texture_transform)");
            }
            if (gm.emissiveFactor.size() == 3)
                for (int c = 0; c < 3; ++c) m.emissive[c] = static_cast<float>(gm.emissiveFactor[c]);
            if (gm.emissiveTexture.index >= 0) out_.noteNotCarried("emission images");
            m.alpha = gm.alphaMode == "BLEND" ? AlphaMode::Blend : gm.alphaMode == "MASK" ? AlphaMode::Mask
                                                                                          : AlphaMode::Opaque;
            m.doubleSided = gm.doubleSided;
            m.unlit = gm.extensions.count("KHR_materials_unlit") != 0;
            // The player's surfaces are plain and rough: what a dielectric
            // of roughness 1 is, and nothing else.
            if (pbr.metallicRoughnessTexture.index >= 0 || pbr.metallicFactor > 0 || pbr.roughnessFactor < 1)
                out_.noteNotCarried("metallic and roughness");
            if (gm.normalTexture.index >= 0) out_.noteNotCarried("normal maps");
            if (gm.occlusionTexture.index >= 0) out_.noteNotCarried("occlusion maps");
            for (const auto& [name, value] : gm.extensions)
                if (name != "KHR_materials_unlit" && name != "KHR_materials_emissive_strength")
                    out_.noteNotCarried("material extension " + name);
            out_.materials.push_back(std::move(m));
        }
    }

    void readMeshes() {
        for (const tinygltf::Mesh& gm : g_.meshes) {
            SourceMesh mesh;
            mesh.name = gm.name;
            for (const tinygltf::Primitive& gp : gm.primitives) {
                auto position = gp.attributes.find("POSITION");
                if (position == gp.attributes.end()) {
                    out_.noteNotCarried("primitives without positions");
                    continue;
                }
                SourcePrimitive p;
                p.material = gp.material;
                const std::vector<float> pos = floats(position->second, 3, "POSITION");
                p.positions.resize(pos.size() / 3);
                std::memcpy(p.positions.data(), pos.data(), pos.size() * sizeof(float));
                if (auto n = gp.attributes.find("NORMAL"); n != gp.attributes.end()) {
                    const std::vector<float> nor = floats(n->second, 3, "NORMAL");
                    if (nor.size() == pos.size()) {
                        p.normals.resize(p.positions.size());
                        std::memcpy(p.normals.data(), nor.data(), nor.size() * sizeof(float));
                    }
                }
                if (auto t = gp.attributes.find("TEXCOORD_0"); t != gp.attributes.end()) {
                    const std::vector<float> uv = floats(t->second, 2, "TEXCOORD_0");
                    if (uv.size() / 2 == p.positions.size()) {
                        p.uvs.resize(p.positions.size());
                        std::memcpy(p.uvs.data(), uv.data(), uv.size() * sizeof(float));
                    }
                }
                if (gp.attributes.count("COLOR_0")) out_.noteNotCarried("vertex colours");
                readSkinWeights(gp, p);
                for (const auto& target : gp.targets) {
                    std::vector<Vec3>& offsets = p.targets.emplace_back();
                    if (auto t = target.find("POSITION"); t != target.end()) {
                        const std::vector<float> d = floats(t->second, 3, "morph target POSITION");
                        if (d.size() == pos.size()) {
                            offsets.resize(p.positions.size());
                            std::memcpy(offsets.data(), d.data(), d.size() * sizeof(float));
                        }
                    }
                }
                std::vector<std::uint32_t> index;
                if (gp.indices >= 0) {
                    index = indices(gp.indices);
                } else {
                    index.resize(p.positions.size());
                    for (std::size_t i = 0; i < index.size(); ++i) index[i] = static_cast<std::uint32_t>(i);
                }
                for (std::uint32_t i : index)
                    if (i >= p.positions.size())
                        fail("mesh \"" + gm.name + "\": index " + std::to_string(i) + " is past its " +
                             std::to_string(p.positions.size()) + " vertices");
                assemble(gp.mode, index, p);
                mesh.primitives.push_back(std::move(p));
            }
            for (double w : gm.weights) mesh.weights.push_back(std::isfinite(w) ? static_cast<float>(w) : 0.0f);
            if (gm.extras.IsObject() && gm.extras.Has("targetNames") && gm.extras.Get("targetNames").IsArray()) {
                const tinygltf::Value& names = gm.extras.Get("targetNames");
                for (std::size_t i = 0; i < names.ArrayLen(); ++i)
                    mesh.targetNames.push_back(names.Get(static_cast<int>(i)).IsString()
                                                   ? names.Get(static_cast<int>(i)).Get<std::string>()
                                                   : std::string());
            }
            out_.meshes.push_back(std::move(mesh));
        }
    }

    // JOINTS_n and WEIGHTS_n sets, as many as come in pairs of the right size.
    void readSkinWeights(const tinygltf::Primitive& gp, SourcePrimitive& p) const {
        const std::size_t vertices = p.positions.size();
        std::vector<std::vector<float>> joints, weights;
        for (int set = 0;; ++set) {
            auto j = gp.attributes.find("JOINTS_" + std::to_string(set));
            auto w = gp.attributes.find("WEIGHTS_" + std::to_string(set));
            if (j == gp.attributes.end() || w == gp.attributes.end()) break;
            std::vector<float> js = floats(j->second, 4, "JOINTS"), ws = floats(w->second, 4, "WEIGHTS");
            if (js.size() != vertices * 4 || ws.size() != vertices * 4) break;
            joints.push_back(std::move(js));
            weights.push_back(std::move(ws));
        }
        if (joints.empty()) return;
        p.influences = static_cast<int>(joints.size()) * 4;
        p.joints.resize(vertices * p.influences);
        p.weights.resize(vertices * p.influences);
        for (std::size_t v = 0; v < vertices; ++v)
            for (std::size_t set = 0; set < joints.size(); ++set)
                for (int k = 0; k < 4; ++k) {
                    const std::size_t at = v * p.influences + set * 4 + k;
                    const float joint = joints[set][v * 4 + k], weight = weights[set][v * 4 + k];
                    p.joints[at] = joint >= 0 && joint < 65536 ? static_cast<std::uint32_t>(joint) : 0;
                    p.weights[at] = std::isfinite(weight) ? weight : 0.0f;
                }
    }

    // Strips, fans and loops become plain lists.
    void assemble(int mode, const std::vector<std::uint32_t>& index, SourcePrimitive& p) {
        const std::size_t n = index.size();
        switch (mode) {
        case TINYGLTF_MODE_POINTS:
            p.mode = PrimitiveMode::Points;
            p.indices = index;
            break;
        case TINYGLTF_MODE_LINE:
            p.mode = PrimitiveMode::Lines;
            p.indices.assign(index.begin(), index.begin() + (n / 2) * 2);
            break;
        case TINYGLTF_MODE_LINE_LOOP:
        case TINYGLTF_MODE_LINE_STRIP:
            p.mode = PrimitiveMode::Lines;
            for (std::size_t i = 0; i + 1 < n; ++i) p.indices.insert(p.indices.end(), {index[i], index[i + 1]});
            if (mode == TINYGLTF_MODE_LINE_LOOP && n > 2) p.indices.insert(p.indices.end(), {index[n - 1], index[0]});
            break;
        case TINYGLTF_MODE_TRIANGLE_STRIP:
            p.mode = PrimitiveMode::Triangles;
            for (std::size_t i = 0; i + 2 < n; ++i) {
                if (i % 2 == 0) p.indices.insert(p.indices.end(), {index[i], index[i + 1], index[i + 2]});
                else p.indices.insert(p.indices.end(), {index[i + 1], index[i], index[i + 2]});
            }
            break;
        case TINYGLTF_MODE_TRIANGLE_FAN:
            p.mode = PrimitiveMode::Triangles;
            for (std::size_t i = 1; i + 1 < n; ++i) p.indices.insert(p.indices.end(), {index[0], index[i], index[i + 1]});
            break;
        default:
            p.mode = PrimitiveMode::Triangles;
            p.indices.assign(index.begin(), index.begin() + (n / 3) * 3);
            break;
        }
    }

    void readCameras() {
        for (const tinygltf::Camera& gc : g_.cameras) {
            SourceCamera c;
            c.name = gc.name;
            c.perspective = gc.type != "orthographic";
            if (c.perspective) {
                if (gc.perspective.yfov > 0 && gc.perspective.yfov < 3.14) c.yfov = static_cast<float>(gc.perspective.yfov);
                c.aspectRatio = static_cast<float>(std::max(gc.perspective.aspectRatio, 0.0));
            }
            out_.cameras.push_back(std::move(c));
        }
    }

    void readLights() {
        for (const tinygltf::Light& gl : g_.lights) {
            SourceLight l;
            l.name = gl.name;
            l.kind = gl.type == "point" ? LightKind::Point : gl.type == "spot" ? LightKind::Spot : LightKind::Directional;
            if (gl.color.size() == 3)
                for (int c = 0; c < 3; ++c) l.color[c] = static_cast<float>(gl.color[c]);
            l.intensity = std::isfinite(gl.intensity) ? static_cast<float>(gl.intensity) : 1.0f;
            l.innerCone = static_cast<float>(gl.spot.innerConeAngle);
            l.outerCone = static_cast<float>(gl.spot.outerConeAngle);
            if (gl.range > 0) out_.noteNotCarried("light ranges");
            out_.lights.push_back(std::move(l));
        }
    }

    static Transform decompose(const std::vector<double>& m) {
        // Column-major 4x4: columns 0..2 are the scaled axes, column 3 the
        // translation.
        Transform t;
        t.translation = {static_cast<float>(m[12]), static_cast<float>(m[13]), static_cast<float>(m[14])};
        double axis[3][3];
        double scale[3];
        for (int c = 0; c < 3; ++c) {
            scale[c] = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
            for (int r = 0; r < 3; ++r) axis[c][r] = scale[c] > 1e-12 ? m[4 * c + r] / scale[c] : (r == c ? 1 : 0);
        }
        const double det = axis[0][0] * (axis[1][1] * axis[2][2] - axis[1][2] * axis[2][1]) -
                           axis[1][0] * (axis[0][1] * axis[2][2] - axis[0][2] * axis[2][1]) +
                           axis[2][0] * (axis[0][1] * axis[1][2] - axis[0][2] * axis[1][1]);
        if (det < 0) {
            scale[0] = -scale[0];
            for (int r = 0; r < 3; ++r) axis[0][r] = -axis[0][r];
        }
        t.scale = {static_cast<float>(scale[0]), static_cast<float>(scale[1]), static_cast<float>(scale[2])};
        // Rotation matrix R[r][c] = axis[c][r] to a quaternion.
        const double r00 = axis[0][0], r11 = axis[1][1], r22 = axis[2][2];
        const double r01 = axis[1][0], r10 = axis[0][1], r02 = axis[2][0], r20 = axis[0][2], r12 = axis[2][1],
                     r21 = axis[1][2];
        double x, y, z, w;
        const double trace = r00 + r11 + r22;
        if (trace > 0) {
            const double s = std::sqrt(trace + 1.0) * 2;
            w = 0.25 * s, x = (r21 - r12) / s, y = (r02 - r20) / s, z = (r10 - r01) / s;
        } else if (r00 > r11 && r00 > r22) {
            const double s = std::sqrt(1.0 + r00 - r11 - r22) * 2;
            w = (r21 - r12) / s, x = 0.25 * s, y = (r01 + r10) / s, z = (r02 + r20) / s;
        } else if (r11 > r22) {
            const double s = std::sqrt(1.0 + r11 - r00 - r22) * 2;
            w = (r02 - r20) / s, x = (r01 + r10) / s, y = 0.25 * s, z = (r12 + r21) / s;
        } else {
            const double s = std::sqrt(1.0 + r22 - r00 - r11) * 2;
            w = (r10 - r01) / s, x = (r02 + r20) / s, y = (r12 + r21) / s, z = 0.25 * s;
        }
        t.rotation = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(w)};
        return t;
    }

    void readNodes() {
        // Nodes of the default scene (all root nodes when there is none),
        // in depth-first order; a node met twice (a cycle or a shared
        // child) is taken once.
        std::vector<int> roots;
        const int sceneIndex = g_.defaultScene >= 0 ? g_.defaultScene : 0;
        if (sceneIndex < static_cast<int>(g_.scenes.size())) {
            roots = g_.scenes[sceneIndex].nodes;
        } else {
            std::vector<bool> isChild(g_.nodes.size(), false);
            for (const tinygltf::Node& n : g_.nodes)
                for (int c : n.children)
                    if (c >= 0 && c < static_cast<int>(isChild.size())) isChild[c] = true;
            for (std::size_t i = 0; i < g_.nodes.size(); ++i)
                if (!isChild[i]) roots.push_back(static_cast<int>(i));
        }
        nodeMap_.assign(g_.nodes.size(), -1);
        for (int root : roots) addNode(root, -1, 0);
    }

    void addNode(int index, int parent, int depth) {
        if (index < 0 || index >= static_cast<int>(g_.nodes.size()) || nodeMap_[index] >= 0) return;
        if (depth > 1000) fail("node hierarchy deeper than 1000 levels");
        const tinygltf::Node& gn = g_.nodes[index];
        SourceNode n;
        n.name = gn.name;
        n.parent = parent;
        n.mesh = gn.mesh >= 0 && gn.mesh < static_cast<int>(out_.meshes.size()) ? gn.mesh : -1;
        n.camera = gn.camera >= 0 && gn.camera < static_cast<int>(out_.cameras.size()) ? gn.camera : -1;
        if (auto ext = gn.extensions.find("KHR_lights_punctual"); ext != gn.extensions.end() && ext->second.IsObject()) {
            const tinygltf::Value& light = ext->second.Get("light");
            if (light.IsNumber()) {
                const int l = light.GetNumberAsInt();
                if (l >= 0 && l < static_cast<int>(out_.lights.size())) n.light = l;
            }
        }
        if (gn.matrix.size() == 16) {
            n.rest = decompose(gn.matrix);
        } else {
            if (gn.translation.size() == 3)
                for (int c = 0; c < 3; ++c) n.rest.translation[c] = static_cast<float>(gn.translation[c]);
            if (gn.rotation.size() == 4)
                for (int c = 0; c < 4; ++c) n.rest.rotation[c] = static_cast<float>(gn.rotation[c]);
            if (gn.scale.size() == 3)
                for (int c = 0; c < 3; ++c) n.rest.scale[c] = static_cast<float>(gn.scale[c]);
        }
        if (gn.skin >= 0 && gn.skin < static_cast<int>(g_.skins.size()) && n.mesh >= 0) n.skin = gn.skin;
        for (double w : gn.weights) n.weights.push_back(std::isfinite(w) ? static_cast<float>(w) : 0.0f);
        const int self = static_cast<int>(out_.nodes.size());
        nodeMap_[index] = self;
        out_.nodes.push_back(std::move(n));
        for (int child : gn.children) addNode(child, self, depth + 1);
    }

    // Skins in the file's order (nodes name them by index); joints as nodes
    // of the tree, inverse bind matrices checked for their count.
    void readSkins() {
        for (std::size_t i = 0; i < g_.skins.size(); ++i) {
            const tinygltf::Skin& gs = g_.skins[i];
            SourceSkin skin;
            skin.name = gs.name;
            for (int j : gs.joints)
                skin.joints.push_back(j >= 0 && j < static_cast<int>(nodeMap_.size()) ? nodeMap_[j] : -1);
            std::array<float, 16> identity{};
            for (int d = 0; d < 4; ++d) identity[d * 5] = 1;
            skin.inverseBind.assign(skin.joints.size(), identity);
            if (gs.inverseBindMatrices >= 0) {
                const std::vector<float> m = floats(gs.inverseBindMatrices, 16, "inverseBindMatrices");
                if (m.size() < skin.joints.size() * 16)
                    fail("skin " + std::to_string(i) + ": fewer inverse bind matrices than joints");
                for (std::size_t j = 0; j < skin.joints.size(); ++j)
                    std::copy(m.begin() + j * 16, m.begin() + (j + 1) * 16, skin.inverseBind[j].begin());
            }
            out_.skins.push_back(std::move(skin));
        }
    }

    void readAnimations() {
        if (g_.animations.size() > 1) out_.noteNotCarried("animation clips as clips of their own (all play together from frame 0)");
        for (const tinygltf::Animation& ga : g_.animations) {
            for (const tinygltf::AnimationChannel& gc : ga.channels) {
                if (gc.target_node < 0 || gc.target_node >= static_cast<int>(nodeMap_.size()) ||
                    nodeMap_[gc.target_node] < 0)
                    continue;
                if (gc.sampler < 0 || gc.sampler >= static_cast<int>(ga.samplers.size()))
                    fail("animation \"" + ga.name + "\": sampler " + std::to_string(gc.sampler) + " does not exist");
                SourceChannel c;
                c.node = nodeMap_[gc.target_node];
                int width = 3;
                if (gc.target_path == "translation") c.path = AnimatedPath::Translation;
                else if (gc.target_path == "scale") c.path = AnimatedPath::Scale;
                else if (gc.target_path == "rotation") c.path = AnimatedPath::Rotation, width = 4;
                else if (gc.target_path == "weights") {
                    c.path = AnimatedPath::Weights;
                    const int mesh = out_.nodes[c.node].mesh;
                    width = 0;
                    if (mesh >= 0)
                        for (const SourcePrimitive& p : out_.meshes[mesh].primitives)
                            width = std::max(width, static_cast<int>(p.targets.size()));
                    if (width == 0) {
                        out_.noteNotCarried("morph weights animated on nodes without morph targets");
                        continue;
                    }
                    c.width = width;
                } else {
                    out_.noteNotCarried("animation of " + gc.target_path);
                    continue;
                }
                const tinygltf::AnimationSampler& s = ga.samplers[gc.sampler];
                c.interpolation = s.interpolation == "STEP"          ? Interpolation::Step
                                  : s.interpolation == "CUBICSPLINE" ? Interpolation::CubicSpline
                                                                     : Interpolation::Linear;
                c.times = floats(s.input, 1, "animation input");
                // Morph weights are scalars, `width` of them per key.
                c.values = c.path == AnimatedPath::Weights ? floats(s.output, 1, "animation output")
                                                           : floats(s.output, width, "animation output");
                const std::size_t perTime = c.interpolation == Interpolation::CubicSpline ? 3 : 1;
                if (c.values.size() != c.times.size() * perTime * width)
                    fail("animation \"" + ga.name + "\": " + std::to_string(c.times.size()) + " times but " +
                         std::to_string(c.values.size() / width) + " values");
                for (std::size_t i = 1; i < c.times.size(); ++i)
                    if (!(c.times[i] > c.times[i - 1]))
                        fail("animation \"" + ga.name + "\": key times do not rise");
                out_.channels.push_back(std::move(c));
            }
        }
    }

    const tinygltf::Model& g_;
    SourceModel& out_;
    std::vector<int> nodeMap_;  // glTF node -> index in out_.nodes, -1 when not taken
};

}  // namespace

SourceModel readGltf(const fs::path& path) {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(loadImageHook, nullptr);
    loader.SetFsCallbacks({fileExists, expandFilePath, readFile, refuseToWrite, nullptr});
    tinygltf::Model gltf;
    std::string err, warn;
    std::string ext = utf8Of(path.extension());
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string name = utf8Of(path);
    if (!fileExists(name, nullptr)) throw ImportError(name + ": no such file");
    if (isGltfVersionOne(path)) throw ImportError(name + ": glTF 1.0 is not read; save it as glTF 2.0");
    const bool ok = ext == ".glb" ? loader.LoadBinaryFromFile(&gltf, &err, &warn, name)
                                  : loader.LoadASCIIFromFile(&gltf, &err, &warn, name);
    if (!ok) {
        while (!err.empty() && (err.back() == '\n' || err.back() == ' ')) err.pop_back();
        // The library fails on compressed meshes without naming the cause.
        // The extensions are named in the JSON at the start of the file.
        const std::optional<Bytes> bytes = readWholeFile(path);
        const std::string_view head = bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()),
                                                               std::min<std::size_t>(bytes->size(), 1 << 22))
                                            : std::string_view();
        for (const char* extension : {"KHR_draco_mesh_compression", "EXT_meshopt_compression"})
            if (head.find(extension) != std::string_view::npos)
                throw ImportError(name + ": needs the extension " + extension +
                                  ", which the importer cannot read (export without mesh compression)");
        throw ImportError(name + ": not a readable glTF 2.0 file" + (err.empty() ? "" : ": " + err));
    }
    SourceModel model;
    model.fileName = name;
    for (const std::string& required : gltf.extensionsRequired)
        if (required != "KHR_materials_unlit" && required != "KHR_lights_punctual" &&
            required != "KHR_texture_transform")
            throw ImportError(name + ": needs the extension " + required + ", which the importer cannot read");
    Reader(gltf, model).read();
    return model;
}

SourceModel readSource(const fs::path& path) {
    std::string ext = utf8Of(path.extension());
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".gltf" || ext == ".glb") return readGltf(path);
    if (ext == ".obj") return readObj(path);
    throw ImportError(utf8Of(path) + ": unknown kind of file (expected .gltf, .glb or .obj)");
}

}  // namespace zor::import
