#pragma once
// The small operating-system layer the player runs on: its main window, the
// message queue drained every pass, the millisecond clock and message boxes.
// The real one is SDL2 (sdl_window_system.h); tests and headless tools use the
// scripted one (scripted_window_system.h), whose messages and clock they set.
//
// What a message means to the program (Escape ends it, other keys are
// swallowed, ...) is decided by the player's window procedure, not here: this
// layer only turns the platform's events into messages. The player acts on
// keys, clicks and the window's end; the mouse's motion and wheel are for the
// preview, which turns and flies its free look with them.

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <string>
#include <string_view>

namespace zor {

enum class MessageKind : std::uint8_t {
    KeyDown,          // key = virtual key code
    LeftButtonDown,   // x, y
    RightButtonDown,  // x, y
    MouseMove,        // x, y, buttons
    MouseWheel,       // wheel
    Destroy,          // the window was closed
    Quit,             // posted by postQuitMessage; ends a message loop
    Other,
};

inline constexpr int kVirtualKeyEscape = 27;
// Further virtual key codes, as the classic platform numbers them.
inline constexpr int kVirtualKeyTab = 0x09;
inline constexpr int kVirtualKeySpace = 32;
inline constexpr int kVirtualKeyPageUp = 0x21;
inline constexpr int kVirtualKeyPageDown = 0x22;
inline constexpr int kVirtualKeyEnd = 0x23;
inline constexpr int kVirtualKeyHome = 0x24;
inline constexpr int kVirtualKeyLeft = 0x25;
inline constexpr int kVirtualKeyUp = 0x26;
inline constexpr int kVirtualKeyRight = 0x27;
inline constexpr int kVirtualKeyDown = 0x28;
inline constexpr int kVirtualKeyAdd = 0x6B;           // "+" of the number pad
inline constexpr int kVirtualKeySubtract = 0x6D;      // "-" of the number pad
inline constexpr int kVirtualKeyPlus = 0xBB;          // the "=" and "+" key
inline constexpr int kVirtualKeyComma = 0xBC;         // ","
inline constexpr int kVirtualKeyMinus = 0xBD;         // "-"
inline constexpr int kVirtualKeyPeriod = 0xBE;        // "."
inline constexpr int kVirtualKeyOpenBracket = 0xDB;   // "["
inline constexpr int kVirtualKeyCloseBracket = 0xDD;  // "]"

// The mouse buttons held, in WindowMessage::buttons.
inline constexpr std::uint8_t kLeftButton = 0x1;
inline constexpr std::uint8_t kRightButton = 0x2;

struct WindowMessage {
    MessageKind kind = MessageKind::Other;
    int key = 0;
    int x = 0, y = 0;           // the pointer in the window, pixels from its top left
    std::uint8_t buttons = 0;   // kLeftButton | kRightButton held (MouseMove)
    int wheel = 0;              // notches turned, away from the user positive (MouseWheel)
    bool shift = false;         // Shift held (keys and mouse)
    bool ctrl = false;          // Ctrl held
};

// First in, first out; shared by the implementations.
class MessageQueue {
public:
    void post(const WindowMessage& message) { messages_.push_back(message); }
    bool take(WindowMessage& message);
    bool empty() const { return messages_.empty(); }
    std::size_t size() const { return messages_.size(); }

private:
    std::deque<WindowMessage> messages_;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Creates and shows the main window (borderless, over the desktop; the
    // display set-up takes the screen later). False when no window can be
    // made; error() says why.
    virtual bool createMainWindow(std::string_view title) = 0;
    // Takes the oldest waiting message off the queue; false when none waits.
    virtual bool peekMessage(WindowMessage& message) = 0;
    // Queues a Quit message behind those already waiting.
    virtual void postQuitMessage() = 0;
    // Milliseconds since start-up, a 32-bit counter that wraps.
    virtual std::uint32_t milliseconds() = 0;
    // A message box with an OK button where a display can show one; the text
    // always also goes to standard error as "caption: text".
    virtual void messageBox(std::string_view caption, std::string_view text) = 0;
    // The platform's handle of the main window (an SDL_Window*), or null.
    virtual void* nativeWindow() const = 0;
    virtual const std::string& error() const = 0;
};

// "caption: text" and a line end, the form every message box also takes on
// standard error.
void writeMessageBoxLine(std::ostream& out, std::string_view caption, std::string_view text);

}  // namespace zor
