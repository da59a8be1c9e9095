#pragma once
// The dialog window on SDL2: our own small widgets (labels, a push button,
// drop-down lists) drawn in the classic grey look with a DejaVu font through
// SDL2_ttf. Mouse: a click opens a list, a click on an entry picks it, the
// button fires on release. Keys: Return presses the default button, Up and
// Down move through the focused list (the one clicked last, at first the
// last list), Escape closes an open list. Closing the window asks the
// program to quit.
//
// The client area is the given size less a title bar and borders, as a
// window of that outer size would have. An open list is kept inside the
// window and scrolls when it has more entries than fit.

#include <SDL2/SDL.h>

#include <deque>
#include <memory>

#include "platform/dialog.h"

typedef struct _TTF_Font TTF_Font;

namespace zor {

inline constexpr const char* kDialogFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr int kDialogFontSize = 11;

class SdlDialog final : public DialogWindow {
public:
    explicit SdlDialog(std::string fontPath = kDialogFontPath);
    ~SdlDialog() override;
    SdlDialog(const SdlDialog&) = delete;
    SdlDialog& operator=(const SdlDialog&) = delete;

    int screenWidth() override;
    int screenHeight() override;
    // False under SDL's "offscreen" and "dummy" video drivers.
    bool canBeShown(std::string& why) override;
    bool create(std::string_view title, int x, int y, int width, int height) override;
    void addControl(const ControlSpec& spec) override { controls_.add(spec); }
    void addString(int id, std::string_view text) override;
    void setCurSel(int id, int index) override;
    int getCurSel(int id) const override;
    void resetContent(int id) override;
    void update() override;
    bool peekEvent(DialogEvent& event) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    void destroy() override;
    const std::string& error() const override { return error_; }

    // The picture shown last (kept after destroy), 32-bit RGB; null before
    // the first update.
    const SDL_Surface* lastPicture() const { return picture_; }
    int clientWidth() const { return clientWidth_; }
    int clientHeight() const { return clientHeight_; }

    // Draws the controls into any 32-bit surface of the client size.
    void draw(SDL_Surface* target) const;

private:
    struct OpenList {
        int id = 0;
        int first = 0;     // first entry shown
        int hot = -1;      // entry under the mouse
        SDL_Rect area{};   // where the entries are drawn
    };

    void handle(const SDL_Event& event);
    void mouseDown(int x, int y);
    void mouseUp(int x, int y);
    void mouseMove(int x, int y);
    void keyDown(SDL_Keycode key);
    void openList(DialogControl& control);
    void pick(DialogControl& control, int index);
    bool mine(Uint32 windowId) const;
    SDL_Rect listArea(const DialogControl& control) const;
    int visibleRows(const DialogControl& control) const;
    void drawText(SDL_Surface* target, std::string_view text, int x, int y, SDL_Color color,
                  int clipRight) const;

    std::string fontPath_;
    TTF_Font* font_ = nullptr;
    bool videoReady_ = false;
    bool ttfReady_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Surface* picture_ = nullptr;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    DialogControls controls_;
    std::deque<DialogEvent> events_;
    std::unique_ptr<OpenList> open_;
    int pressedButton_ = 0;  // id of the button held down, 0 for none
    int focusedList_ = 0;
    std::string error_;
};

}  // namespace zor
