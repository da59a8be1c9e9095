// Wavefront OBJ and its MTL materials through tinyobjloader. Every object or
// group of the file becomes one root node with one mesh; faces keep their
// vertex count (the converter splits what the player cannot hold), with one
// primitive per material. OBJ has no scene: no hierarchy, camera, light or
// animation. Texture rows in OBJ run bottom-up (v = 0 is the image's last
// row); they are turned to glTF's top-down sense here.

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <stb_image.h>
#include <tiny_obj_loader.h>

#include "import/readers.h"
#include "system/disk_files.h"
#include "system/text.h"

namespace zor::import {
namespace {

namespace fs = std::filesystem;

// The MTL files an OBJ names, read from the OBJ's folder through the system's
// files: tinyobjloader's own reader opens them by their narrow name (another
// file on Windows when the name is not ASCII) and splits its folder at ':'.
class MaterialFiles : public tinyobj::MaterialReader {
public:
    explicit MaterialFiles(fs::path folder) : folder_(std::move(folder)) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* byName, std::string* warn, std::string* err) override {
        std::optional<Bytes> bytes = readWholeFile(folder_ / pathFromUtf8(name).relative_path());
        if (!bytes) {
            // What tinyobjloader says, so the caller reads it the same way.
            if (warn) *warn += "Material file [ " + name + " ] not found in " + utf8Of(folder_) + "\n";
            return false;
        }
        std::istringstream text(std::string(bytes->begin(), bytes->end()));
        tinyobj::LoadMtl(byName, materials, &text, warn, err);
        return true;
    }

private:
    fs::path folder_;
};

// MTL colours are display values; the source records hold linear ones.
float displayToLinear(float v) {
    v = std::clamp(v, 0.0f, 1.0f);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

}  // namespace

bool decodeImage(const std::uint8_t* bytes, std::size_t size, SourceImage& image, std::string& why) {
    if (bytes == nullptr || size == 0 || size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        why = "empty or oversized image data";
        return false;
    }
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(bytes, static_cast<int>(size), &w, &h, &channels)) {
        why = "not an image the importer can read (PNG, JPEG, BMP, TGA, GIF)";
        return false;
    }
    if (w <= 0 || h <= 0 || static_cast<long long>(w) * h > kMaxSourceImagePixels) {
        why = "image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large";
        return false;
    }
    stbi_uc* pixels = stbi_load_from_memory(bytes, static_cast<int>(size), &w, &h, &channels, 4);
    if (pixels == nullptr) {
        why = std::string("cannot decode the image: ") + (stbi_failure_reason() ? stbi_failure_reason() : "unknown");
        return false;
    }
    image.width = w;
    image.height = h;
    image.rgba.assign(pixels, pixels + static_cast<std::size_t>(w) * h * 4);
    stbi_image_free(pixels);
    image.hasAlpha = false;
    for (std::size_t p = 3; p < image.rgba.size(); p += 4)
        if (image.rgba[p] != 255) {
            image.hasAlpha = true;
            break;
        }
    return true;
}

