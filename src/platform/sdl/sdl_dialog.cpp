#include "platform/sdl/sdl_dialog.h"

#include <SDL2/SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "platform/sdl/sdl_video.h"
#include "platform/sdl/sdl_window_system.h"

namespace zor {

namespace {

// Outer frame a window of the requested size would spend on its title bar
// and borders.
constexpr int kFrameWidth = 3;
constexpr int kCaptionHeight = 19;
constexpr int kBoxHeight = 21;     // a closed drop-down list
constexpr int kRowHeight = 13;     // one list entry
constexpr int kDropButtonWidth = 16;

constexpr SDL_Color kFace{192, 192, 192, 255};
constexpr SDL_Color kLight{223, 223, 223, 255};
constexpr SDL_Color kHighlight{255, 255, 255, 255};
constexpr SDL_Color kShadow{128, 128, 128, 255};
constexpr SDL_Color kDark{0, 0, 0, 255};
constexpr SDL_Color kWindow{255, 255, 255, 255};
constexpr SDL_Color kSelection{0, 0, 128, 255};
constexpr SDL_Color kText{0, 0, 0, 255};
constexpr SDL_Color kSelectedText{255, 255, 255, 255};

bool inside(const SDL_Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }

void fill(SDL_Surface* s, const SDL_Rect& r, SDL_Color c) {
    SDL_FillRect(s, &r, SDL_MapRGB(s->format, c.r, c.g, c.b));
}

void hLine(SDL_Surface* s, int x, int y, int w, SDL_Color c) { fill(s, {x, y, w, 1}, c); }
void vLine(SDL_Surface* s, int x, int y, int h, SDL_Color c) { fill(s, {x, y, 1, h}, c); }

// Two-pixel bevel: outer top-left, inner top-left, inner bottom-right, outer
// bottom-right colours.
void bevel(SDL_Surface* s, const SDL_Rect& r, SDL_Color outerTL, SDL_Color innerTL, SDL_Color innerBR,
           SDL_Color outerBR) {
    hLine(s, r.x, r.y, r.w - 1, outerTL);
    vLine(s, r.x, r.y, r.h - 1, outerTL);
    hLine(s, r.x, r.y + r.h - 1, r.w, outerBR);
    vLine(s, r.x + r.w - 1, r.y, r.h, outerBR);
    hLine(s, r.x + 1, r.y + 1, r.w - 3, innerTL);
    vLine(s, r.x + 1, r.y + 1, r.h - 3, innerTL);
    hLine(s, r.x + 1, r.y + r.h - 2, r.w - 2, innerBR);
    vLine(s, r.x + r.w - 2, r.y + 1, r.h - 2, innerBR);
}

void raised(SDL_Surface* s, const SDL_Rect& r) { bevel(s, r, kHighlight, kLight, kShadow, kDark); }
void sunken(SDL_Surface* s, const SDL_Rect& r) { bevel(s, r, kShadow, kDark, kLight, kHighlight); }

void downArrow(SDL_Surface* s, int centerX, int top) {
    for (int row = 0; row < 4; ++row) hLine(s, centerX - 3 + row, top + row, 7 - 2 * row, kDark);
}

SDL_Rect boxRect(const ControlSpec& spec) { return {spec.x, spec.y, spec.width, kBoxHeight}; }
SDL_Rect rectOf(const ControlSpec& spec) { return {spec.x, spec.y, spec.width, spec.height}; }

}  // namespace

SdlDialog::SdlDialog(std::string fontPath) : fontPath_(std::move(fontPath)) {}

SdlDialog::~SdlDialog() {
    destroy();
    if (picture_) SDL_FreeSurface(picture_);
    if (font_) TTF_CloseFont(font_);
    if (ttfReady_) TTF_Quit();
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int SdlDialog::screenWidth() {
    if (!videoReady_) videoReady_ = startSdlVideo(false, error_);
    SDL_DisplayMode mode{};
    return videoReady_ && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.w : 640;
}

int SdlDialog::screenHeight() {
    if (!videoReady_) videoReady_ = startSdlVideo(false, error_);
    SDL_DisplayMode mode{};
    return videoReady_ && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.h : 480;
}

bool SdlDialog::canBeShown(std::string& why) {
    if (!videoReady_) videoReady_ = startSdlVideo(false, error_);
    if (displayCanShowBoxes()) return true;
    const char* driver = videoReady_ ? SDL_GetCurrentVideoDriver() : std::getenv("SDL_VIDEODRIVER");
    why = std::string("SDL's \"") + (driver ? driver : "") + "\" video driver has no screen";
    return false;
}

bool SdlDialog::create(std::string_view title, int x, int y, int width, int height) {
    if (!videoReady_) {
        std::string why;
        if (!startSdlVideo(false, why)) {
            error_ = "cannot start the video system: " + why;
            return false;
        }
        videoReady_ = true;
    }
    if (!ttfReady_) {
        if (TTF_Init() != 0) {
            error_ = std::string("cannot start the font renderer: ") + TTF_GetError();
            return false;
        }
        ttfReady_ = true;
    }
    if (!font_) {
        font_ = TTF_OpenFont(fontPath_.c_str(), kDialogFontSize);
        if (!font_) {
            error_ = "cannot open the font \"" + fontPath_ + "\" (Debian package fonts-dejavu-core): " +
                     TTF_GetError();
            return false;
        }
        TTF_SetFontHinting(font_, TTF_HINTING_NORMAL);
    }
    clientWidth_ = std::max(1, width - 2 * kFrameWidth);
    clientHeight_ = std::max(1, height - 2 * kFrameWidth - kCaptionHeight);
    const std::string name(title);
    window_ = SDL_CreateWindow(name.c_str(), x + kFrameWidth, y + kFrameWidth + kCaptionHeight, clientWidth_,
                               clientHeight_, SDL_WINDOW_SHOWN);
    if (!window_) {
        error_ = std::string("cannot create the window \"") + name + "\": " + SDL_GetError();
        return false;
    }
    if (picture_) SDL_FreeSurface(picture_);
    picture_ = SDL_CreateRGBSurfaceWithFormat(0, clientWidth_, clientHeight_, 32, SDL_PIXELFORMAT_RGB888);
    controls_.clear();
    events_.clear();
    open_.reset();
    pressedButton_ = 0;
    focusedList_ = 0;
    return picture_ != nullptr;
}

void SdlDialog::addString(int id, std::string_view text) {
    if (DialogControl* control = controls_.find(id)) control->items.emplace_back(text);
}

void SdlDialog::setCurSel(int id, int index) {
    if (DialogControl* control = controls_.find(id)) {
        const bool valid = index >= 0 && static_cast<std::size_t>(index) < control->items.size();
        control->selected = valid ? index : kNoSelection;
    }
}

int SdlDialog::getCurSel(int id) const {
    const DialogControl* control = controls_.find(id);
    return control ? control->selected : kNoSelection;
}

void SdlDialog::resetContent(int id) {
    if (DialogControl* control = controls_.find(id)) {
        control->items.clear();
        control->selected = kNoSelection;
        if (open_ && open_->id == id) open_.reset();
    }
}

// ---- drawing ----------------------------------------------------------------

void SdlDialog::drawText(SDL_Surface* target, std::string_view text, int x, int y, SDL_Color color,
                         int clipRight) const {
    if (!font_ || text.empty()) return;
    const std::string s(text);
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(font_, s.c_str(), color);
    if (!rendered) return;
    SDL_Rect clip{x, y, std::max(0, clipRight - x), rendered->h};
    SDL_Rect old;
    SDL_GetClipRect(target, &old);
    SDL_Rect both;
    if (SDL_IntersectRect(&clip, &old, &both)) {
        SDL_SetClipRect(target, &both);
        SDL_Rect at{x, y, 0, 0};
        SDL_BlitSurface(rendered, nullptr, target, &at);
        SDL_SetClipRect(target, &old);
    }
    SDL_FreeSurface(rendered);
}

int SdlDialog::visibleRows(const DialogControl& control) const {
    const int fit = std::max(1, (clientHeight_ - 2) / kRowHeight);
    const int wanted = std::max(1, static_cast<int>(control.items.size()));
    // The control's own height bounds its list, as a drop-down list's does.
    const int own = std::max(1, (control.spec.height - kBoxHeight - 2) / kRowHeight);
    return std::min({fit, wanted, own});
}

SDL_Rect SdlDialog::listArea(const DialogControl& control) const {
    const int rows = visibleRows(control);
    const int h = rows * kRowHeight + 2;
    int top = control.spec.y + kBoxHeight;
    if (top + h > clientHeight_) top = std::max(0, clientHeight_ - h);
    return {control.spec.x, top, control.spec.width, h};
}

void SdlDialog::draw(SDL_Surface* target) const {
    SDL_SetClipRect(target, nullptr);
    fill(target, {0, 0, target->w, target->h}, kFace);
    const int lineSkip = font_ ? TTF_FontLineSkip(font_) : kRowHeight;
    for (const DialogControl& control : controls_.all()) {
        const ControlSpec& spec = control.spec;
        switch (spec.kind) {
        case ControlKind::Label:
            drawText(target, spec.text, spec.x, spec.y, kText, spec.x + spec.width);
            break;
        case ControlKind::Button: {
            SDL_Rect r = rectOf(spec);
            fill(target, r, kFace);
            // The default button wears a black frame.
            fill(target, {r.x, r.y, r.w, 1}, kDark);
            fill(target, {r.x, r.y + r.h - 1, r.w, 1}, kDark);
            fill(target, {r.x, r.y, 1, r.h}, kDark);
            fill(target, {r.x + r.w - 1, r.y, 1, r.h}, kDark);
            const SDL_Rect inner{r.x + 1, r.y + 1, r.w - 2, r.h - 2};
            const bool down = pressedButton_ == spec.id;
            if (down) {
                fill(target, {inner.x, inner.y, inner.w, 1}, kShadow);
                fill(target, {inner.x, inner.y + inner.h - 1, inner.w, 1}, kShadow);
                fill(target, {inner.x, inner.y, 1, inner.h}, kShadow);
                fill(target, {inner.x + inner.w - 1, inner.y, 1, inner.h}, kShadow);
            } else {
                raised(target, inner);
            }
            int w = 0, h = 0;
            if (font_) TTF_SizeUTF8(font_, spec.text.c_str(), &w, &h);
            const int shift = down ? 1 : 0;
            drawText(target, spec.text, r.x + (r.w - w) / 2 + shift, r.y + (r.h - lineSkip) / 2 + shift, kText,
                     r.x + r.w - 3);
            break;
        }
        case ControlKind::DropDownList: {
            const SDL_Rect box = boxRect(spec);
            fill(target, box, kWindow);
            sunken(target, box);
            const SDL_Rect button{box.x + box.w - 2 - kDropButtonWidth, box.y + 2, kDropButtonWidth, box.h - 4};
            fill(target, button, kFace);
            raised(target, button);
            downArrow(target, button.x + button.w / 2, button.y + button.h / 2 - 1);
            if (control.selected != kNoSelection) {
                const SDL_Rect field{box.x + 3, box.y + 3, button.x - box.x - 4, box.h - 6};
                const bool focused = focusedList_ == spec.id && !open_;
                if (focused) fill(target, field, kSelection);
                drawText(target, control.items[static_cast<std::size_t>(control.selected)], field.x + 1,
                         box.y + (box.h - lineSkip) / 2, focused ? kSelectedText : kText, field.x + field.w);
            }
            break;
        }
        }
    }
    // An open list lies over everything else.
    if (open_) {
        const DialogControl* control = controls_.find(open_->id);
        if (!control) return;
        const SDL_Rect area = open_->area;
        fill(target, area, kWindow);
        fill(target, {area.x, area.y, area.w, 1}, kDark);
        fill(target, {area.x, area.y + area.h - 1, area.w, 1}, kDark);
        fill(target, {area.x, area.y, 1, area.h}, kDark);
        fill(target, {area.x + area.w - 1, area.y, 1, area.h}, kDark);
        const int rows = visibleRows(*control);
        const int marked = open_->hot >= 0 ? open_->hot : control->selected;
        for (int row = 0; row < rows; ++row) {
            const int index = open_->first + row;
            if (index < 0 || static_cast<std::size_t>(index) >= control->items.size()) break;
            const SDL_Rect line{area.x + 1, area.y + 1 + row * kRowHeight, area.w - 2, kRowHeight};
            const bool mark = index == marked;
            if (mark) fill(target, line, kSelection);
            drawText(target, control->items[static_cast<std::size_t>(index)], line.x + 2,
                     line.y + (kRowHeight - lineSkip) / 2, mark ? kSelectedText : kText, line.x + line.w - 1);
        }
    }
}

void SdlDialog::update() {
    if (!window_ || !picture_) return;
    draw(picture_);
    if (SDL_Surface* screen = SDL_GetWindowSurface(window_)) {
        SDL_BlitSurface(picture_, nullptr, screen, nullptr);
        SDL_UpdateWindowSurface(window_);
    }
}

// ---- input ------------------------------------------------------------------

bool SdlDialog::mine(Uint32 windowId) const {
    // Synthetic events may carry no window.
    return windowId == 0 || (window_ && windowId == SDL_GetWindowID(window_));
}

void SdlDialog::openList(DialogControl& control) {
    open_ = std::make_unique<OpenList>();
    open_->id = control.spec.id;
    open_->area = listArea(control);
    const int rows = visibleRows(control);
    const int selected = std::max(0, control.selected);
    const int last = std::max(0, static_cast<int>(control.items.size()) - rows);
    open_->first = std::clamp(selected - rows / 2, 0, last);
    open_->hot = control.selected;
}

void SdlDialog::pick(DialogControl& control, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= control.items.size()) return;
    if (index == control.selected) return;
    control.selected = index;
    events_.push_back({DialogEventKind::Command, control.spec.id, kSelectionChanged});
}

void SdlDialog::mouseDown(int x, int y) {
    if (open_) {
        DialogControl* control = controls_.find(open_->id);
        const SDL_Rect area = open_->area;
        if (control && inside(area, x, y)) {
            const int row = (y - area.y - 1) / kRowHeight;
            pick(*control, open_->first + row);
        }
        open_.reset();
        update();
        return;
    }
    for (DialogControl& control : controls_.all()) {
        const ControlSpec& spec = control.spec;
        if (spec.kind == ControlKind::DropDownList && inside(boxRect(spec), x, y)) {
            focusedList_ = spec.id;
            if (!control.items.empty()) openList(control);
            update();
            return;
        }
        if (spec.kind == ControlKind::Button && inside(rectOf(spec), x, y)) {
            pressedButton_ = spec.id;
            update();
            return;
        }
    }
}

void SdlDialog::mouseUp(int x, int y) {
    if (pressedButton_ == 0) return;
    const DialogControl* control = controls_.find(pressedButton_);
    if (control && inside(rectOf(control->spec), x, y)) {
        events_.push_back({DialogEventKind::Command, pressedButton_, kButtonClicked});
    }
    pressedButton_ = 0;
    update();
}

void SdlDialog::mouseMove(int x, int y) {
    if (!open_) return;
    const SDL_Rect area = open_->area;
    const int hot = inside(area, x, y) ? open_->first + (y - area.y - 1) / kRowHeight : open_->hot;
    if (hot != open_->hot) {
        open_->hot = hot;
        update();
    }
}

void SdlDialog::keyDown(SDL_Keycode key) {
    if (open_) {
        DialogControl* control = controls_.find(open_->id);
        if (!control) return;
        const int count = static_cast<int>(control->items.size());
        const int rows = visibleRows(*control);
        switch (key) {
        case SDLK_UP:
        case SDLK_DOWN: {
            const int from = open_->hot >= 0 ? open_->hot : std::max(0, control->selected);
            open_->hot = std::clamp(from + (key == SDLK_UP ? -1 : 1), 0, std::max(0, count - 1));
            if (open_->hot < open_->first) open_->first = open_->hot;
            if (open_->hot >= open_->first + rows) open_->first = open_->hot - rows + 1;
            break;
        }
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            pick(*control, open_->hot);
            open_.reset();
            break;
        case SDLK_ESCAPE:
            open_.reset();
            break;
        default:
            return;
        }
        update();
        return;
    }
    if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
        for (const DialogControl& control : controls_.all()) {
            if (control.spec.kind == ControlKind::Button) {
                events_.push_back({DialogEventKind::Command, control.spec.id, kButtonClicked});
                return;
            }
        }
        return;
    }
    if (key == SDLK_UP || key == SDLK_DOWN) {
        if (focusedList_ == 0) {
            for (const DialogControl& control : controls_.all()) {
                if (control.spec.kind == ControlKind::DropDownList) focusedList_ = control.spec.id;
            }
        }
        if (DialogControl* control = controls_.find(focusedList_)) {
            pick(*control, std::max(0, control->selected) + (key == SDLK_UP ? -1 : 1));
            update();
        }
    }
}

