#pragma once
// The display device: device set-up (adapters, modes, the flip chain, the 3D
// device and its fixed state), JPEG images turned into 16-bit (in true
// colour 32-bit) surfaces and mip-mapped textures, and the production
// renderer slot table.
//
// Everything goes through a DisplayLayer held by one DisplayContext; there is
// no global state here. The context also carries where data files come from,
// how messages are shown, and the failure after which the display cannot go
// on: it is recorded and returned, and the program decides how to end.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/data_source.h"
#include "archive/diagnostics.h"
#include "display/jpeg_decoder.h"
#include "render/display_layer.h"

namespace zor {

class RenderSlots;

// One display adapter with its 15- and 16-bit modes (and any 32-bit ones),
// as the set-up window shows them.
struct DisplayAdapter {
    std::optional<Guid> guid;  // none for the primary display driver
    std::string description;
    std::string driverName;
    std::vector<SurfaceDesc> modes;

    int modeCount() const { return static_cast<int>(modes.size()); }
};

// The user's choice: the adapter (none = primary display driver) and a copy
// of the chosen mode.
struct DisplaySelection {
    std::optional<Guid> selectedGuid;
    SurfaceDesc selectedMode;
};

// Shows the adapters and fills the selection; false when the user quit
// without a confirmed choice.
using SetupWindowFunction =
    std::function<bool(const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection)>;
// Shows a message box (owner: the main window).
using MessageFunction = std::function<void(std::string_view caption, std::string_view text)>;

// A failure of the display the program cannot go on after ("DDraw error!").
// Its box has been shown; `status` is what the program ends with.
struct DisplayFatal {
    std::string caption;
    std::string text;
    int status = 0;
};

// The objects of the one device.
struct DisplayState {
    void* window = nullptr;  // native main window handed to initDisplay
    DriverId directDraw = DriverId::none;
    SurfaceId primary = SurfaceId::none;
    SurfaceId backBuffer = SurfaceId::none;
    SurfaceId zBuffer = SurfaceId::none;
    bool direct3D = false;
    DeviceId device = DeviceId::none;
    Guid deviceGuid;
    bool hardwareDeviceFound = false;
    PixelFormat zBufferFormat;
    std::uint32_t zBufferDepth = 0;
    bool zBufferFound = false;
    bool texture16Found = false;
    SurfaceDesc mode;  // the selected display mode
};

inline constexpr std::size_t kMaxImageName = 31;
inline constexpr std::size_t kMaxTextureName = 63;

// The logo record.
struct Image {
    SurfaceId surface = SurfaceId::none;
    std::string name;  // at most kMaxImageName characters
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct Texture {
    std::string name;  // at most kMaxTextureName characters
    SurfaceId surface = SurfaceId::none;  // top of the mip chain; none after a failed load
    std::uint64_t texels = 0;  // its share of DisplayContext::textureTexels
};

struct DisplayContext {
    explicit DisplayContext(DisplayLayer& displayLayer) : layer(displayLayer) {}

    DisplayLayer& layer;
    DisplayState state;
    std::vector<Texture> textures;  // only grows; an index is a texture's identity
    std::uint64_t textureTexels = 0;  // top-level texels of the textures made so far
    DataSource source;              // disk first, then the archive
    // Default: "caption: text" on standard error.
    MessageFunction showMessage;
    // Set by the first fatal failure; from then on no surface is made.
    std::optional<DisplayFatal> fatalError;
    // Decoder and loader problems, by file name; may be null.
    Diagnostics* diagnostics = nullptr;
    // What made the last initDisplay fail, in words; empty after success.
    std::string failure;
    // The last initDisplay failed because the set-up window was closed (or
    // Escape pressed) without a choice: the user's own end, not a fault.
    bool setupCancelled = false;
    // For authors (zor-view's B): polygons whose back faces the eye, which the
    // renderer culls, are drawn as well, in magenta. Off: the player's picture.
    bool showBackFaces = false;

