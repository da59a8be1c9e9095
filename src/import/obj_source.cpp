// Wavefront OBJ and its MTL materials through tinyobjloader. Every object or
// group of the file becomes one root node with one mesh; faces keep their
// vertex count (the converter splits what the player cannot hold), with one
// primitive per material. OBJ has no scene: no hierarchy, camera, light or
// animation. Texture rows in OBJ run bottom-up (v = 0 is the image's last
// row); they are turned to glTF's top-down sense here.

#include <algorithm>
#include <cmath>
#include <limits>
#include <fstream>
#include <map>
#include <set>

#include <stb_image.h>
#include <tiny_obj_loader.h>

#include "import/readers.h"

namespace zor::import {
namespace {

namespace fs = std::filesystem;

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
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw ImportError(path.string() + ": no such file");
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    config.vertex_color = true;
    config.mtl_search_path = path.parent_path().string();
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path.string(), config)) {
        std::string err = reader.Error();
        while (!err.empty() && err.back() == '\n') err.pop_back();
        throw ImportError(path.string() + ": not a readable OBJ file" + (err.empty() ? "" : ": " + err));
    }
    SourceModel model;
    model.fileName = path.string();
    if (reader.Warning().find("Material file") != std::string::npos ||
        reader.Warning().find("material") != std::string::npos)
        model.noteNotCarried("materials whose MTL file cannot be read");

    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    for (float c : attrib.colors)
        if (c != 1.0f) {
            model.noteNotCarried("vertex colours");
            break;
        }
    const std::size_t vertexCount = attrib.vertices.size() / 3;
    const std::size_t normalCount = attrib.normals.size() / 3;
    const std::size_t uvCount = attrib.texcoords.size() / 2;

    std::map<std::string, int> imageByPath;
    for (const tinyobj::material_t& mm : reader.GetMaterials()) {
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
            const fs::path imagePath = path.parent_path() / name;
            auto known = imageByPath.find(imagePath.string());
            if (known != imageByPath.end()) {
                m.baseColorImage = known->second;
            } else {
                SourceImage image;
                image.name = imagePath.stem().string();
                std::ifstream file(imagePath, std::ios::binary);
                std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
                std::string why;
                if (file.bad() || bytes.empty() || !decodeImage(bytes.data(), bytes.size(), image, why)) {
                    model.noteNotCarried("images that cannot be read (" + imagePath.filename().string() + ")");
                } else {
                    m.baseColorImage = static_cast<int>(model.images.size());
                    imageByPath[imagePath.string()] = m.baseColorImage;
                    model.images.push_back(std::move(image));
                }
            }
        }
        if (!mm.bump_texname.empty() || !mm.normal_texname.empty()) model.noteNotCarried("normal and bump maps");
        if (!mm.specular_texname.empty() || !mm.alpha_texname.empty()) model.noteNotCarried("specular and alpha maps");
        model.materials.push_back(std::move(m));
    }

    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const tinyobj::mesh_t& sm = shape.mesh;
        SourceMesh mesh;
        mesh.name = shape.name;
        std::map<int, SourcePrimitive> byMaterial;
        std::set<int> lacksNormals, lacksUvs;
        std::size_t at = 0;
        for (std::size_t f = 0; f < sm.num_face_vertices.size(); ++f) {
            const std::size_t n = sm.num_face_vertices[f];
            if (at + n > sm.indices.size()) throw ImportError(path.string() + ": face " + std::to_string(f) + " is cut short");
            int material = f < sm.material_ids.size() ? sm.material_ids[f] : -1;
            if (material < -1 || material >= static_cast<int>(model.materials.size())) material = -1;
            SourcePrimitive& p = byMaterial[material];
            p.material = material;
            p.mode = PrimitiveMode::Polygons;
            bool normals = true, uvs = true;
            for (std::size_t k = 0; k < n; ++k) {
                const tinyobj::index_t& i = sm.indices[at + k];
                if (i.vertex_index < 0 || static_cast<std::size_t>(i.vertex_index) >= vertexCount)
                    throw ImportError(path.string() + ": face " + std::to_string(f) + " names vertex " +
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
    if (model.nodes.empty()) throw ImportError(path.string() + ": holds no faces");
    return model;
}

}  // namespace zor::import
