#pragma once
// The player's display on the real display device: initDisplay with the
// set-up window, the logo, the renderer slots and the two start-up calls
// (clear, logo blit) over any DisplayLayer.

#include <iosfwd>
#include <memory>
#include <string>

#include "app/player.h"
#include "app/setup_window.h"
#include "display/display.h"
#include "platform/dialog.h"

namespace zor {

// The set-up window's lists for the display's adapters and their modes.
std::vector<SetupAdapter> setupAdapters(const std::vector<DisplayAdapter>& adapters);
// The display's selection for a choice of the set-up window: the adapter's
// GUID and a copy of the mode.
void selectionFor(const std::vector<DisplayAdapter>& adapters, const SetupChoice& choice,
                  DisplaySelection& selection);

// Runs the set-up window on `dialog` and turns the choice into the display's
// selection (the adapter's GUID, a copy of the mode). Where the window cannot
// be shown, its default choice is taken and `notes` says so; a window that
// cannot be made is named there too.
SetupWindowFunction makeSetupWindowFunction(DialogWindow& dialog, std::ostream& notes);

class DevicePlayerDisplay final : public PlayerDisplay {
public:
    DevicePlayerDisplay(DisplayLayer& layer, WindowSystem& system, SetupWindowFunction setupWindow);

    bool initDisplay(void* window) override;
    void loadLogo(std::string_view name) override;
    RenderSlots* initRenderer(int mode) override;
    void clearTarget() override;
    void blitLogo() override;
    void printDiagnostics(std::ostream& out) override;
    bool setupCancelled() const override { return context_.setupCancelled; }
    std::string failure() const override { return context_.failure; }
    void setDataSource(const DataSource& source) override { context_.source = source; }
    std::optional<int> fatalStatus() const override;

    DisplayContext& context() { return context_; }
    const Image& logo() const { return logo_; }

private:
    DisplayContext context_;
    SetupWindowFunction setupWindow_;
    Diagnostics diagnostics_;
    Image logo_;
    std::unique_ptr<RenderSlots> slots_;
};

}  // namespace zor
