// Dialogs: the state shared with the rendering, the owner's calls, and the
// choice of rendering.
#include "hcyplat/dialog.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "dialog_internal.h"
#include "hcyplat/window.h"

namespace plat {
namespace {

std::atomic<DialogRendering> g_defaultRendering{DialogRendering::Automatic};

// Every dialog's core while its Dialog lives, oldest first.
struct Registry {
    std::mutex mu;
    std::vector<std::weak_ptr<Dialog::Core>> cores;
};
Registry& Dialogs() {
    static auto* registry = new Registry;  // never destroyed: dialogs may outlive statics
    return *registry;
}

// The row of `rows` whose first cell is `key`, or -1.
int FindRow(const std::vector<DialogRow>& rows, const std::string& key) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].empty() && rows[i][0] == key) return static_cast<int>(i);
    return -1;
}

std::string FirstCell(const dialog::ListState& list, int row) {
    if (row < 0 || row >= static_cast<int>(list.rows.size()) || list.rows[row].empty()) return {};
    return list.rows[row][0];
}

}  // namespace

void SetDefaultDialogRendering(DialogRendering rendering) { g_defaultRendering = rendering; }

namespace {

// The process's open dialogs, oldest first, with their states.
std::vector<std::pair<std::shared_ptr<Dialog::Core>, dialog::DialogState>> OpenDialogs() {
    std::vector<std::shared_ptr<Dialog::Core>> cores;
    {
        std::lock_guard lock(Dialogs().mu);
        for (const auto& weak : Dialogs().cores)
            if (auto core = weak.lock()) cores.push_back(std::move(core));
    }
    std::vector<std::pair<std::shared_ptr<Dialog::Core>, dialog::DialogState>> open;
    for (auto& core : cores) {
        dialog::DialogState state = core->Snapshot();
        if (state.open) open.emplace_back(std::move(core), std::move(state));
    }
    return open;
}

}  // namespace

std::vector<std::string> OpenDialogTexts() {
    std::vector<std::string> texts;
    for (const auto& [core, state] : OpenDialogs())
        texts.push_back(dialog::RenderText(core->layout, state));
    return texts;
}

bool ChooseOpenDialogRow(std::size_t index, int row) {
    const auto open = OpenDialogs();
    if (index >= open.size()) return false;
    const auto& [core, state] = open[index];
    if (state.lists.empty()) return false;
    const auto& [listId, list] = *state.lists.begin();
    if (row < -1 || row >= static_cast<int>(list.rows.size())) return false;
    core->backend->choose(core, listId, row);
    return true;
}

Dialog::Core::Core(DialogLayout layoutIn, DialogNotice noticeIn)
    : layout(std::move(layoutIn)), notice(noticeIn) {
    for (const DialogControl& c : layout.controls) {
        if (c.id == 0) continue;
        switch (c.kind) {
        case DialogControlKind::List: state.lists[c.id]; break;
        case DialogControlKind::CheckBox:
            state.checks[c.id] = false;
            state.texts[c.id] = c.text;
            break;
        default: state.texts[c.id] = c.text; break;
        }
    }
}

const DialogControl* Dialog::Core::Find(int id) const {
    if (id == 0) return nullptr;
    for (const DialogControl& c : layout.controls)
        if (c.id == id) return &c;
    return nullptr;
}

dialog::DialogState Dialog::Core::Snapshot() const {
    std::lock_guard lock(mu);
    return state;
}

void Dialog::Core::Announce(std::unique_lock<std::mutex>& lock, DialogEvent event) {
    if (events.size() >= kDialogEventLimit) events.pop_front();
    events.push_back(event);
    lock.unlock();
    eventCv.notify_all();
    if (notice.window != 0)
        PostMessage(notice.window, notice.message, notice.wParam, static_cast<LPARAM>(event.kind));
}

void Dialog::Core::UserChoose(int listId, const std::string& key, bool none) {
    std::unique_lock lock(mu);
    auto it = state.lists.find(listId);
    if (!state.open || it == state.lists.end()) return;
    const int row = none ? -1 : FindRow(it->second.rows, key);
    if (row == it->second.selected) return;
    it->second.selected = row;
    Announce(lock, {DialogEvent::Kind::Selected, listId, row});
}

void Dialog::Core::UserCheck(int id, std::optional<bool> checked) {
    std::unique_lock lock(mu);
    auto it = state.checks.find(id);
    if (!state.open || it == state.checks.end()) return;
    it->second = checked.value_or(!it->second);
    Announce(lock, {DialogEvent::Kind::Checked, id, it->second ? 1 : 0});
}

void Dialog::Core::UserClose(int control) {
    std::unique_lock lock(mu);
    if (!state.open) return;
    state.open = false;
    Announce(lock, {DialogEvent::Kind::Closed, control, 0});
}

Dialog::Dialog(std::shared_ptr<Core> core) : core_(std::move(core)) {}

