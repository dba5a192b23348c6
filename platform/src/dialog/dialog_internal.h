#pragma once
// Inside the dialog layer: the state a dialog shares with its rendering, and
// the table of operations every rendering fills in.
//
// Lock order: Dialog::Core::mu is a leaf. Renderings copy the state out
// under it and draw with it released; notices are posted with it released.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hcyplat/dialog.h"

namespace plat::dialog {

struct ListState {
    std::vector<DialogRow> rows;
    int selected = -1;
};

// What a rendering draws, copied out of the core in one piece.
struct DialogState {
    std::map<int, std::string> texts;  // every control with an id but lists
    std::map<int, bool> checks;        // check boxes
    std::map<int, ListState> lists;
    bool open = true;
};

// Draws `state` on the text grid of `layout` (see Dialog::RenderText).
std::string RenderText(const DialogLayout& layout, const DialogState& state);

// A rendering. Every operation is called with no lock of the core held.
struct Backend {
    DialogRendering rendering;
    // Shows the dialog; false when this rendering cannot show it now.
    bool (*open)(const std::shared_ptr<Dialog::Core>& core);
    // The state changed: redraw soon, without waiting.
    void (*changed)(const std::shared_ptr<Dialog::Core>& core);
    // The owner closed the dialog (the state says so already).
    void (*close)(const std::shared_ptr<Dialog::Core>& core);
    // The owner's Dialog is gone: the last call for this core.
    void (*release)(const std::shared_ptr<Dialog::Core>& core);
    // User input given through Dialog::Choose, Click and CloseBox: the
    // rendering delivers it as its own controls would.
    void (*choose)(const std::shared_ptr<Dialog::Core>& core, int listId, int row);
    void (*click)(const std::shared_ptr<Dialog::Core>& core, int id);
    void (*closeBox)(const std::shared_ptr<Dialog::Core>& core);
    std::optional<DialogRowsShown> (*shownRows)(const std::shared_ptr<Dialog::Core>& core,
                                                int listId, std::chrono::milliseconds timeout);
    std::optional<DialogImage> (*capture)(const std::shared_ptr<Dialog::Core>& core,
                                          Dialog::Capture how, std::chrono::milliseconds timeout);
};

const Backend& TextBackend();
// The window rendering, or one whose open always fails when this build has
// no window toolkit.
const Backend& WindowBackend();

}  // namespace plat::dialog

namespace plat {

struct Dialog::Core {
    Core(DialogLayout layout, DialogNotice notice);

    const DialogLayout layout;
    const DialogNotice notice;
    const dialog::Backend* backend = nullptr;  // set before the core is shared

    // Set while a redraw is asked for and not yet begun (the window
    // rendering's coalescing of several changes into one redraw).
    std::atomic<bool> redrawPending{false};

    const DialogControl* Find(int id) const;

    dialog::DialogState Snapshot() const;

    // User input, from the rendering's controls. `key` is the first cell of
    // the chosen row as the control showed it: the row is found again by it
    // in the current rows, which the owner may have replaced meanwhile.
    void UserChoose(int listId, const std::string& key, bool none);
    void UserCheck(int id, std::optional<bool> checked);  // none: toggle
    void UserClose(int control);

    mutable std::mutex mu;
    std::condition_variable eventCv;
    dialog::DialogState state;       // under mu
    std::deque<DialogEvent> events;  // under mu

private:
    // Queues the event under mu, then posts the notice without it.
    void Announce(std::unique_lock<std::mutex>& lock, DialogEvent event);
};

}  // namespace plat