    void message(std::string_view caption, std::string_view text) const;
    // Shows the box (for the first fatal failure only) and records it;
    // returns false for the caller to hand on.
    bool fatal(std::string_view caption, std::string_view text, int status);
};

// Exit status of the fatal display errors.
inline constexpr int kDisplayFailureStatus = 1;

// The adapters with their 15-, 16- and 32-bit modes, as the set-up window
// lists them (steps 1 and 2 of initDisplay).
std::vector<DisplayAdapter> listDisplayAdapters(DisplayLayer& layer);

// Brings up the device: adapters and modes, the set-up choice, the flip chain,
// the 3D device, the depth buffer and the fixed state. False on failure
// (after the three messages that have one).
bool initDisplay(DisplayContext& context, void* window, std::uint32_t cooperativeFlags,
                 const SetupWindowFunction& runSetupWindow);

// The fixed view every frame is drawn with: the view transform moves each
// camera-space point kViewOffset further from the eye, and the projection
// keeps what then lies between the near and far planes.
inline constexpr float kViewOffset = 1.0f;
inline constexpr float kFieldOfViewX = 45.0f;  // degrees
inline constexpr float kFieldOfViewY = 34.0f;
inline constexpr float kNearPlane = 1.0f;
inline constexpr float kFarPlane = 100.0f;

// The projection with fields of view in degrees (row-vector, depth 0..1).
Matrix projectionMatrix(float fovX, float fovY, float nearZ, float farZ);
void setProjection(DisplayContext& context, float fovX, float fovY, float nearZ, float farZ);

// True for a zero result. Anything else is fatal: "DDraw error!" is shown and
// recorded with a non-zero status (DisplayContext::fatal), and false returned.
bool checkDirectDraw(DisplayContext& context, HResult result);

// Clears the back buffer's colour to black (start-up, twice, with endFrame).
void clearTarget(DisplayContext& context);
// The side of the logo's square. The blit is refused, and no logo shows, when
// the image or the picture is smaller than that either way.
inline constexpr int kLogoSide = 256;
// Blits the logo's top-left 256 x 256 pixels onto the back buffer with its
// colour key; the result is ignored, as a skipped blit only loses one pass.
void blitLogo(DisplayContext& context, const Image& logo);

// All textures together: 2^24 texels, 32 MiB at 16 bits before mip levels.
// Textures are kept per exact name, so without a bound one small image named
// in many ways (letter case, folders) would be decoded and kept again for
// each name.
inline constexpr std::uint64_t kMaxTextureTexels = std::uint64_t{1} << 24;

// Decodes JPEG bytes in memory (jpeg_decoder.h). nullopt, with a diagnostic
// naming `name`, when the image is refused; a warning when damaged data was
// decoded as far as it goes.
std::optional<DecodedImage> decodeJpeg(std::span<const std::uint8_t> bytes, std::string_view name,
                                       Diagnostics* diagnostics);
// The file `name` through context.source (disk first, then the archive),
// decoded from memory; nothing is ever written to disk.
std::optional<DecodedImage> loadJpeg(const DisplayContext& context, std::string_view name);

// Loads the logo: near-magenta pixels snap to magenta, which is the surface's
// source colour key. image.surface stays none when the image cannot be loaded.
void loadImageSurface(DisplayContext& context, Image& image, std::string_view name);

SurfaceId createOffscreenSurface(DisplayContext& context, SurfaceId reference, int width, int height);
// pixels: top-down or bottom-up rows of 3 bytes per pixel, copied as they are.
bool createImageSurface(DisplayContext& context, const std::uint8_t* pixels, int width, int height,
                        Image& image, SurfaceId reference);

struct ConversionParameters {
    int redShift = 0, greenShift = 0, blueShift = 0;
    int redLoss = 0, greenLoss = 0, blueLoss = 0;
    int bytesPerPixel = 2;  // 4 for 32-bit surfaces (true colour)
};
// For 16-bit surfaces of these masks.
ConversionParameters prepareConversion(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask);
// For surfaces of this format, 16- or 32-bit.
ConversionParameters prepareConversion(const PixelFormat& format);
// Blue, green, red source bytes to 16- or 32-bit pixels; sourceGap bytes
// skipped after each source row, destinationPitch bytes per destination row.
void convertPixels(const ConversionParameters& conversion, const std::uint8_t* source,
                   std::uint8_t* destination, int width, int height, int sourceGap,
                   int destinationPitch);
// The colour key: full red and blue, no green, in the surface's format.
std::uint32_t magentaKey(const ConversionParameters& conversion);

// Box filter for mip levels, 3 bytes per pixel.
void resampleImage(const std::uint8_t* source, std::uint8_t* destination, int sourceWidth,
                   int sourceHeight, int destinationWidth, int destinationHeight);

// Mip levels a texture of this width gets.
int mipLevelCount(std::uint32_t width, bool mipmapped);
bool createTextureSurface(DisplayContext& context, Texture& texture, int width, int height, bool mipmapped);

// Index of the texture named exactly `name`, or -1.
int findTexture(const DisplayContext& context, std::string_view name);
// Index of the texture (loaded once per exact name), or -1.
int loadTextureFile(DisplayContext& context, std::string_view name);

// The renderer slot table of a mode; only mode 2 exists (null otherwise).
std::unique_ptr<RenderSlots> initRenderer(int mode, DisplayContext& context);

}  // namespace zor
