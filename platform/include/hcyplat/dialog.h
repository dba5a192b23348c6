#pragma once
// Modeless dialogs: the stand-in for the window framework's dialog, static,
// list and button controls. A dialog is made from a layout description (a
// dialog template) and shown by one of two renderings:
//
//   owner threads ──Set*/Select/Close──> dialog state (one mutex) ──redraw──> rendering
//                 <──NextEvent / notice message── user input (close, check, row)
//
// - Window: a real window on an X display (FLTK), on one UI thread of the
//   platform that owns every such window. Chosen when a display can be
//   opened.
// - Text: no window; RenderText draws the dialog as characters (one column
//   per 4 horizontal and one row per 8 vertical dialog units). Chosen when
//   there is no display, so a dialog never fails or blocks for want of one.
//
// Contract:
// - Every member may be called from any thread. None waits for the
//   rendering, except ShownRows and CaptureImage, which wait at most their
//   timeout, and Create, which waits at most 3 s for a display to open. The
//   state the owner reads (texts, rows, check boxes, selection, open) is the
//   dialog's own and is read without asking the rendering.
// - The rendering never calls the owner: user input changes the state,
//   queues a DialogEvent for NextEvent, and posts the optional notice
//   message, with no lock held.
// - Dialog ids name controls; 0 is a control without id (labels, frames).
//   A list's selection is kept across SetRows on the row whose first cell
//   is unchanged; it is dropped when that row goes.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hcyplat/types.h"

namespace plat {

// Push buttons with these ids close the dialog, as the close box does.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

enum class DialogAlign { Left, Center, Right };

enum class DialogControlKind {
    GroupBox,  // frame with a title
    Label,     // static text that the dialog never changes
    Text,      // static text the owner sets
    List,      // report-style list: columns, one selected row at most
    CheckBox,
    Button,
};

struct DialogListColumn {
    std::string title;
    int width = 0;  // [pixels of the 8-point dialog font]; 0: the rest of the list
    DialogAlign align = DialogAlign::Left;
};

struct DialogControl {
    DialogControlKind kind = DialogControlKind::Label;
    int id = 0;
    std::string text;                // title, initial text or button caption
    int x = 0, y = 0, w = 0, h = 0;  // [dialog units]
    DialogAlign align = DialogAlign::Left;
    std::vector<DialogListColumn> columns;  // lists only
};

struct DialogLayout {
    std::string title;
    int width = 0, height = 0;  // [dialog units]
    std::vector<DialogControl> controls;
};

enum class DialogRendering { Automatic, Text, Window };

// Where user input is announced besides the event queue: PostMessage(window,
// message, wParam, lParam = the DialogEvent::Kind) when window is not 0.
struct DialogNotice {
    HWND window = 0;
    UINT message = 0;
    WPARAM wParam = 0;
};

struct DialogOptions {
    DialogRendering rendering = DialogRendering::Automatic;
    DialogNotice notice;
};

struct DialogEvent {
    enum class Kind { Closed = 1, Checked = 2, Selected = 3 };
    Kind kind = Kind::Closed;
    int control = 0;  // Closed: the button's id, 0 for the close box
    int value = 0;    // Checked: 0 or 1; Selected: the row, -1 for none
};

using DialogRow = std::vector<std::string>;  // one text per column

struct DialogRowsShown {
    std::vector<DialogRow> rows;
    int selected = -1;
};

// An RGB picture of a window: 3 bytes per pixel, rows top to bottom.
struct DialogImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// The rendering that Automatic stands for in this process: Automatic (the
// window when a display opens, else text), or one of the two. Tests and
// hosts that draw the text themselves choose here.
void SetDefaultDialogRendering(DialogRendering rendering);

// The text renderings (Dialog::RenderText) of the process's open dialogs,
// oldest first, whichever rendering shows them: for hosts that draw the
// library's dialogs themselves.
std::vector<std::string> OpenDialogTexts();
// Selects `row` (from 0; -1: none) of the list of the index-th of them, as
// a click on it would. False when there is no such dialog, list or row.
bool ChooseOpenDialogRow(std::size_t index, int row);

class Dialog {
public:
    // Shows the dialog at once. Falls back to the text rendering when the
    // window cannot be shown; never fails for want of a display.
    static std::unique_ptr<Dialog> Create(DialogLayout layout, DialogOptions options = {});
    ~Dialog();  // closes the window
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    DialogRendering Rendering() const;  // Text or Window
    const DialogLayout& Layout() const;

    // Content. Unknown ids and ids of another kind are ignored.
    void SetText(int id, std::string text);
    void SetTexts(std::vector<std::pair<int, std::string>> texts);  // one redraw
    void SetRows(int listId, std::vector<DialogRow> rows);
    void SetChecked(int id, bool checked);  // no event

    bool Checked(int id) const;
    std::string Text(int id) const;
    std::vector<DialogRow> Rows(int listId) const;
    int SelectedRow(int listId) const;              // -1: none
    std::string SelectedRowText(int listId) const;  // its first cell; empty: none

    // Open until the owner or the user closes it; a closed dialog keeps its
    // state but shows nothing and takes no input.
    bool IsOpen() const;
    void Close();  // by the owner: no event

    // User input as the window's controls give it (for the text rendering
    // the only way in): choosing a row (-1: none), clicking a check box or
    // button, closing the window.
    void Choose(int listId, int row);
    void Click(int id);
    void CloseBox();

    // The oldest event of user input, if any; WaitEvent waits at most
    // `timeout` [real time] for one. At most kDialogEventLimit are kept.
    bool NextEvent(DialogEvent& out);
    bool WaitEvent(DialogEvent& out, std::chrono::milliseconds timeout);

    // The text rendering of the current state (any rendering): a title line,
    // then width/4 x height/10 characters, lines without trailing blanks and
    // without blank lines at the end.
    std::string RenderText() const;

    // What the rendering itself shows: the window's list widget read back,
    // or the state for the text rendering. Nothing when the dialog is closed
    // or the window does not answer in time.
    std::optional<DialogRowsShown> ShownRows(
        int listId, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // The window as drawn on the display (the window rendering only): as the
    // user sees it after the refreshes so far, or after the whole window was
    // drawn again.
    enum class Capture { AsShown, Redrawn };
    std::optional<DialogImage> CaptureImage(
        Capture how = Capture::AsShown,
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    struct Core;

private:
    explicit Dialog(std::shared_ptr<Core> core);
    std::shared_ptr<Core> core_;
};

constexpr std::size_t kDialogEventLimit = 256;

}  // namespace plat
