// The window rendering: FLTK windows on an X display, every one of them on
// one UI thread of the platform.
//
//   owner threads ──Post(command)──> command queue + eventfd ──> UI thread (Fl::wait)
//                                                                 │ runs the commands,
//                                                                 │ owns every widget
//   user input ──> widget callbacks ──> Core::User* (state, event, notice)
//
// Only the UI thread calls FLTK or Xlib. It starts with the first window
// (after opening the display, which a start waits for at most kStartLimit)
// and ends when the owner's last window Dialog is gone. The display, once
// open, stays open for the process: FLTK keeps fonts and visuals of it.
// When the display goes away (the X server ends), the windows count as
// closed and later dialogs use the text rendering; the host goes on.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "dialog_internal.h"
#include "hcyplat/thread.h"
#include "hcyplat/thread_boundary.h"

namespace plat::dialog {
namespace {

constexpr double kPixelsPerUnitX = 1.75;  // [pixels per horizontal dialog unit]
constexpr double kPixelsPerUnitY = 1.75;  // [pixels per vertical dialog unit]
constexpr int kFontSize = 12;             // [pixels]
// List column widths are pixels of the template's font, 1.5 per unit.
constexpr double kTemplatePixelsPerUnit = 1.5;
constexpr int kHeaderHeight = 18;  // [pixels] of a list's column titles
// What a report of an exception says the UI thread was doing.
constexpr const char* kMaking = "making a dialog window";
constexpr const char* kDrawing = "drawing a dialog window";
// How long a start waits for the display to open, and the last window's
// release for the UI thread to end.
constexpr auto kStartLimit = std::chrono::seconds(3);
constexpr auto kStopLimit = std::chrono::seconds(3);

// List lines: cells split by tabs, formats introduced by a character that
// no cell holds (cells are cleaned of both).
constexpr char kFormat = '\x01';

int PxX(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitX)); }
int PxY(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitY)); }

// FLTK draws "@..." labels as symbols; "@@" is a plain '@'.
std::string LabelText(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '@') out += '@';
    }
    return out;
}

std::string Line(const DialogRow& row, const std::vector<DialogListColumn>& columns) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) line += '\t';
        if (columns[i].align == DialogAlign::Center) line += {kFormat, 'c'};
        if (columns[i].align == DialogAlign::Right) line += {kFormat, 'r'};
        line += {kFormat, '.'};  // no more formats in this cell
        if (i < row.size())
            for (char c : row[i]) line += (c == '\t' || c == kFormat) ? ' ' : c;
    }
    return line;
}

DialogRow ParseLine(const char* line) {
    DialogRow row;
    std::string cell;
    auto finish = [&] {
        std::size_t i = 0;
        while (i + 1 < cell.size() && cell[i] == kFormat) {
            const bool last = cell[i + 1] == '.';
            i += 2;
            if (last) break;
        }
        row.push_back(cell.substr(i));
        cell.clear();
    };
    for (const char* p = line ? line : ""; *p; ++p) {
        if (*p == '\t')
            finish();
        else
            cell += *p;
    }
    finish();
    return row;
}

Fl_Align AlignOf(DialogAlign align) {
    switch (align) {
    case DialogAlign::Center: return FL_ALIGN_CENTER | FL_ALIGN_INSIDE;
    case DialogAlign::Right: return FL_ALIGN_RIGHT | FL_ALIGN_INSIDE;
    case DialogAlign::Left: break;
    }
    return FL_ALIGN_LEFT | FL_ALIGN_INSIDE;
}

// A group box: an engraved frame with its title on the top edge.
class GroupFrame : public Fl_Box {
public:
    GroupFrame(int x, int y, int w, int h, const std::string& title) : Fl_Box(x, y, w, h) {
        copy_label(LabelText(title).c_str());
        labelsize(kFontSize);
    }

    void draw() override {
        const int top = y() + labelsize() / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        if (!label() || !*label()) return;
        fl_font(labelfont(), labelsize());
        const int tw = static_cast<int>(fl_width(label())) + 6;
        fl_color(color());
        fl_rectf(x() + 6, y(), tw, labelsize() + 2);
        fl_color(labelcolor());
        fl_draw(label(), x() + 9, y(), tw, labelsize() + 2, FL_ALIGN_LEFT);
    }
};