std::unique_ptr<Dialog> Dialog::Create(DialogLayout layout, DialogOptions options) {
    auto core = std::make_shared<Core>(std::move(layout), options.notice);
    DialogRendering wanted = options.rendering;
    if (wanted == DialogRendering::Automatic) wanted = g_defaultRendering.load();
    core->backend = &dialog::TextBackend();
    if (wanted != DialogRendering::Text) {
        core->backend = &dialog::WindowBackend();
        if (!core->backend->open(core)) core->backend = &dialog::TextBackend();
    }
    {
        std::lock_guard lock(Dialogs().mu);
        Dialogs().cores.push_back(core);
    }
    return std::unique_ptr<Dialog>(new Dialog(std::move(core)));
}

Dialog::~Dialog() {
    {
        std::lock_guard lock(Dialogs().mu);
        std::erase_if(Dialogs().cores, [&](const std::weak_ptr<Core>& weak) {
            return weak.expired() || weak.lock() == core_;
        });
    }
    Close();
    core_->backend->release(core_);
}

DialogRendering Dialog::Rendering() const { return core_->backend->rendering; }
const DialogLayout& Dialog::Layout() const { return core_->layout; }

void Dialog::SetText(int id, std::string text) { SetTexts({{id, std::move(text)}}); }

void Dialog::SetTexts(std::vector<std::pair<int, std::string>> texts) {
    bool changed = false;
    {
        std::lock_guard lock(core_->mu);
        for (auto& [id, text] : texts) {
            auto it = core_->state.texts.find(id);
            if (it == core_->state.texts.end() || it->second == text) continue;
            it->second = std::move(text);
            changed = true;
        }
    }
    if (changed) core_->backend->changed(core_);
}

void Dialog::SetRows(int listId, std::vector<DialogRow> rows) {
    {
        std::lock_guard lock(core_->mu);
        auto it = core_->state.lists.find(listId);
        if (it == core_->state.lists.end()) return;
        dialog::ListState& list = it->second;
        const std::string key = FirstCell(list, list.selected);
        list.selected = list.selected < 0 ? -1 : FindRow(rows, key);
        list.rows = std::move(rows);
    }
    core_->backend->changed(core_);
}

void Dialog::SetChecked(int id, bool checked) {
    {
        std::lock_guard lock(core_->mu);
        auto it = core_->state.checks.find(id);
        if (it == core_->state.checks.end() || it->second == checked) return;
        it->second = checked;
    }
    core_->backend->changed(core_);
}

bool Dialog::Checked(int id) const {
    std::lock_guard lock(core_->mu);
    auto it = core_->state.checks.find(id);
    return it != core_->state.checks.end() && it->second;
}

std::string Dialog::Text(int id) const {
    std::lock_guard lock(core_->mu);
    auto it = core_->state.texts.find(id);
    return it == core_->state.texts.end() ? std::string() : it->second;
}

std::vector<DialogRow> Dialog::Rows(int listId) const {
    std::lock_guard lock(core_->mu);
    auto it = core_->state.lists.find(listId);
    return it == core_->state.lists.end() ? std::vector<DialogRow>() : it->second.rows;
}

int Dialog::SelectedRow(int listId) const {
    std::lock_guard lock(core_->mu);
    auto it = core_->state.lists.find(listId);
    return it == core_->state.lists.end() ? -1 : it->second.selected;
}

std::string Dialog::SelectedRowText(int listId) const {
    std::lock_guard lock(core_->mu);
    auto it = core_->state.lists.find(listId);
    return it == core_->state.lists.end() ? std::string()
                                          : FirstCell(it->second, it->second.selected);
}

bool Dialog::IsOpen() const {
    std::lock_guard lock(core_->mu);
    return core_->state.open;
}

void Dialog::Close() {
    {
        std::lock_guard lock(core_->mu);
        if (!core_->state.open) return;
        core_->state.open = false;
    }
    core_->backend->close(core_);
}

void Dialog::Choose(int listId, int row) { core_->backend->choose(core_, listId, row); }
void Dialog::Click(int id) { core_->backend->click(core_, id); }
void Dialog::CloseBox() { core_->backend->closeBox(core_); }

bool Dialog::NextEvent(DialogEvent& out) {
    std::lock_guard lock(core_->mu);
    if (core_->events.empty()) return false;
    out = core_->events.front();
    core_->events.pop_front();
    return true;
}

bool Dialog::WaitEvent(DialogEvent& out, std::chrono::milliseconds timeout) {
    std::unique_lock lock(core_->mu);
    if (!core_->eventCv.wait_for(lock, timeout, [&] { return !core_->events.empty(); }))
        return false;
    out = core_->events.front();
    core_->events.pop_front();
    return true;
}

std::string Dialog::RenderText() const {
    return dialog::RenderText(core_->layout, core_->Snapshot());
}

std::optional<DialogRowsShown> Dialog::ShownRows(int listId,
                                                 std::chrono::milliseconds timeout) const {
    return core_->backend->shownRows(core_, listId, timeout);
}

std::optional<DialogImage> Dialog::CaptureImage(Capture how,
                                                std::chrono::milliseconds timeout) const {
    return core_->backend->capture(core_, how, timeout);
}

}  // namespace plat