SourceModel readObj(const fs::path& path) {
    ReadFailure failure;
    const std::optional<Bytes> bytes = readWholeFile(path, &failure);
    if (!bytes)
        throw ImportError(utf8Of(path) + (failure.missing() ? ": no such file" : ": cannot be read: " + failure.reason));
    std::istringstream text(std::string(bytes->begin(), bytes->end()));
    MaterialFiles materialFiles(path.parent_path());
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warning, err;
    // Faces keep their vertex count; a vertex without a colour is white.
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warning, &err, &text, &materialFiles, false, true)) {
        while (!err.empty() && err.back() == '\n') err.pop_back();
        throw ImportError(utf8Of(path) + ": not a readable OBJ file" + (err.empty() ? "" : ": " + err));
    }
    SourceModel model;
    model.fileName = utf8Of(path);
    if (warning.find("Material file") != std::string::npos || warning.find("material") != std::string::npos)
        model.noteNotCarried("materials whose MTL file cannot be read");

    for (float c : attrib.colors)
        if (c != 1.0f) {
            model.noteNotCarried("vertex colours");
            break;
        }
    const std::size_t vertexCount = attrib.vertices.size() / 3;
    const std::size_t normalCount = attrib.normals.size() / 3;
    const std::size_t uvCount = attrib.texcoords.size() / 2;

    std::map<std::string, int> imageByPath;
    for (const tinyobj::material_t& mm : materials) {
        SourceMaterial m;
        m.name = mm.name;
        for (int c = 0; c < 3; ++c) m.baseColor[c] = displayToLinear(static_cast<float>(mm.diffuse[c]));
        m.baseColor[3] = std::clamp(static_cast<float>(mm.dissolve), 0.0f, 1.0f);
        if (m.baseColor[3] < 1.0f) m.alpha = AlphaMode::Blend;
        for (int c = 0; c < 3; ++c) m.emissive[c] = displayToLinear(static_cast<float>(mm.emission[c]));
        if (!mm.diffuse_texname.empty()) {
            std::string name = mm.diffuse_texname;
            for (char& ch : name)
                if (ch == '\\') ch = '/';
            const fs::path imagePath = path.parent_path() / pathFromUtf8(name);
            auto known = imageByPath.find(utf8Of(imagePath));
            if (known != imageByPath.end()) {
                m.baseColorImage = known->second;
            } else {
                SourceImage image;
                image.name = utf8Of(imagePath.stem());
                const std::optional<Bytes> imageBytes = readWholeFile(imagePath);
                std::string why;
                if (!imageBytes || imageBytes->empty() ||
                    !decodeImage(imageBytes->data(), imageBytes->size(), image, why)) {
                    model.noteNotCarried("images that cannot be read (" + utf8Of(imagePath.filename()) + ")");
                } else {
                    m.baseColorImage = static_cast<int>(model.images.size());
                    imageByPath[utf8Of(imagePath)] = m.baseColorImage;
                    model.images.push_back(std::move(image));
                }
            }
        }
        if (!mm.bump_texname.empty() || !mm.normal_texname.empty()) model.noteNotCarried("normal and bump maps");
        if (!mm.specular_texname.empty() || !mm.alpha_texname.empty()) model.noteNotCarried("specular and alpha maps");
        model.materials.push_back(std::move(m));
    }

    for (const tinyobj::shape_t& shape : shapes) {
        const tinyobj::mesh_t& sm = shape.mesh;
        SourceMesh mesh;
        mesh.name = shape.name;
        std::map<int, SourcePrimitive> byMaterial;
        std::set<int> lacksNormals, lacksUvs;
        std::size_t at = 0;
        for (std::size_t f = 0; f < sm.num_face_vertices.size(); ++f) {
            const std::size_t n = sm.num_face_vertices[f];
            if (at + n > sm.indices.size()) throw ImportError(utf8Of(path) + ": face " + std::to_string(f) + " is cut short");
            int material = f < sm.material_ids.size() ? sm.material_ids[f] : -1;
            if (material < -1 || material >= static_cast<int>(model.materials.size())) material = -1;
            SourcePrimitive& p = byMaterial[material];
            p.material = material;
            p.mode = PrimitiveMode::Polygons;
            bool normals = true, uvs = true;
            for (std::size_t k = 0; k < n; ++k) {
                const tinyobj::index_t& i = sm.indices[at + k];
                if (i.vertex_index < 0 || static_cast<std::size_t>(i.vertex_index) >= vertexCount)
                    throw ImportError(utf8Of(path) + ": face " + std::to_string(f) + " names vertex " +
                                      std::to_string(i.vertex_index + 1) + " of " + std::to_string(vertexCount));
                normals = normals && i.normal_index >= 0 && static_cast<std::size_t>(i.normal_index) < normalCount;
                uvs = uvs && i.texcoord_index >= 0 && static_cast<std::size_t>(i.texcoord_index) < uvCount;
            }
            // Normals and uvs are kept for a primitive only when every face has them.
            for (std::size_t k = 0; k < n; ++k) {
                const tinyobj::index_t& i = sm.indices[at + k];
                p.indices.push_back(static_cast<std::uint32_t>(p.positions.size()));
                const std::size_t v = static_cast<std::size_t>(i.vertex_index) * 3;
                p.positions.push_back({attrib.vertices[v], attrib.vertices[v + 1], attrib.vertices[v + 2]});
                Vec3 normal{0, 0, 0};
                Vec2 uv{0, 0};
                if (normals) {
                    const std::size_t q = static_cast<std::size_t>(i.normal_index) * 3;
                    normal = {attrib.normals[q], attrib.normals[q + 1], attrib.normals[q + 2]};
                }
                if (uvs) {
                    const std::size_t q = static_cast<std::size_t>(i.texcoord_index) * 2;
                    uv = {attrib.texcoords[q], 1.0f - attrib.texcoords[q + 1]};
                }
                p.normals.push_back(normal);
                p.uvs.push_back(uv);
            }
            if (!normals) lacksNormals.insert(material);
            if (!uvs) lacksUvs.insert(material);
            p.polygonSizes.push_back(static_cast<std::uint32_t>(n));
            at += n;
        }
        if (!shape.lines.indices.empty() || !shape.points.indices.empty()) model.noteNotCarried("OBJ lines and points");
        for (auto& [material, primitive] : byMaterial) {
            if (lacksNormals.count(material)) primitive.normals.clear();
            if (lacksUvs.count(material)) primitive.uvs.clear();
            mesh.primitives.push_back(std::move(primitive));
        }
        if (mesh.primitives.empty()) continue;
        SourceNode node;
        node.name = shape.name;
        node.mesh = static_cast<int>(model.meshes.size());
        model.meshes.push_back(std::move(mesh));
        model.nodes.push_back(std::move(node));
    }
    if (model.nodes.empty()) throw ImportError(utf8Of(path) + ": holds no faces");
    return model;
}

}  // namespace zor::import
