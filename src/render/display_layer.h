#pragma once
// The display layer: the small set of display-driver and 3D-device operations
// the display code calls, with the numbers and conventions of the classic
// DirectDraw 7 / Direct3D 7 interfaces (flags, render-state codes, row-vector
// matrices, depth 0..1, lit vertices of 32 bytes). Only what the display code
// really calls is here.
//
// Implementations: GlDisplayLayer (OpenGL ES 3.0 shaders in the window or
// canvas of a GlHost: SDL2's on Linux, also headless with SDL's "offscreen"
// driver; WGL's on Windows; the page's WebGL2 canvas in a browser) and
// RecordingDisplayLayer (scripted adapters, modes, devices and formats;
// records every call in order, for tests).
//
// Objects are named by small typed handles; 0 is "none". Every operation that
// can fail answers an HResult, 0 on success.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zor {

using HResult = std::int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kFailed = static_cast<HResult>(0x80004005u);          // E_FAIL
inline constexpr HResult kOutOfVideoMemory = static_cast<HResult>(0x8876017Cu);
inline constexpr HResult kNotFound = static_cast<HResult>(0x887600FFu);        // no such attached surface
inline constexpr HResult kInvalidObject = static_cast<HResult>(0x88760082u);

enum class DriverId : std::uint32_t { none = 0 };   // a DirectDraw object
enum class SurfaceId : std::uint32_t { none = 0 };
enum class DeviceId : std::uint32_t { none = 0 };