void SdlDialog::handle(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        events_.push_back({DialogEventKind::Quit, 0, 0});
        break;
    case SDL_WINDOWEVENT:
        if (!mine(event.window.windowID)) break;
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) events_.push_back({DialogEventKind::Quit, 0, 0});
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED) update();
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (mine(event.button.windowID) && event.button.button == SDL_BUTTON_LEFT) {
            mouseDown(event.button.x, event.button.y);
        }
        break;
    case SDL_MOUSEBUTTONUP:
        if (mine(event.button.windowID) && event.button.button == SDL_BUTTON_LEFT) {
            mouseUp(event.button.x, event.button.y);
        }
        break;
    case SDL_MOUSEMOTION:
        if (mine(event.motion.windowID)) mouseMove(event.motion.x, event.motion.y);
        break;
    case SDL_MOUSEWHEEL:
        if (open_ && mine(event.wheel.windowID)) {
            if (const DialogControl* control = controls_.find(open_->id)) {
                const int last = std::max(0, static_cast<int>(control->items.size()) - visibleRows(*control));
                open_->first = std::clamp(open_->first - event.wheel.y, 0, last);
                update();
            }
        }
        break;
    case SDL_KEYDOWN:
        if (mine(event.key.windowID)) keyDown(event.key.keysym.sym);
        break;
    default:
        break;
    }
}

bool SdlDialog::peekEvent(DialogEvent& event) {
    if (!window_) {
        event = {DialogEventKind::Quit, 0, 0};
        return true;
    }
    // One input event at a time: what it does to the controls must be seen
    // by the program before the next one changes them again.
    SDL_Event sdlEvent;
    while (events_.empty() && SDL_PollEvent(&sdlEvent)) handle(sdlEvent);
    // Nothing to do: wait a little for input instead of spinning.
    if (events_.empty() && SDL_WaitEventTimeout(&sdlEvent, 10)) handle(sdlEvent);
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void SdlDialog::messageBox(std::string_view caption, std::string_view text) {
    writeMessageBoxLine(std::cerr, caption, text);
    if (!displayCanShowBoxes()) return;
    const std::string c(caption), t(text);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, c.c_str(), t.c_str(), window_);
}

void SdlDialog::destroy() {
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    open_.reset();
}

}  // namespace zor