struct ListView {
    Fl_Hold_Browser* browser = nullptr;
    std::vector<DialogListColumn> columns;
    std::vector<int> widths;  // [pixels], zero-terminated, as FLTK keeps the array
};

void DestroyView(Dialog::Core* core);

// The widgets of one dialog; lives on the UI thread only.
class View {
public:
    explicit View(std::shared_ptr<Dialog::Core> core) : core_(std::move(core)) {
        const DialogLayout& layout = core_->layout;
        window_ = new Fl_Double_Window(PxX(layout.width), PxY(layout.height));
        window_->copy_label(layout.title.c_str());
        window_->callback(OnWindowClose, this);
        for (const DialogControl& c : layout.controls) Build(c);
        window_->end();
        window_->show();
    }

    ~View() {
        window_->hide();
        Fl::delete_widget(window_);
    }

    Fl_Double_Window* window() const { return window_; }

    void Refresh() {
        core_->redrawPending = false;  // changes from now on ask again
        const DialogState state = core_->Snapshot();
        for (const auto& [id, text] : state.texts) {
            auto it = widgets_.find(id);
            if (it == widgets_.end()) continue;
            const std::string label = LabelText(text);
            if (label == (it->second->label() ? it->second->label() : "")) continue;
            // Texts have no box of their own (a label may reach into it):
            // the window redraws what lies under them.
            Fl_Widget* w = it->second;
            w->copy_label(label.c_str());
            window_->damage(FL_DAMAGE_ALL, w->x(), w->y(), w->w(), w->h());
        }
        for (const auto& [id, checked] : state.checks) {
            auto it = widgets_.find(id);
            if (it != widgets_.end()) static_cast<Fl_Check_Button*>(it->second)->value(checked);
        }
        for (const auto& [id, list] : state.lists) {
            auto it = lists_.find(id);
            if (it != lists_.end()) Fill(it->second, list);
        }
    }

    std::optional<DialogRowsShown> Shown(int listId) const {
        auto it = lists_.find(listId);
        if (it == lists_.end()) return std::nullopt;
        DialogRowsShown shown;
        Fl_Hold_Browser* b = it->second.browser;
        for (int line = 1; line <= b->size(); ++line)
            shown.rows.push_back(ParseLine(b->text(line)));
        shown.selected = b->value() - 1;
        return shown;
    }

    // User input given by the owner, delivered as the controls deliver it.
    void Choose(int listId, int row) {
        auto it = lists_.find(listId);
        if (it == lists_.end() || row >= it->second.browser->size()) return;
        if (row < 0)
            it->second.browser->deselect();
        else
            it->second.browser->select(row + 1);
        it->second.browser->do_callback();
    }

    void Click(int id) {
        auto it = widgets_.find(id);
        const DialogControl* c = core_->Find(id);
        if (it == widgets_.end() || !c) return;
        if (c->kind == DialogControlKind::CheckBox) {
            auto* check = static_cast<Fl_Check_Button*>(it->second);
            check->value(!check->value());
        }
        it->second->do_callback();
    }

private:
    void Build(const DialogControl& c) {
        const int x = PxX(c.x), y = PxY(c.y);
        const int w = PxX(c.x + c.w) - x, h = PxY(c.y + c.h) - y;
        const std::string text = LabelText(c.text);
        Fl_Widget* widget = nullptr;
        switch (c.kind) {
        case DialogControlKind::GroupBox: widget = new GroupFrame(x, y, w, h, c.text); break;
        case DialogControlKind::Label:
        case DialogControlKind::Text: {
            auto* box = new Fl_Box(FL_NO_BOX, x, y, w, h, nullptr);
            box->copy_label(text.c_str());
            box->labelsize(kFontSize);
            box->align(AlignOf(c.align));
            widget = box;
            break;
        }
        case DialogControlKind::CheckBox: {
            auto* check = new Fl_Check_Button(x, y, w, h);
            check->copy_label(text.c_str());
            check->labelsize(kFontSize);
            check->callback(OnCheck, this);
            widget = check;
            break;
        }
        case DialogControlKind::Button: {
            Fl_Button* button =
                c.id == IDOK ? new Fl_Return_Button(x, y, w, h) : new Fl_Button(x, y, w, h);
            button->copy_label(text.c_str());
            button->labelsize(kFontSize);
            button->callback(OnButton, this);
            widget = button;
            break;
        }
        case DialogControlKind::List: BuildList(c, x, y, w, h); return;
        }
        if (c.id != 0) widgets_[c.id] = widget;
    }