struct Guid {
    std::array<std::uint8_t, 16> bytes = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Device types.
inline constexpr Guid IID_IDirect3DRGBDevice = {{0x60, 0x5e, 0x36, 0xa4, 0x09, 0x2c, 0xcf, 0x11, 0xa5, 0xbe,
                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
inline constexpr Guid IID_IDirect3DMMXDevice = {{0x81, 0x6e, 0x1d, 0x88, 0x9b, 0x21, 0xd0, 0x11, 0xa1, 0x14,
                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}};
inline constexpr Guid IID_IDirect3DHALDevice = {{0xe0, 0x29, 0x26, 0x84, 0x2c, 0x2c, 0xcf, 0x11, 0xa5, 0xbe,
                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}};
inline constexpr Guid IID_IDirect3DTnLHalDevice = {{0x07, 0x3e, 0x3d, 0xf5, 0x09, 0x03, 0xd2, 0x11, 0x9b, 0x80,
                                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x04}};

// Pixel format flags and record.
inline constexpr std::uint32_t DDPF_RGB = 0x40;
inline constexpr std::uint32_t DDPF_ZBUFFER = 0x400;
inline constexpr std::uint32_t DDPF_STENCILBUFFER = 0x4000;

struct PixelFormat {
    std::uint32_t flags = 0;
    std::uint32_t rgbBitCount = 0;      // colour formats
    std::uint32_t zBufferBitDepth = 0;  // depth formats (depth plus stencil bits)
    std::uint32_t stencilBitDepth = 0;
    std::uint32_t redMask = 0;          // colour formats; for depth formats redMask is the z mask
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    std::uint32_t alphaMask = 0;
    friend bool operator==(const PixelFormat&, const PixelFormat&) = default;
};

PixelFormat rgb565Format();
PixelFormat rgb555Format();
// 8 bits a channel in 32 bits, the top byte unused.
PixelFormat xrgb8888Format();

// Surface description flags.
inline constexpr std::uint32_t DDSD_CAPS = 0x1;
inline constexpr std::uint32_t DDSD_HEIGHT = 0x2;
inline constexpr std::uint32_t DDSD_WIDTH = 0x4;
inline constexpr std::uint32_t DDSD_PITCH = 0x8;
inline constexpr std::uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
inline constexpr std::uint32_t DDSD_PIXELFORMAT = 0x1000;
inline constexpr std::uint32_t DDSD_MIPMAPCOUNT = 0x20000;
// Surface capabilities.
inline constexpr std::uint32_t DDSCAPS_BACKBUFFER = 0x4;
inline constexpr std::uint32_t DDSCAPS_COMPLEX = 0x8;
inline constexpr std::uint32_t DDSCAPS_FLIP = 0x10;
inline constexpr std::uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
inline constexpr std::uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
inline constexpr std::uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
inline constexpr std::uint32_t DDSCAPS_TEXTURE = 0x1000;
inline constexpr std::uint32_t DDSCAPS_3DDEVICE = 0x2000;
inline constexpr std::uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;
inline constexpr std::uint32_t DDSCAPS_ZBUFFER = 0x20000;
inline constexpr std::uint32_t DDSCAPS_MIPMAP = 0x400000;
inline constexpr std::uint32_t DDSCAPS2_D3DTEXTUREMANAGE = 0x20000;

// A display mode or a surface to create (DDSURFACEDESC2's members in use).
struct SurfaceDesc {
    std::uint32_t flags = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t pitch = 0;             // bytes per row, from getSurfaceDesc
    std::uint32_t backBufferCount = 0;
    std::uint32_t mipMapCount = 0;
    std::uint32_t refreshRate = 0;
    PixelFormat pixelFormat;
    std::uint32_t caps = 0;
    std::uint32_t caps2 = 0;
    // Samples per pixel of a display mode or flip chain; 0 or 1: one.
    std::uint32_t multiSampleCount = 0;
};

struct AdapterInfo {
    std::optional<Guid> guid;  // none for the primary display driver
    std::string description;
    std::string driverName;
};

inline constexpr std::uint32_t D3DDEVCAPS_HWRASTERIZATION = 0x80000;
inline constexpr std::uint32_t D3DPTEXTURECAPS_POW2 = 0x2;
inline constexpr std::uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x20;

struct DeviceInfo {
    Guid guid;
    std::string description;
    std::string name;
    std::uint32_t devCaps = 0;
    std::uint32_t textureCaps = 0;  // dpcTriCaps.dwTextureCaps
};

// Cooperative level flags.
inline constexpr std::uint32_t DDSCL_FULLSCREEN = 0x1;
inline constexpr std::uint32_t DDSCL_ALLOWREBOOT = 0x2;
inline constexpr std::uint32_t DDSCL_NORMAL = 0x8;
inline constexpr std::uint32_t DDSCL_EXCLUSIVE = 0x10;
// Blits, flips, locks, colour keys.
inline constexpr std::uint32_t DDBLT_KEYSRC = 0x8000;
inline constexpr std::uint32_t DDBLT_WAIT = 0x1000000;
inline constexpr std::uint32_t DDBLT_DONOTWAIT = 0x8000000;
inline constexpr std::uint32_t DDFLIP_WAIT = 0x1;
inline constexpr std::uint32_t DDLOCK_WAIT = 0x1;
inline constexpr std::uint32_t DDCKEY_SRCBLT = 0x8;

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Render states and values.
enum class RenderState : std::uint32_t {
    ZENABLE = 7,
    ZWRITEENABLE = 14,
    SHADEMODE = 9,
    SRCBLEND = 19,
    DESTBLEND = 20,
    CULLMODE = 22,
    ZFUNC = 23,
    DITHERENABLE = 26,
    ALPHABLENDENABLE = 27,
    SPECULARENABLE = 29,
    ZBIAS = 47,
    LIGHTING = 137,
    AMBIENT = 139,
};
inline constexpr std::uint32_t D3DZB_TRUE = 1;
inline constexpr std::uint32_t D3DCMP_LESSEQUAL = 4;
inline constexpr std::uint32_t D3DSHADE_FLAT = 1;
inline constexpr std::uint32_t D3DSHADE_GOURAUD = 2;
inline constexpr std::uint32_t D3DBLEND_ZERO = 1;
inline constexpr std::uint32_t D3DBLEND_ONE = 2;
inline constexpr std::uint32_t D3DCULL_NONE = 1;
inline constexpr std::uint32_t D3DCULL_CW = 2;
inline constexpr std::uint32_t D3DCULL_CCW = 3;

enum class TextureStageState : std::uint32_t {
    COLOROP = 1,
    MAGFILTER = 16,
    MINFILTER = 17,
    MIPFILTER = 18,
};
inline constexpr std::uint32_t D3DTOP_MODULATE = 4;
inline constexpr std::uint32_t D3DTFG_LINEAR = 2;
inline constexpr std::uint32_t D3DTFN_LINEAR = 2;
inline constexpr std::uint32_t D3DTFP_LINEAR = 3;

enum class TransformState : std::uint32_t { WORLD = 1, VIEW = 2, PROJECTION = 3 };
// Row-major, row-vector convention (v' = v * M): element _rc is m[(r-1)*4 + (c-1)].
using Matrix = std::array<float, 16>;
Matrix identityMatrix();

enum class PrimitiveType : std::uint32_t { POINTLIST = 1, LINELIST = 2, LINESTRIP = 3, TRIANGLEFAN = 6 };
inline constexpr std::uint32_t D3DFVF_LVERTEX = 0x1E2;
inline constexpr std::uint32_t D3DDP_WAIT = 0x1;
inline constexpr std::uint32_t D3DDP_DONOTLIGHT = 0x10;
inline constexpr std::uint32_t D3DCLEAR_TARGET = 0x1;
inline constexpr std::uint32_t D3DCLEAR_ZBUFFER = 0x2;

// A pre-lit vertex, 32 bytes: position, a reserved word, diffuse and specular
// colours (ARGB), texture coordinates.
struct LVertex {
    float x = 0, y = 0, z = 0;
    std::uint32_t reserved = 0;
    std::uint32_t diffuse = 0;
    std::uint32_t specular = 0;
    float tu = 0, tv = 0;
};
static_assert(sizeof(LVertex) == 32);

struct ViewportDesc {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
    float minZ = 0, maxZ = 1;
};

// Continue (true) or stop (false) an enumeration.
using AdapterCallback = std::function<bool(const AdapterInfo&)>;
using ModeCallback = std::function<bool(const SurfaceDesc&)>;
using DeviceCallback = std::function<bool(const DeviceInfo&)>;
using FormatCallback = std::function<bool(const PixelFormat&)>;

class DisplayLayer {
public:
    virtual ~DisplayLayer() = default;

    // Why the last failing operation failed, where the layer can say; empty
    // otherwise.
    virtual const std::string& error() const;

    // Driver (DirectDraw) level.
    virtual HResult enumerateAdapters(const AdapterCallback& callback) = 0;
    // guid null selects the primary display driver.
    virtual HResult createDriver(const Guid* guid, DriverId& driver) = 0;
    virtual HResult enumerateDisplayModes(DriverId driver, const ModeCallback& callback) = 0;
    virtual void releaseDriver(DriverId driver) = 0;
    // nativeWindow: the platform window to take over (an SDL_Window*), or null.
    virtual HResult setCooperativeLevel(DriverId driver, void* nativeWindow, std::uint32_t flags) = 0;
    virtual HResult setDisplayMode(DriverId driver, std::uint32_t width, std::uint32_t height,
                                   std::uint32_t bitCount, std::uint32_t refreshRate, std::uint32_t flags) = 0;
    virtual HResult testCooperativeLevel(DriverId driver) = 0;

    // Surfaces.
    virtual HResult createSurface(DriverId driver, const SurfaceDesc& desc, SurfaceId& surface) = 0;
    virtual HResult getAttachedSurface(SurfaceId surface, std::uint32_t caps, SurfaceId& attached) = 0;
    virtual HResult addAttachedSurface(SurfaceId surface, SurfaceId attach) = 0;
    virtual HResult getPixelFormat(SurfaceId surface, PixelFormat& format) = 0;
    virtual HResult getSurfaceDesc(SurfaceId surface, SurfaceDesc& desc) = 0;
    virtual HResult getCaps(SurfaceId surface, std::uint32_t& caps) = 0;
    // Whole-surface lock; bits stays valid until unlock.
    virtual HResult lock(SurfaceId surface, std::uint32_t flags, void*& bits, std::int32_t& pitch) = 0;
    virtual HResult unlock(SurfaceId surface) = 0;
    virtual HResult setColorKey(SurfaceId surface, std::uint32_t flags, std::uint32_t low, std::uint32_t high) = 0;
    // Null rectangles mean the whole surface; sizes that differ stretch.
    virtual HResult blt(SurfaceId destination, const Rect* destinationRect, SurfaceId source,
                        const Rect* sourceRect, std::uint32_t flags) = 0;
    virtual HResult flip(SurfaceId primary, std::uint32_t flags) = 0;
    virtual void releaseSurface(SurfaceId surface) = 0;

    // 3D device (Direct3D) level.
    virtual HResult queryDirect3D(DriverId driver) = 0;
    virtual HResult enumerateDevices(const DeviceCallback& callback) = 0;
    virtual HResult enumerateZBufferFormats(const Guid& deviceType, const FormatCallback& callback) = 0;
    virtual HResult createDevice(const Guid& deviceType, SurfaceId renderTarget, DeviceId& device) = 0;
    virtual void releaseDevice(DeviceId device) = 0;
    virtual HResult getDeviceCaps(DeviceId device, DeviceInfo& caps) = 0;
    virtual HResult enumerateTextureFormats(DeviceId device, const FormatCallback& callback) = 0;
    virtual HResult getRenderTarget(DeviceId device, SurfaceId& target) = 0;

    virtual HResult setRenderState(DeviceId device, RenderState state, std::uint32_t value) = 0;
    virtual HResult setTextureStageState(DeviceId device, std::uint32_t stage, TextureStageState state,
                                         std::uint32_t value) = 0;
    virtual HResult setTransform(DeviceId device, TransformState state, const Matrix& matrix) = 0;
    virtual HResult setViewport(DeviceId device, const ViewportDesc& viewport) = 0;
    // Sets a material with every member zero (the only one used).
    virtual HResult setZeroMaterial(DeviceId device) = 0;
    virtual HResult setTexture(DeviceId device, std::uint32_t stage, SurfaceId texture) = 0;
    virtual HResult clear(DeviceId device, std::uint32_t flags, std::uint32_t color, float z,
                          std::uint32_t stencil) = 0;
    virtual HResult beginScene(DeviceId device) = 0;
    virtual HResult endScene(DeviceId device) = 0;
    virtual HResult drawPrimitive(DeviceId device, PrimitiveType type, std::uint32_t vertexFormat,
                                  const LVertex* vertices, std::uint32_t count, std::uint32_t flags) = 0;
};

}  // namespace zor
