// Real rendering through OpenGL, headless (SDL's offscreen driver on Mesa):
// one small scene per feature, compared with reference pictures kept in
// reference/. A pixel counts as different when a channel is off by more than
// 8 levels; at most 0.5% of the pixels may differ. Each test also checks a few
// pixels whose value follows from the scene by hand.
//
// ZOR_UPDATE_REFERENCES=1 rewrites the reference pictures instead of comparing.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <malloc.h>
#include <thread>

#include "app/device_display.h"
#include "display/png_file.h"
#include "display_test_support.h"
#include "fence_signal_stretch.h"
#include "frame/frame_pass.h"
#include "frame/render_slots.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"
#include "render/gl_loader.h"
#include "scene/scene.h"

namespace zor {
namespace {

using test::encodeJpeg;
using test::ScratchDir;
using test::writeFile;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr double kMaxDifferentShare = 0.005;
constexpr int kLevelTolerance = 8;

struct Rgb {
    int r, g, b;
};

Rgb pixel(const RgbPicture& p, int x, int y) {
    const std::size_t i = (std::size_t(y) * p.width + x) * 3;
    return {p.pixels[i], p.pixels[i + 1], p.pixels[i + 2]};
}

void expectPixel(const RgbPicture& p, int x, int y, Rgb expected, int tolerance = 0) {
    const Rgb got = pixel(p, x, y);
    EXPECT_NEAR(got.r, expected.r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(got.g, expected.g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(got.b, expected.b, tolerance) << "blue at " << x << "," << y;
}

void expectMatchesReference(const RgbPicture& picture, const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(ZOR_TEST_DATA_DIR) / "reference" / (name + ".png");
    std::string error;
    if (const char* update = std::getenv("ZOR_UPDATE_REFERENCES"); update && std::string(update) == "1") {
        ASSERT_TRUE(writePng(path, picture, error)) << error;
        return;
    }
    RgbPicture reference;
    ASSERT_TRUE(readPng(path, reference, error)) << error;
    ASSERT_EQ(reference.width, picture.width);
    ASSERT_EQ(reference.height, picture.height);
    std::size_t different = 0;
    for (std::size_t i = 0; i < reference.pixels.size(); i += 3) {
        for (int k = 0; k < 3; ++k) {
            if (std::abs(int(reference.pixels[i + k]) - int(picture.pixels[i + k])) > kLevelTolerance) {
                ++different;
                break;
            }
        }
    }
    const double share = double(different) / (double(picture.width) * picture.height);
    if (share > kMaxDifferentShare) {
        const auto actual = std::filesystem::temp_directory_path() / ("zor-actual-" + name + ".png");
        writePng(actual, picture, error);
        ADD_FAILURE() << name << ": " << different << " pixels differ; this run's picture is " << actual;
    }
}


// A camera-space point with its light sums.
struct P {
    float x, y, z;
    std::uint32_t r = 255, g = 255, b = 255;
};

struct GlRig {
    const GlDisplayOptions options{false, false};
    GlDisplayLayer layer{std::make_unique<SdlGlHost>(options), options};
    DisplayContext context{layer};
    std::unique_ptr<RenderSlots> slots;
    Scene scene;
    bool up = false;
    std::vector<DisplayAdapter> adapters;
    ScratchDir folder;

    explicit GlRig(const std::string& name, std::uint32_t bits = 16) : folder("gl-" + name) {
        context.source.directory = folder.path();
        context.showMessage = [](std::string_view, std::string_view) {};
        up = initDisplay(context, nullptr, 0x13, [&](const std::vector<DisplayAdapter>& listed, DisplaySelection& s) {
            adapters = listed;
            if (listed.empty()) return false;
            s.selectedGuid = listed[0].guid;
            s.selectedMode = makeDisplayMode(kWidth, kHeight, bits);
            return true;
        });
        slots = initRenderer(2, context);
        if (up) {
            // Both buffers of the flip chain start black, as at start-up.
            for (int i = 0; i < 2; ++i) {
                clearTarget(context);
                slots->endFrame();
            }
        }
    }

    void begin() {
        slots->beginFrame();
        slots->beginScene();
        slots->setTransparentPass(0);
    }
    RgbPicture finish() {
        slots->endScene();
        slots->endFrame();
        RgbPicture p;
        layer.readFrontBuffer(p.pixels, p.width, p.height);
        return p;
    }

    SceneObject& object(const std::vector<P>& points) {
        scene.objects.emplace_back();
        SceneObject& o = scene.objects.back();
        o.pointCount = static_cast<std::uint16_t>(points.size());
        for (const auto& p : points) {
            MeshPoint m;
            m.cameraSpacePosition[0] = p.x;
            m.cameraSpacePosition[1] = p.y;
            m.cameraSpacePosition[2] = p.z;
            m.lightRed = p.r;
            m.lightGreen = p.g;
            m.lightBlue = p.b;
            o.points.push_back(m);
        }
        return o;
    }
    static MeshPolygon& polygon(SceneObject& o, std::uint8_t flags, std::vector<std::uint16_t> indices,
                                std::vector<float> u = {}, std::vector<float> v = {}) {
        MeshPolygon p;
        p.flags = flags;
        p.vertexCount = static_cast<std::uint8_t>(indices.size());
        p.u = u.empty() ? std::vector<float>(indices.size(), 0) : u;
        p.v = v.empty() ? std::vector<float>(indices.size(), 0) : v;
        p.pointIndices = std::move(indices);
        o.polygons.push_back(std::move(p));
        o.polygonCount = static_cast<std::uint16_t>(o.polygons.size());
        return o.polygons.back();
    }
    void drawAll(SceneObject& o) {
        for (auto& p : o.polygons) slots->drawPolygon(o, p, nullptr, scene, 0);
    }
    int texture(const std::string& name, int w, int h, const test::PixelSource& colour) {
        writeFile(folder / name, encodeJpeg(w, h, 3, colour));
        return loadTextureFile(context, name);
    }
};

// Screen position of a camera-space point (the view adds 1 to z).
std::pair<int, int> screenOf(float x, float y, float z) {
    const Matrix m = projectionMatrix(45, 34, 1, 100);
    const float w = z + 1;
    const float nx = x * m[0] / w, ny = y * m[5] / w;
    return {static_cast<int>((nx + 1) * 0.5f * kWidth), static_cast<int>((1 - ny) * 0.5f * kHeight)};
}

TEST(GlRender, DeviceComesUpHeadlessAsASoftwareDevice) {
    GlRig rig("device");
    ASSERT_TRUE(rig.up) << rig.layer.error();
    EXPECT_NE(rig.layer.rendererName(), "");
    if (rig.layer.rendererName().find("llvmpipe") != std::string::npos) {
        EXPECT_FALSE(rig.context.state.hardwareDeviceFound);
        EXPECT_EQ(rig.context.state.deviceGuid, IID_IDirect3DRGBDevice);
    }
    // SDL's displays, the first one without a GUID; every resolution in true
    // colour, again in true colour with 4x multisampling, then in 5-5-5 and
    // last in 5-6-5.
    ASSERT_FALSE(rig.adapters.empty());
    EXPECT_FALSE(rig.adapters[0].guid.has_value());
    const auto& modes = rig.adapters[0].modes;
    ASSERT_GE(modes.size(), 4u);
    ASSERT_EQ(modes.size() % 4, 0u);
    const std::size_t quarter = modes.size() / 4;
    for (std::size_t i = 0; i < quarter; ++i) {
        const SurfaceDesc& sharp = modes[i];
        const SurfaceDesc& smooth = modes[quarter + i];
        const SurfaceDesc& a = modes[2 * quarter + i];
        const SurfaceDesc& b = modes[3 * quarter + i];
        EXPECT_EQ(sharp.pixelFormat.rgbBitCount, 32u);
        EXPECT_EQ(sharp.multiSampleCount, 0u);
        EXPECT_EQ(smooth.pixelFormat.rgbBitCount, 32u);
        EXPECT_EQ(smooth.multiSampleCount, 4u);
        EXPECT_EQ(a.pixelFormat.rgbBitCount, 15u);
        EXPECT_EQ(a.pixelFormat.greenMask, 0x03E0u);
        EXPECT_EQ(b.pixelFormat.rgbBitCount, 16u);
        EXPECT_EQ(b.pixelFormat.greenMask, 0x07E0u);
        for (const SurfaceDesc* m : {&sharp, &smooth, &a}) {
            EXPECT_EQ(m->width, b.width);
            EXPECT_EQ(m->height, b.height);
        }
    }
    // So the set-up window's rule, the last mode with 480 lines, is 640x480 in 5-6-5.
    const auto last480 =
        std::find_if(modes.rbegin(), modes.rend(), [](const SurfaceDesc& m) { return m.height == 480; });
    ASSERT_NE(last480, modes.rend());
    EXPECT_EQ(last480->width, 640u);
    EXPECT_EQ(last480->pixelFormat.rgbBitCount, 16u);
    // Even off-screen (where SDL reports a 0x0 display) there are real sizes
    // to choose, one of them wide enough for the set-up window to accept.
    bool wideEnough = false;
    for (const SurfaceDesc& m : rig.adapters[0].modes) {
        EXPECT_GT(m.width, 0u);
        EXPECT_GT(m.height, 0u);
        wideEnough = wideEnough || m.width >= 512;
    }
    EXPECT_TRUE(wideEnough);
    // The 16-bit plain depth format is preferred over the deeper ones.
    EXPECT_EQ(rig.context.state.zBufferDepth, 16u);
    const RgbPicture black = rig.finish();
    EXPECT_EQ(black.width, kWidth);
    EXPECT_EQ(black.height, kHeight);
    expectPixel(black, 80, 60, {0, 0, 0});
}

// SDL's headless host with a second display beside its own, noting where the
// layer shows its mode (no X server here gives SDL two displays a window can
// go full screen on, so the choice is checked at the host).
class TwoDisplayHost final : public GlHost {
public:
    bool start() override { return real_.start(); }
    std::string driverName() const override { return real_.driverName(); }
    std::vector<HostDisplay> displays() override {
        std::vector<HostDisplay> list = real_.displays();
        // One size only, as a bare X server reports.
        list.push_back({"Second display", {{1024, 768}}});
        return list;
    }
    void adoptWindow(void* window) override { real_.adoptWindow(window); }
    bool createContext(int width, int height) override { return real_.createContext(width, height); }
    void showMode(int display, int width, int height, bool fullScreen) override {
        shownOn = display;
        real_.showMode(0, width, height, fullScreen);
    }
    void drawableSize(int& width, int& height) const override { real_.drawableSize(width, height); }
    bool presents() const override { return real_.presents(); }
    void swap() override { real_.swap(); }
    void makeCurrent() override { real_.makeCurrent(); }
    void shutdown() override { real_.shutdown(); }
    const std::string& error() const override { return real_.error(); }

    int shownOn = -1;

private:
    SdlGlHost real_{GlDisplayOptions{false, false}};
};

TEST(GlRender, TheChosenAdapterIsTheDisplayTheModeGoesTo) {
    for (int chosen : {1, 0}) {
        auto owned = std::make_unique<TwoDisplayHost>();
        TwoDisplayHost& host = *owned;
        GlDisplayLayer layer(std::move(owned), GlDisplayOptions{false, false});
        DisplayContext context{layer};
        context.showMessage = [](std::string_view, std::string_view) {};
        ASSERT_TRUE(initDisplay(context, nullptr, 0x13,
                                [&](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
                                    if (adapters.size() != 2) return false;
                                    // The set-up window's own rule still finds 640x480x16 there.
                                    const std::vector<SetupAdapter> lists = setupAdapters(adapters);
                                    const SetupMode m = lists[1].modes[static_cast<std::size_t>(
                                        defaultModePosition(lists[1]))];
                                    EXPECT_EQ(modeText(m), "640x480x16Bpp");
                                    const DisplayAdapter& a = adapters[static_cast<std::size_t>(chosen)];
                                    selection.selectedGuid = a.guid;
                                    selection.selectedMode = makeDisplayMode(640, 480, 16);
                                    return true;
                                }))
            << context.failure;
        EXPECT_EQ(host.shownOn, chosen);
    }
}

TEST(GlRender, FlatAndSmoothShading) {
    GlRig rig("shading");
    ASSERT_TRUE(rig.up);
    rig.begin();
    // Left: a flat quad whose first vertex is red, the others blue; clockwise on screen.
    auto& flat = rig.object({{-1.6f, 0.8f, 4, 510, 0, 0}, {-0.2f, 0.8f, 4, 0, 0, 510}, {-0.2f, -0.8f, 4, 0, 0, 510},
                             {-1.6f, -0.8f, 4, 0, 0, 510}});
    GlRig::polygon(flat, flatShaded, {0, 1, 2, 3});
    rig.drawAll(flat);
    // Right: a smooth triangle, red, green and blue corners.
    auto& smooth = rig.object({{0.2f, 0.8f, 4, 510, 0, 0}, {1.6f, -0.8f, 4, 0, 510, 0}, {0.2f, -0.8f, 4, 0, 0, 510}});
    GlRig::polygon(smooth, smoothShaded, {0, 1, 2});
    rig.drawAll(smooth);
    const RgbPicture p = rig.finish();
    // (0 + 510) / 2 = 255 red from the first vertex all over the flat quad.
    auto [fx, fy] = screenOf(-0.9f, 0, 4);
    expectPixel(p, fx, fy, {255, 0, 0});
    auto [ex, ey] = screenOf(-0.3f, -0.7f, 4);
    expectPixel(p, ex, ey, {255, 0, 0});
    // The smooth triangle blends: near the green corner mostly green.
    auto [gx, gy] = screenOf(1.3f, -0.65f, 4);
    const Rgb g = pixel(p, gx, gy);
    EXPECT_GT(g.g, 150);
    EXPECT_LT(g.r, 100);
    expectMatchesReference(p, "shading");
}

TEST(GlRender, ChangesOfStateNotPolygonsDecideTheDrawCalls) {
    GlRig rig("batching");
    ASSERT_TRUE(rig.up);
    ASSERT_EQ(rig.texture("env.jpg", 32, 32, [](int, int) { return std::array<std::uint8_t, 4>{255, 255, 255, 0}; }),
              0);
    rig.begin();
    auto& same = rig.object({{-1, 1, 4}, {1, 1, 4}, {1, -1, 4}, {-1, -1, 4}});
    for (int i = 0; i < 20; ++i) GlRig::polygon(same, flatShaded, {0, 1, 2, 3});
    const std::size_t before = rig.layer.drawCalls();
    rig.drawAll(same);
    rig.slots->endScene();
    EXPECT_EQ(rig.layer.drawCalls() - before, 1u) << "twenty polygons in one state";
    auto& alternating = rig.object({{-1, 1, 4}, {1, 1, 4}, {1, -1, 4}, {-1, -1, 4}});
    for (int i = 0; i < 20; ++i) GlRig::polygon(alternating, i % 2 ? flatShaded : smoothShaded, {0, 1, 2, 3});
    rig.drawAll(alternating);
    rig.slots->endScene();
    EXPECT_EQ(rig.layer.drawCalls() - before, 21u) << "a shade change before each";
    // A fan larger than any batch (a disc of 30 000 vertices) is one draw too.
    std::vector<LVertex> disc(30000);
    for (std::size_t i = 1; i < disc.size(); ++i) {
        const float a = -6.2831853f * static_cast<float>(i - 1) / static_cast<float>(disc.size() - 2);
        disc[i] = {std::cos(a), std::sin(a), 4, 0, 0x1000FF00, 0, 0, 0};
    }
    disc[0] = {0, 0, 4, 0, 0x1000FF00, 0, 0, 0};
    rig.layer.setRenderState(rig.context.state.device, RenderState::CULLMODE, D3DCULL_NONE);
    EXPECT_EQ(rig.layer.drawPrimitive(rig.context.state.device, PrimitiveType::TRIANGLEFAN, D3DFVF_LVERTEX,
                                      disc.data(), static_cast<std::uint32_t>(disc.size()), D3DDP_DONOTLIGHT),
              kOk);
    rig.slots->endScene();
    EXPECT_EQ(rig.layer.drawCalls() - before, 22u);
    // Reflection-mapped polygons: their passes wait behind the polygons, so
    // ten of them take two draws, not twenty. A polygon drawn later in front
    // still hides the pass of the one behind it, as in drawing order.
    auto& mirrors = rig.object({{-1, 1, 3, 100, 0, 0}, {1, 1, 3, 100, 0, 0}, {1, -1, 3, 100, 0, 0},
                                {-1, -1, 3, 100, 0, 0}, {0.2f, 0.2f, 2, 0, 0, 200}, {0.6f, 0.2f, 2, 0, 0, 200},
                                {0.6f, -0.2f, 2, 0, 0, 200}, {0.2f, -0.2f, 2, 0, 0, 200}});
    for (auto& point : mirrors.points) point.cameraSpaceNormal[0] = 1;  // the white half of env.jpg
    for (int i = 0; i < 10; ++i) {
        auto& mirror = GlRig::polygon(mirrors, flatShaded | reflectionMapped, {0, 1, 2, 3});
        mirror.reflectionTextureIndex = 0;
    }
    GlRig::polygon(mirrors, flatShaded, {4, 5, 6, 7}).colorBlue = 200;
    const std::size_t beforeMirrors = rig.layer.drawCalls();
    rig.drawAll(mirrors);
    rig.slots->endScene();
    EXPECT_EQ(rig.layer.drawCalls() - beforeMirrors, 2u);
    const RgbPicture p = rig.finish();
    auto [x, y] = screenOf(-0.8f, 0.8f, 3);
    expectPixel(p, x, y, {255, 0, 0}, 10);  // red, plus ten white passes
    auto [fx, fy] = screenOf(0.4f, 0, 2);
    expectPixel(p, fx, fy, {0, 0, 198}, 8);  // the front polygon alone
}

TEST(GlRender, CounterClockwisePolygonsAreCulledUnlessDoubleSidedOrShown) {
    GlRig rig("culling");
    ASSERT_TRUE(rig.up);
    rig.begin();
    // Top row: clockwise on screen (kept) and counter-clockwise (culled).
    auto& o = rig.object({{-1.2f, 0.9f, 4}, {-0.4f, 0.1f, 4}, {-1.2f, 0.1f, 4},   // cw: top, right-bottom, left-bottom
                          {0.4f, 0.9f, 4}, {0.4f, 0.1f, 4}, {1.2f, 0.1f, 4},      // ccw
                          {0.4f, -0.1f, 4}, {0.4f, -0.9f, 4}, {1.2f, -0.9f, 4}}); // ccw, double-sided
    GlRig::polygon(o, flatShaded, {0, 1, 2});
    GlRig::polygon(o, flatShaded, {3, 4, 5});
    GlRig::polygon(o, flatShaded | doubleSided, {6, 7, 8});
    rig.drawAll(o);
    const RgbPicture p = rig.finish();
    auto [ax, ay] = screenOf(-1.0f, 0.3f, 4);
    // (0 + 255) / 2 = 127 per channel.
    expectPixel(p, ax, ay, {127, 127, 127}, 6);
    auto [bx, by] = screenOf(0.6f, 0.3f, 4);
    expectPixel(p, bx, by, {0, 0, 0});
    auto [cx, cy] = screenOf(0.6f, -0.7f, 4);
    expectPixel(p, cx, cy, {127, 127, 127}, 6);
    expectMatchesReference(p, "culling");

    // For authors: the culled side in magenta, the rest as before.
    rig.context.showBackFaces = true;
    rig.begin();
    rig.drawAll(o);
    const RgbPicture shown = rig.finish();
    expectPixel(shown, ax, ay, {127, 127, 127}, 6);
    expectPixel(shown, bx, by, {255, 0, 255}, 8);
    expectPixel(shown, cx, cy, {127, 127, 127}, 6);
}

TEST(GlRender, LinesOutlinesAndPoints) {
    GlRig rig("lines");
    ASSERT_TRUE(rig.up);
    rig.begin();
    auto& o = rig.object({{-1.5f, 0.8f, 4, 510, 510, 0}, {1.5f, 0.8f, 4, 510, 510, 0}, {-1.2f, -0.2f, 4, 0, 510, 510},
                          {-0.2f, -0.2f, 4, 0, 510, 510}, {-0.7f, -0.9f, 4, 0, 510, 510}, {0.8f, -0.5f, 4, 510, 0, 510},
                          {1.0f, -0.5f, 4, 510, 0, 510}});
    GlRig::polygon(o, flatShaded, {0, 1});                 // a line
    GlRig::polygon(o, flatShaded | outline, {2, 3, 4});    // an outline
    GlRig::polygon(o, flatShaded, {5});                    // points
    GlRig::polygon(o, flatShaded, {6});
    rig.drawAll(o);
    const RgbPicture p = rig.finish();
    // The inside of the outline triangle stays empty.
    auto [ix, iy] = screenOf(-0.7f, -0.4f, 4);
    expectPixel(p, ix, iy, {0, 0, 0});
    // The line crosses the middle column somewhere near its row.
    auto [lx, ly] = screenOf(0, 0.8f, 4);
    bool found = false;
    for (int dy = -1; dy <= 1; ++dy) found = found || pixel(p, lx, ly + dy).r > 200;
    EXPECT_TRUE(found);
    expectMatchesReference(p, "lines");
}

// 64 x 64: top half red, bottom half green, left quarter stripe blue, near
// and, half lit, far away (mip levels).
RgbPicture drawTextures(GlRig& rig) {
    const int index = rig.texture("two.jpg", 64, 64, [](int x, int y) {
        if (x < 16) return std::array<std::uint8_t, 4>{0, 0, 255, 0};
        return y < 32 ? std::array<std::uint8_t, 4>{255, 0, 0, 0} : std::array<std::uint8_t, 4>{0, 255, 0, 0};
    });
    EXPECT_EQ(index, 0);
    rig.begin();
    // A square with tv = 1 at the top: the image appears upright.
    auto& o = rig.object({{-1, 1, 4}, {1, 1, 4}, {1, -1, 4}, {-1, -1, 4}});
    GlRig::polygon(o, textured | smoothShaded, {0, 1, 2, 3}, {0, 1, 1, 0}, {1, 1, 0, 0});
    rig.drawAll(o);
    auto& far = rig.object({{3, 2, 14, 128, 128, 128}, {7, 2, 14, 128, 128, 128}, {7, -2, 14, 128, 128, 128},
                            {3, -2, 14, 128, 128, 128}});
    GlRig::polygon(far, textured | smoothShaded, {0, 1, 2, 3}, {0, 1, 1, 0}, {1, 1, 0, 0});
    rig.drawAll(far);
    return rig.finish();
}

TEST(GlRender, TexturesRowZeroAtTheBottomModulatedByLight) {
    GlRig rig("texture");
    ASSERT_TRUE(rig.up);
    const RgbPicture p = drawTextures(rig);
    auto [tx, ty] = screenOf(0.5f, 0.5f, 4);
    expectPixel(p, tx, ty, {255, 0, 0}, 12);
    auto [bx, by] = screenOf(0.5f, -0.5f, 4);
    expectPixel(p, bx, by, {0, 255, 0}, 12);
    auto [sx, sy] = screenOf(-0.85f, 0, 4);
    expectPixel(p, sx, sy, {0, 0, 255}, 12);
    // Half light halves the texture colour.
    auto [hx, hy] = screenOf(6, 1, 14);
    const Rgb half = pixel(p, hx, hy);
    EXPECT_NEAR(half.r, 128, 16);
    EXPECT_LT(half.g, 40);
    expectMatchesReference(p, "texture");

    // Releasing a texture (a reload replacing it) frees its whole mip chain.
    const SurfaceId top = rig.context.textures[0].surface;
    SurfaceId second = SurfaceId::none;
    ASSERT_EQ(rig.layer.getAttachedSurface(top, 0, second), kOk);
    SurfaceDesc desc;
    ASSERT_EQ(rig.layer.getSurfaceDesc(second, desc), kOk);
    rig.layer.releaseSurface(top);
    EXPECT_NE(rig.layer.getSurfaceDesc(top, desc), kOk);
    EXPECT_NE(rig.layer.getSurfaceDesc(second, desc), kOk);
}

TEST(GlLoader, TheFlavourOfAContextFromItsVersionText) {
    struct Row {
        const char* version;
        bool usable;
        GlFlavour flavour;
    };
    const Row rows[] = {
        {"OpenGL ES 3.2 Mesa 22.3.6", true, GlFlavour::Es3}, {"OpenGL ES 2.0 Mesa", false, GlFlavour::Es3},
        {"4.5 (Core Profile) Mesa 22.3.6", true, GlFlavour::Core43}, {"4.3.0 NVIDIA", true, GlFlavour::Core43},
        {"4.2.0", true, GlFlavour::Core33}, {"3.3.0 NVIDIA 390.1", true, GlFlavour::Core33},
        {"3.2.0", false, GlFlavour::Core33}, {"", false, GlFlavour::Core33},
    };
    for (const Row& row : rows) {
        GlFlavour flavour{};
        EXPECT_EQ(glFlavourOf(row.version, flavour), row.usable) << row.version;
        if (row.usable) {
            EXPECT_EQ(flavour, row.flavour) << row.version;
        }
    }
}

// The path Windows takes on a driver that offers only a desktop 3.3 core
// context: the loader makes the ES 3.0 calls that 3.3 lacks from older ones
// and the shaders speak GLSL 3.30. It draws the same picture.
TEST(GlRender, TheDesktopCore33PathDrawsWhatEsDraws) {
    ASSERT_EQ(setenv("ZOR_GL_CONTEXT", "core33", 1), 0);
    GlRig rig("texture-core33");
    unsetenv("ZOR_GL_CONTEXT");
    ASSERT_TRUE(rig.up) << rig.layer.error();
    EXPECT_FALSE(rig.layer.versionText().starts_with("OpenGL ES")) << rig.layer.versionText();
    expectMatchesReference(drawTextures(rig), "texture");
}

TEST(GlRender, ParticlesAndTrailsAreTexturedSquares) {
    GlRig rig("particles");
    ASSERT_TRUE(rig.up);
    const int index = rig.texture("spark.jpg", 32, 32, [](int x, int y) {
        const int dx = x - 16, dy = y - 16;
        const std::uint8_t v = dx * dx + dy * dy < 144 ? 255 : 0;
        return std::array<std::uint8_t, 4>{v, v, v, 0};
    });
    ASSERT_EQ(index, 0);
    rig.begin();
    rig.slots->setTransparentPass(1);
    auto& o = rig.object({{-1, 0, 4}, {0, 0, 4}, {1, 0, 4}});
    auto& particle = GlRig::polygon(o, textured | smoothShaded, {0});
    // A trail: the same particle drawn smaller at each step.
    float size = 0.25f;
    for (int i = 0; i < 3; ++i) {
        particle.pointIndices[0] = static_cast<std::uint16_t>(i);
        rig.slots->particleHalfSize = size;
        rig.slots->drawPolygon(o, particle, nullptr, rig.scene, 0);
        size *= 0.5f;
    }
    rig.slots->setTransparentPass(0);
    const RgbPicture p = rig.finish();
    // Centre of the first square: the texture's white times grey 0x8F.
    auto [cx, cy] = screenOf(-1, 0, 4);
    expectPixel(p, cx, cy, {0x8F, 0x8F, 0x8F}, 10);
    // Outside the first square (0.25 half size) nothing.
    auto [ox, oy] = screenOf(-1, 0.4f, 4);
    expectPixel(p, ox, oy, {0, 0, 0});
    expectMatchesReference(p, "particles");
}

TEST(GlRender, AdditiveTransparencyAddsWithoutWritingDepth) {
    GlRig rig("additive");
    ASSERT_TRUE(rig.up);
    rig.begin();
    // Opaque dark blue square behind.
    auto& back = rig.object({{-1.5f, 1, 6, 0, 0, 200}, {1.5f, 1, 6, 0, 0, 200}, {1.5f, -1, 6, 0, 0, 200},
                             {-1.5f, -1, 6, 0, 0, 200}});
    GlRig::polygon(back, flatShaded, {0, 1, 2, 3});
    rig.drawAll(back);
    rig.slots->setTransparentPass(1);
    // Two overlapping red and green squares in front, additive.
    auto& glass = rig.object({{-1, 0.6f, 4, 200, 0, 0}, {0.3f, 0.6f, 4, 200, 0, 0}, {0.3f, -0.6f, 4, 200, 0, 0},
                              {-1, -0.6f, 4, 200, 0, 0}, {-0.3f, 0.6f, 3.9f, 0, 200, 0}, {1, 0.6f, 3.9f, 0, 200, 0},
                              {1, -0.6f, 3.9f, 0, 200, 0}, {-0.3f, -0.6f, 3.9f, 0, 200, 0}});
    GlRig::polygon(glass, flatShaded | transparent, {0, 1, 2, 3});
    GlRig::polygon(glass, flatShaded | transparent, {4, 5, 6, 7});
    rig.drawAll(glass);
    rig.slots->setTransparentPass(0);
    const RgbPicture p = rig.finish();
    // Overlap: red 100 + green 100 + blue 100 of the square behind.
    auto [mx, my] = screenOf(0, 0, 4);
    expectPixel(p, mx, my, {99, 101, 99}, 8);
    expectMatchesReference(p, "additive");
}

TEST(GlRender, ReflectionPassAddsTheNormalMappedTexture) {
    GlRig rig("reflection");
    ASSERT_TRUE(rig.up);
    // Reflection image: left half black, right half white (tu from the normal's x).
    ASSERT_EQ(rig.texture("env.jpg", 32, 32, [](int x, int) {
                  const std::uint8_t v = x < 16 ? 0 : 255;
                  return std::array<std::uint8_t, 4>{v, v, v, 0};
              }),
              0);
    rig.begin();
    auto& o = rig.object({{-1, 1, 4, 100, 0, 0}, {1, 1, 4, 100, 0, 0}, {1, -1, 4, 100, 0, 0}, {-1, -1, 4, 100, 0, 0}});
    const float nx[4] = {-1, 1, 1, -1};
    for (int i = 0; i < 4; ++i) o.points[i].cameraSpaceNormal[0] = nx[i];
    auto& poly = GlRig::polygon(o, flatShaded | reflectionMapped, {0, 1, 2, 3});
    poly.colorRed = 100;
    poly.reflectionTextureIndex = 0;
    rig.drawAll(o);
    const RgbPicture p = rig.finish();
    // Left: the polygon's own (100 + 100) / 2 red; right: plus the white reflection, modulated by the vertex colour.
    auto [lx, ly] = screenOf(-0.8f, 0, 4);
    expectPixel(p, lx, ly, {99, 0, 0}, 8);
    auto [rx, ry] = screenOf(0.8f, 0, 4);
    expectPixel(p, rx, ry, {198, 0, 0}, 10);
    // The pass ends opaque.
    EXPECT_EQ(rig.context.state.device != DeviceId::none, true);
    expectMatchesReference(p, "reflection");
}

TEST(GlRender, ShadowsOnBothWorldPlanes) {
    GlRig rig("shadow");
    ASSERT_TRUE(rig.up);
    rig.begin();
    // Camera at world (0, 5, -8), pitched down 30 degrees.
    CameraView view;
    view.viewRotation = transpose(itemRotation(0, 30, 0));
    view.cameraPosition = {0, 5, -8};
    auto toCamera = [&](float x, float y, float z, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        const Vec3 c = mul(view.viewRotation, Vec3{x - view.cameraPosition[0], y - view.cameraPosition[1],
                                                   z - view.cameraPosition[2]});
        return P{c[0], c[1], c[2], r, g, b};
    };
    // Ground y = 0 in grey and a wall z = 0 in blue-grey; the light at (0, 6, 2).
    auto& ground = rig.object({toCamera(-4, 0, -4, 200, 200, 200), toCamera(4, 0, -4, 200, 200, 200),
                               toCamera(4, 0, 0, 200, 200, 200), toCamera(-4, 0, 0, 200, 200, 200)});
    GlRig::polygon(ground, flatShaded | doubleSided, {0, 1, 2, 3});
    rig.drawAll(ground);
    auto& wall = rig.object({toCamera(-4, 0, 0, 100, 100, 250), toCamera(4, 0, 0, 100, 100, 250),
                             toCamera(4, 4, 0, 100, 100, 250), toCamera(-4, 4, 0, 100, 100, 250)});
    GlRig::polygon(wall, flatShaded | doubleSided, {0, 1, 2, 3});
    rig.drawAll(wall);
    // The caster: a yellow quad at z = -1, y 1 to 2.
    auto& caster = rig.object({toCamera(-0.5f, 2, -1, 255, 200, 0), toCamera(0.5f, 2, -1, 255, 200, 0),
                               toCamera(0.5f, 1, -1, 255, 200, 0), toCamera(-0.5f, 1, -1, 255, 200, 0)});
    caster.shadowOptions = 2;
    GlRig::polygon(caster, flatShaded | doubleSided, {0, 1, 2, 3});
    rig.drawAll(caster);
    rig.scene.lights.resize(1);
    const P light = toCamera(0, 6, 2, 0, 0, 0);
    rig.scene.lights[0].viewPosition[0] = light.x;
    rig.scene.lights[0].viewPosition[1] = light.y;
    rig.scene.lights[0].viewPosition[2] = light.z;
    drawShadow(caster, rig.scene, view, *rig.slots);
    const RgbPicture p = rig.finish();
    auto at = [&](float x, float y, float z) {
        const P c = toCamera(x, y, z, 0, 0, 0);
        return screenOf(c.x, c.y, c.z);
    };
    // Rays from the light through the caster: the ground shadow spans z -2.5 to -1.6,
    // the wall shadow y 2.67 to 3.33 (worked by hand from similar triangles).
    auto [gx, gy] = at(0, 0, -2.05f);
    expectPixel(p, gx, gy, {0, 0, 0});
    // On the wall the shadow is coplanar with the wall and wins by its depth bias.
    auto [wx, wy] = at(0, 3, 0);
    expectPixel(p, wx, wy, {0, 0, 0});
    auto [lx, ly] = at(-3, 0, -3);
    expectPixel(p, lx, ly, {99, 101, 99}, 6);
    auto [bx, by] = at(-3, 2, 0);
    expectPixel(p, bx, by, {49, 49, 123}, 6);
    auto [cx, cy] = at(0, 1.5f, -1);
    expectPixel(p, cx, cy, {127, 100, 0}, 6);
    expectMatchesReference(p, "shadow");
}

TEST(GlRender, LogoMagentaIsTransparent) {
    GlRig rig("logo");
    ASSERT_TRUE(rig.up);
    // 64 x 64 logo: a white frame around a magenta middle.
    writeFile(rig.folder / "skane.jpg", encodeJpeg(64, 64, 3, [](int x, int y) {
                  const bool inside = x >= 16 && x < 48 && y >= 16 && y < 48;
                  return inside ? std::array<std::uint8_t, 4>{255, 0, 255, 0}
                                : std::array<std::uint8_t, 4>{255, 255, 255, 0};
              }));
    Image logo;
    loadImageSurface(rig.context, logo, "skane.jpg");
    ASSERT_NE(logo.surface, SurfaceId::none);
    rig.begin();
    auto& o = rig.object({{-2, 2, 4, 0, 0, 400}, {2, 2, 4, 0, 0, 400}, {2, -2, 4, 0, 0, 400}, {-2, -2, 4, 0, 0, 400}});
    GlRig::polygon(o, flatShaded, {0, 1, 2, 3});
    rig.drawAll(o);
    rig.slots->endScene();
    // The logo rectangle is 256 x 256 but the surface is smaller: the blit is refused
    // as a whole, as a driver refuses a source rectangle outside the surface.
    blitLogo(rig.context, logo);
    const Rect rect{0, 0, 64, 64};
    rig.layer.blt(rig.context.state.backBuffer, &rect, logo.surface, &rect, DDBLT_KEYSRC | DDBLT_DONOTWAIT);
    rig.slots->endFrame();
    RgbPicture p;
    rig.layer.readFrontBuffer(p.pixels, p.width, p.height);
    expectPixel(p, 4, 4, {255, 255, 255}, 8);
    expectPixel(p, 32, 32, {0, 0, 200}, 8);  // blue (0 + 400) / 2 shows through the magenta
    expectMatchesReference(p, "logo");
}

// A preview loads its logo and textures again at every reload and releases
// the old ones: a released surface gives its pixels back.
TEST(GlRender, ReleasedSurfacesGiveTheirPixelsBack) {
    GlRig rig("release");
    ASSERT_TRUE(rig.up);
    const auto heapInUse = [] {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;  // small blocks and mapped ones
    };
    const std::size_t before = heapInUse();
    for (int i = 0; i < 100; ++i) {
        const SurfaceId surface = createOffscreenSurface(rig.context, rig.context.state.primary, 512, 512);
        ASSERT_NE(surface, SurfaceId::none);
        rig.layer.releaseSurface(surface);
    }
    // 100 surfaces of 512 x 512 x 2 bytes are 50 MiB; the table's entries a few KiB.
    EXPECT_LT(heapInUse(), before + (4u << 20)) << "released surfaces keep their pixels";
}

TEST(GlRender, FifteenBitModeQuantisesToFiveBitsPerChannel) {
    for (std::uint32_t bits : {16u, 15u}) {
        GlRig rig("bits" + std::to_string(bits), bits);
        ASSERT_TRUE(rig.up);
        rig.begin();
        // A smooth grey ramp from left to right.
        auto& o = rig.object({{-2, 1, 4, 0, 0, 0}, {2, 1, 4, 510, 510, 510}, {2, -1, 4, 510, 510, 510},
                              {-2, -1, 4, 0, 0, 0}});
        GlRig::polygon(o, smoothShaded, {0, 1, 2, 3});
        rig.drawAll(o);
        const RgbPicture p = rig.finish();
        // Every green value read back is a 5-bit (15) or 6-bit (16) level expanded.
        for (int x = 0; x < kWidth; ++x) {
            const int g = pixel(p, x, kHeight / 2).g;
            const int level = bits == 15 ? g >> 3 : g >> 2;
            const int expanded = bits == 15 ? (level << 3) | (level >> 2) : (level << 2) | (level >> 4);
            ASSERT_EQ(g, expanded) << "bits " << bits << " x " << x;
        }
        expectMatchesReference(p, "ramp" + std::to_string(bits));
    }
}

TEST(GlRender, UncoveredAreasShowTheFrameFromTwoFlipsBefore) {
    GlRig rig("flipchain");
    ASSERT_TRUE(rig.up);
    auto draw = [&](std::uint32_t r, std::uint32_t g, std::uint32_t b, float left) {
        rig.begin();
        auto& o = rig.object({{left, 0.5f, 4, r, g, b}, {left + 0.5f, 0.5f, 4, r, g, b},
                              {left + 0.5f, -0.5f, 4, r, g, b}, {left, -0.5f, 4, r, g, b}});
        GlRig::polygon(o, flatShaded, {0, 1, 2, 3});
        rig.drawAll(o);
        return rig.finish();
    };
    draw(510, 0, 0, -1.5f);            // frame 1: red at the left
    draw(0, 510, 0, -0.25f);           // frame 2: green in the middle
    const RgbPicture third = draw(0, 0, 510, 1.0f);  // frame 3: blue at the right; red is still there
    auto [rx, ry] = screenOf(-1.25f, 0, 4);
    expectPixel(third, rx, ry, {255, 0, 0});
    auto [gx, gy] = screenOf(0, 0, 4);
    expectPixel(third, gx, gy, {0, 0, 0});
    auto [bx, by] = screenOf(1.25f, 0, 4);
    expectPixel(third, bx, by, {0, 0, 255});
}

// A hidden window bounds the frames in flight with fences. A fence must not
// be freed while a rasteriser thread is still signalling it, holding its
// mutex: here that thread sometimes lingers there, as a preempted one does.
TEST(GlRender, FramesInFlightOutliveTheirFencesSignalling) {
    GlRig rig("fences");
    ASSERT_TRUE(rig.up);
    if (rig.layer.rendererName().find("llvmpipe") == std::string::npos)
        GTEST_SKIP() << "the stretch reaches llvmpipe's threads only, not " << rig.layer.rendererName();
    const int stretchedBefore = test::stretchedFenceSignals();
    const int before = test::mutexesDestroyedWhileHeld();
    {
        test::StretchedFenceSignals stretch;
        for (int i = 0; i < 400; ++i) {
            rig.slots->beginFrame();
            // The frame's own work outlasts the drawing of the one before,
            // so the wait at its end finds that one's fence signalled.
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            rig.slots->endFrame();
        }
    }
    ASSERT_GT(test::stretchedFenceSignals() - stretchedBefore, 0) << "no rasteriser thread was reached";
    EXPECT_EQ(test::mutexesDestroyedWhileHeld() - before, 0) << "fences freed while still being signalled";
}

}  // namespace
}  // namespace zor