    // A report-style list: a row of column titles over a browser whose
    // columns match them; one row selected at most, shown without focus.
    void BuildList(const DialogControl& c, int x, int y, int w, int h) {
        ListView& list = lists_[c.id];
        list.columns = c.columns;
        auto* b = new Fl_Hold_Browser(x, y + kHeaderHeight, w, h - kHeaderHeight);
        b->textsize(kFontSize);
        b->format_char(kFormat);
        b->column_char('\t');
        b->when(FL_WHEN_CHANGED);
        b->callback(OnChoose, this);
        list.browser = b;

        const int client = w - Fl::box_dw(b->box());
        int fixed = 0, flexible = 0;
        std::vector<int> widths;
        for (const DialogListColumn& col : c.columns) {
            const int px =
                static_cast<int>(std::lround(col.width * kPixelsPerUnitX / kTemplatePixelsPerUnit));
            widths.push_back(col.width > 0 ? px : 0);
            fixed += widths.back();
            flexible += col.width > 0 ? 0 : 1;
        }
        for (int& px : widths)
            if (px == 0) px = std::max(1, (client - fixed) / std::max(flexible, 1));
        int hx = x;
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            const int hw = i + 1 == c.columns.size() ? x + w - hx : widths[i];
            auto* header = new Fl_Box(FL_THIN_UP_BOX, hx, y, hw, kHeaderHeight, nullptr);
            header->copy_label(LabelText(c.columns[i].title).c_str());
            header->labelsize(kFontSize);
            header->align(AlignOf(c.columns[i].align) | FL_ALIGN_CLIP);
            hx += hw;
        }
        list.widths = widths;
        if (!list.widths.empty()) list.widths.back() = 0;  // the last takes the rest
        list.widths.push_back(0);
        b->column_widths(list.widths.data());
    }

    static void Fill(ListView& list, const ListState& state) {
        Fl_Hold_Browser* b = list.browser;
        const int count = static_cast<int>(state.rows.size());
        for (int i = 0; i < count; ++i) {
            const std::string line = Line(state.rows[i], list.columns);
            if (i < b->size()) {
                if (std::strcmp(b->text(i + 1), line.c_str()) != 0) b->text(i + 1, line.c_str());
            } else {
                b->add(line.c_str());
            }
        }
        while (b->size() > count) b->remove(b->size());
        if (state.selected < 0)
            b->deselect();
        else if (b->value() != state.selected + 1)
            b->select(state.selected + 1);
    }

    int IdOf(Fl_Widget* w) const {
        for (const auto& [id, widget] : widgets_)
            if (widget == w) return id;
        return 0;
    }

    static void OnWindowClose(Fl_Widget*, void* data) {
        auto* view = static_cast<View*>(data);
        view->core_->UserClose(0);
        DestroyView(view->core_.get());  // `view` is gone from here on
    }

    static void OnButton(Fl_Widget* w, void* data) {
        auto* view = static_cast<View*>(data);
        const int id = view->IdOf(w);
        if (id != IDOK && id != IDCANCEL) return;
        view->core_->UserClose(id);
        DestroyView(view->core_.get());
    }

    static void OnCheck(Fl_Widget* w, void* data) {
        auto* view = static_cast<View*>(data);
        view->core_->UserCheck(view->IdOf(w), static_cast<Fl_Check_Button*>(w)->value() != 0);
    }

    static void OnChoose(Fl_Widget* w, void* data) {
        auto* view = static_cast<View*>(data);
        auto* b = static_cast<Fl_Hold_Browser*>(w);
        for (const auto& [id, list] : view->lists_) {
            if (list.browser != b) continue;
            const int line = b->value();
            const DialogRow row = line > 0 ? ParseLine(b->text(line)) : DialogRow{};
            view->core_->UserChoose(id, row.empty() ? std::string() : row[0], line == 0);
        }
    }

    std::shared_ptr<Dialog::Core> core_;
    Fl_Double_Window* window_ = nullptr;
    std::map<int, Fl_Widget*> widgets_;  // controls with an id, lists aside
    std::map<int, ListView> lists_;
};

