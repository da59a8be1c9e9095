#include "app/device_display.h"

#include <ostream>

#include "frame/render_slots.h"

namespace zor {

std::vector<SetupAdapter> setupAdapters(const std::vector<DisplayAdapter>& adapters) {
    std::vector<SetupAdapter> lists;
    lists.reserve(adapters.size());
    for (const DisplayAdapter& adapter : adapters) {
        SetupAdapter& list = lists.emplace_back();
        list.description = adapter.description;
        for (const SurfaceDesc& mode : adapter.modes) {
            list.modes.push_back({mode.width, mode.height, mode.pixelFormat.rgbBitCount, mode.multiSampleCount});
        }
    }
    return lists;
}

void selectionFor(const std::vector<DisplayAdapter>& adapters, const SetupChoice& choice,
                  DisplaySelection& selection) {
    const DisplayAdapter& adapter = adapters[static_cast<std::size_t>(choice.adapter)];
    selection.selectedGuid = adapter.guid;
    selection.selectedMode = adapter.modes[static_cast<std::size_t>(choice.mode)];
}

SetupWindowFunction makeSetupWindowFunction(DialogWindow& dialog, std::ostream& notes) {
    return [&dialog, &notes](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
        const std::vector<SetupAdapter> lists = setupAdapters(adapters);
        SetupChoice choice;
        std::string why;
        if (!dialog.canBeShown(why)) {
            // No one could answer the window: take what it would offer.
            choice = defaultSetupChoice(lists);
            std::string refusal;
            if (!acceptableChoice(lists, choice, refusal)) {
                notes << "zor: the set-up window cannot be shown (" << why << ") and its default choice is refused: "
                      << refusal << '\n';
                return false;
            }
            const SetupAdapter& adapter = lists[static_cast<std::size_t>(choice.adapter)];
            notes << "zor: the set-up window cannot be shown (" << why << "); taking its default choice: adapter \""
                  << adapter.description << "\", " << modeText(adapter.modes[static_cast<std::size_t>(choice.mode)])
                  << '\n';
        } else if (!runSetupWindow(dialog, lists, choice)) {
            if (!dialog.error().empty()) notes << "zor: the set-up window cannot be made: " << dialog.error() << '\n';
            return false;
        }
        selectionFor(adapters, choice, selection);
        return true;
    };
}

DevicePlayerDisplay::DevicePlayerDisplay(DisplayLayer& layer, WindowSystem& system, SetupWindowFunction setupWindow)
    : context_(layer), setupWindow_(std::move(setupWindow)) {
    context_.showMessage = [&system](std::string_view caption, std::string_view text) {
        system.messageBox(caption, text);
    };
    context_.diagnostics = &diagnostics_;
}

bool DevicePlayerDisplay::initDisplay(void* window) {
    return zor::initDisplay(context_, window, kPlayerCooperativeFlags, setupWindow_);
}

void DevicePlayerDisplay::loadLogo(std::string_view name) { loadImageSurface(context_, logo_, name); }

RenderSlots* DevicePlayerDisplay::initRenderer(int mode) {
    slots_ = zor::initRenderer(mode, context_);
    return slots_.get();
}

void DevicePlayerDisplay::clearTarget() { zor::clearTarget(context_); }

void DevicePlayerDisplay::blitLogo() { zor::blitLogo(context_, logo_); }

std::optional<int> DevicePlayerDisplay::fatalStatus() const {
    if (!context_.fatalError) return std::nullopt;
    return context_.fatalError->status;
}

void DevicePlayerDisplay::printDiagnostics(std::ostream& out) {
    diagnostics_.print(out);
    diagnostics_.clear();
}

}  // namespace zor