// Every view, by its core. UI thread only (runs of the thread follow each
// other: the join orders them).
std::map<Dialog::Core*, std::unique_ptr<View>>& Views() {
    static auto* views = new std::map<Dialog::Core*, std::unique_ptr<View>>;
    return *views;
}

View* FindView(Dialog::Core* core) {
    auto it = Views().find(core);
    return it == Views().end() ? nullptr : it->second.get();
}

void DestroyView(Dialog::Core* core) { Views().erase(core); }

template <class T>
struct Reply {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    std::optional<T> value;

    void Give(std::optional<T> v) {
        {
            std::lock_guard lock(mu);
            value = std::move(v);
            done = true;
        }
        cv.notify_all();
    }
    std::optional<T> Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mu);
        if (!cv.wait_for(lock, timeout, [&] { return done; })) return std::nullopt;
        return std::move(value);
    }
};

XIOErrorHandler g_hostIoError = nullptr;
XErrorHandler g_hostError = nullptr;

class UiService {
public:
    static UiService& Get() {
        // Never destroyed: a run that waits on a display that never answers
        // is left behind, and statics go before such a thread would end.
        static auto* service = new UiService;
        return *service;
    }

    bool Open(const std::shared_ptr<Dialog::Core>& core) {
        std::unique_lock lock(mu_);
        if (!Start(lock)) return false;
        ++dialogs_;
        Post([core] {
            // A window that cannot be made counts as closed at once.
            if (!ThreadBoundary(kMaking, [&] {
                    auto view = std::make_unique<View>(core);
                    view->Refresh();
                    Views()[core.get()] = std::move(view);
                }))
                core->UserClose(0);
        });
        return true;
    }

    // The UI thread never takes mu_ once it runs, so this wait under mu_
    // cannot wait on it. A display that stops answering leaves the UI
    // thread blocked in a write or a reply for good: it is given up after
    // kStopLimit, as a start is, and later dialogs are text.
    void Release(const std::shared_ptr<Dialog::Core>& core) {
        std::unique_lock lock(mu_);
        Post([core] { DestroyView(core.get()); });
        if (--dialogs_ > 0 || (state_ != State::Running && state_ != State::Lost)) return;
        Post([this] { quit_ = true; });  // fails when the display was lost: the thread ended
        {
            std::unique_lock end(endMu_);
            if (!endCv_.wait_for(end, kStopLimit, [&] { return ended_; })) {
                state_ = State::Abandoned;
                return;
            }
        }
        thread_.Join();
        state_ = lost_ ? State::Lost : State::Stopped;
    }

    // Runs `command` on the UI thread; false when no UI thread runs.
    bool Post(std::function<void()> command) {
        {
            std::lock_guard lock(queueMu_);
            if (!accepting_) return false;
            queue_.push_back(std::move(command));
        }
        const std::uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        return true;
    }

private:
    enum class State {
        Stopped,    // no UI thread
        Starting,   // the UI thread opens the display
        Running,    // windows can be made
        Lost,       // the display went away or the UI failed: text from now on
        Abandoned,  // the display did not open, or the UI thread did not end,
                    // in time: text from now on
    };

    UiService() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    // Under mu_: makes sure the UI thread runs; false when it cannot.
    bool Start(std::unique_lock<std::mutex>& lock) {
        if (wakeFd_ < 0) return false;
        if (state_ == State::Running && lost_) state_ = State::Lost;
        if (state_ == State::Stopped) {
            const char* display = std::getenv("DISPLAY");
            if (!displayOpen_ && (!display || !*display)) return false;
            state_ = State::Starting;
            quit_ = false;
            {
                std::lock_guard end(endMu_);
                ended_ = false;
            }
            {
                std::lock_guard q(queueMu_);
                accepting_ = true;
            }
            if (!thread_.Start([this] { Run(); }, "hcy-dialogs")) {
                state_ = State::Stopped;
                return false;
            }
        }
        if (!cv_.wait_for(lock, kStartLimit, [&] { return state_ != State::Starting; }))
            state_ = State::Abandoned;
        if (state_ == State::Stopped) thread_.Join();  // the display did not open
        return state_ == State::Running;
    }

    void Run() {
        RunUi();
        {
            std::lock_guard end(endMu_);
            ended_ = true;
        }
        endCv_.notify_all();
    }

    void RunUi() {
        bool opened = false;
        // Nothing of the UI may end the host: after an exception the windows
        // count as closed, and later dialogs use the text rendering.
        if (!ThreadBoundary("showing dialog windows", [&] {
                opened = OpenDisplay();
                while (opened && !quit_ && !lost_) Fl::wait(1e20);
            }))
            lost_ = true;
        std::deque<std::function<void()>> left;  // dropped unrun
        {
            std::lock_guard lock(queueMu_);
            accepting_ = false;
            left.swap(queue_);
        }
        if (!opened) return;
        for (auto& [core, view] : Views()) core->UserClose(0);
        if (displayGone_) {
            // Taking a window down talks to the display, which is gone: the
            // widgets stay, reachable, for the rest of the process.
            static auto* dead = new std::vector<std::unique_ptr<View>>;
            for (auto& [core, view] : Views()) dead->push_back(std::move(view));
        }
        Views().clear();
        Fl::do_widget_deletion();
    }

    // The first run opens the display and hands it to FLTK; later runs
    // find it open.
    bool OpenDisplay() {
        {
            std::lock_guard lock(mu_);
            if (displayOpen_) {
                state_ = State::Running;
                cv_.notify_all();
                return true;
            }
        }
        Display* display = XOpenDisplay(nullptr);
        std::lock_guard lock(mu_);
        if (state_ == State::Abandoned || !display) {
            if (display) XCloseDisplay(display);
            if (state_ == State::Starting) state_ = State::Stopped;
            cv_.notify_all();
            return false;
        }
        // FLTK would end the process on a lost connection, print its
        // warnings on the host's terminal and take the X error handlers of
        // every display; none of that is ours to do. Errors of the host's
        // own displays go to the handlers it had.
        Fl::warning = Quiet;
        Fl::error = Quiet;
        g_hostIoError = XSetIOErrorHandler(nullptr);
        g_hostError = XSetErrorHandler(nullptr);
        fl_open_display(display);
        XSetIOErrorHandler(OnIoError);
        XSetErrorHandler(OnError);
        XSetIOErrorExitHandler(display, OnDisplayLost, this);
        Fl::add_fd(wakeFd_, FL_READ, OnWake, this);
        displayOpen_ = true;
        state_ = State::Running;
        cv_.notify_all();
        return true;
    }

    static void OnWake(int fd, void* data) {
        auto* self = static_cast<UiService*>(data);
        std::uint64_t count;
        (void)!read(fd, &count, sizeof count);
        std::deque<std::function<void()>> commands;
        {
            std::lock_guard lock(self->queueMu_);
            commands.swap(self->queue_);
        }
        // One command that fails (out of memory) ends no other window.
        for (auto& command : commands) ThreadBoundary(kDrawing, command);
    }

    static void Quiet(const char*, ...) {}
    static int OnIoError(Display* d) {
        return d == fl_display || !g_hostIoError ? 0 : g_hostIoError(d);
    }
    static int OnError(Display* d, XErrorEvent* e) {
        return d == fl_display || !g_hostError ? 0 : g_hostError(d, e);
    }
    static void OnDisplayLost(Display*, void* data) {
        auto* self = static_cast<UiService*>(data);
        self->displayGone_ = true;
        self->lost_ = true;
    }

    std::mutex mu_;  // state, start and stop
    std::condition_variable cv_;
    State state_ = State::Stopped;
    bool displayOpen_ = false;
    int dialogs_ = 0;  // window Dialogs whose owner holds them
    Thread thread_;

    std::mutex queueMu_;
    std::deque<std::function<void()>> queue_;
    bool accepting_ = false;
    const int wakeFd_;

    // Set by the UI thread as its last act: a release waits for it.
    std::mutex endMu_;
    std::condition_variable endCv_;
    bool ended_ = false;

    bool quit_ = false;  // UI thread only
    // Set by the UI thread: no more windows (the display went away, or the
    // UI thread failed), and whether the display went away.
    std::atomic<bool> lost_{false};
    std::atomic<bool> displayGone_{false};
};

bool Open(const std::shared_ptr<Dialog::Core>& core) { return UiService::Get().Open(core); }

void Changed(const std::shared_ptr<Dialog::Core>& core) {
    if (core->redrawPending.exchange(true)) return;
    UiService::Get().Post([core] {
        if (View* view = FindView(core.get())) view->Refresh();
    });
}

void Close(const std::shared_ptr<Dialog::Core>& core) {
    UiService::Get().Post([core] { DestroyView(core.get()); });
}

void Release(const std::shared_ptr<Dialog::Core>& core) { UiService::Get().Release(core); }

void Choose(const std::shared_ptr<Dialog::Core>& core, int listId, int row) {
    UiService::Get().Post([core, listId, row] {
        if (View* view = FindView(core.get())) view->Choose(listId, row);
    });
}

void Click(const std::shared_ptr<Dialog::Core>& core, int id) {
    UiService::Get().Post([core, id] {
        if (View* view = FindView(core.get())) view->Click(id);
    });
}

void CloseBox(const std::shared_ptr<Dialog::Core>& core) {
    UiService::Get().Post([core] {
        if (View* view = FindView(core.get())) view->window()->do_callback();
    });
}

std::optional<DialogRowsShown> ShownRows(const std::shared_ptr<Dialog::Core>& core, int listId,
                                         std::chrono::milliseconds timeout) {
    auto reply = std::make_shared<Reply<DialogRowsShown>>();
    const bool posted = UiService::Get().Post([core, listId, reply] {
        View* view = FindView(core.get());
        reply->Give(view ? view->Shown(listId) : std::nullopt);
    });
    return posted ? reply->Wait(timeout) : std::nullopt;
}

std::optional<DialogImage> Capture(const std::shared_ptr<Dialog::Core>& core, Dialog::Capture how,
                                   std::chrono::milliseconds timeout) {
    auto reply = std::make_shared<Reply<DialogImage>>();
    const bool posted = UiService::Get().Post([core, how, reply] {
        View* view = FindView(core.get());
        if (!view || !view->window()->shown()) return reply->Give(std::nullopt);
        Fl_Double_Window* window = view->window();
        if (how == Dialog::Capture::Redrawn) window->redraw();
        Fl::flush();  // what is pending, as the UI thread's next wait would
        XSync(fl_display, False);
        window->make_current();
        DialogImage image;
        image.width = window->w();
        image.height = window->h();
        std::uint8_t* pixels = fl_read_image(nullptr, 0, 0, image.width, image.height);
        if (!pixels) return reply->Give(std::nullopt);
        image.rgb.assign(pixels, pixels + static_cast<std::size_t>(image.width) * image.height * 3);
        delete[] pixels;
        reply->Give(std::move(image));
    });
    return posted ? reply->Wait(timeout) : std::nullopt;
}

}  // namespace

const Backend& WindowBackend() {
    static const Backend backend{
        .rendering = DialogRendering::Window,
        .open = Open,
        .changed = Changed,
        .close = Close,
        .release = Release,
        .choose = Choose,
        .click = Click,
        .closeBox = CloseBox,
        .shownRows = ShownRows,
        .capture = Capture,
    };
    return backend;
}

}  // namespace plat::dialog
