// The text rendering: a dialog drawn as characters, for hosts without a
// display. One column stands for 4 horizontal dialog units (the average
// character of the dialog font is 4 x 8 units) and one row for 10 vertical
// ones (a line of a dialog: 8 for the character, 2 between lines), so that
// lines 10 units apart are drawn on adjacent rows. Frames take every column
// they touch, the other controls the columns they fill whole (lists also
// the column their left side touches, for the width of their titles); a
// place goes to the row it falls in, and a frame or list ends on the row of
// its last unit. Blank rows below the last control are left out.
//
//   Radio Model Status                  <- title line
//    +- This Radio ----------------+    <- group box: + - |, title on the top edge
//    | Freq:           30.000 MHz  |    <- labels at their place, texts aligned
//    +-----------------------------+       in w/4 cells
//    Site-App-Entity-Radio Xmit         <- list: header, rule, rows;
//    --------------------------            '>' left of the selected row
//   >1-2-3-4                X
//    [x] Show active xmits only  [ Close ]
//
// Labels and texts are never cut to their box (the dialog font is narrower
// than 4 units for most letters), only to the grid; a left-aligned text
// keeps one blank after the text before it. List cells are cut to their
// column.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "dialog_internal.h"

namespace plat::dialog {
namespace {

constexpr int kUnitsPerColumn = 4;
constexpr int kUnitsPerRow = 10;

// First column touched / filled whole from x, and the end (one past the
// last column) touched / filled whole up to x.
int TouchedFrom(int x) { return x / kUnitsPerColumn; }
int TouchedTo(int x) { return (x + kUnitsPerColumn - 1) / kUnitsPerColumn; }
int FilledFrom(int x) { return (x + kUnitsPerColumn - 1) / kUnitsPerColumn; }
int FilledTo(int x) { return x / kUnitsPerColumn; }
int Row(int y) { return y / kUnitsPerRow; }
// List column widths are given in pixels of the dialog font, whose
// character is 6 pixels wide.
constexpr int kPixelsPerColumn = 6;

class Grid {
public:
    Grid(int columns, int rows)
        : columns_(std::max(columns, 1)), lines_(std::max(rows, 1), std::string(columns_, ' ')) {}

    char At(int row, int col) const {
        if (row < 0 || row >= static_cast<int>(lines_.size()) || col < 0 || col >= columns_)
            return ' ';
        return lines_[row][col];
    }

    void Put(int row, int col, std::string_view text) {
        if (row < 0 || row >= static_cast<int>(lines_.size())) return;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const int c = col + static_cast<int>(i);
            if (c >= 0 && c < columns_) lines_[row][c] = text[i];
        }
    }

    // `text` placed in `cells` columns from `col`; a right-aligned text
    // longer than its cells grows to the left.
    void PutAligned(int row, int col, int cells, std::string_view text, DialogAlign align) {
        const int len = static_cast<int>(text.size());
        switch (align) {
        case DialogAlign::Left: {
            const char before = At(row, col - 1);
            Put(row, col + (before != ' ' && before != '|' ? 1 : 0), text);
            break;
        }
        case DialogAlign::Right: Put(row, col + cells - len, text); break;
        // Centred with the odd column on the left, so that a centred column
        // after a full one keeps a blank between them.
        case DialogAlign::Center: Put(row, col + std::max(0, (cells - len + 1) / 2), text); break;
        }
    }

    void Frame(int top, int left, int bottom, int right, std::string_view title) {
        for (int c = left; c <= right; ++c) {
            Put(top, c, "-");
            Put(bottom, c, "-");
        }
        for (int r = top; r <= bottom; ++r) {
            Put(r, left, "|");
            Put(r, right, "|");
        }
        for (int r : {top, bottom})
            for (int c : {left, right}) Put(r, c, "+");
        if (!title.empty()) Put(top, left + 2, " " + std::string(title) + " ");
    }

    std::string Join() const {
        std::string out;
        for (const std::string& line : lines_) {
            const std::size_t end = line.find_last_not_of(' ');
            out.append(line, 0, end == std::string::npos ? 0 : end + 1);
            out += '\n';
        }
        out.erase(out.find_last_not_of('\n') + 1);
        return out + '\n';
    }

private:
    int columns_;
    std::vector<std::string> lines_;
};

std::string TextOf(const DialogControl& c, const DialogState& state) {
    auto it = state.texts.find(c.id);
    return c.id != 0 && it != state.texts.end() ? it->second : c.text;
}

void DrawList(Grid& grid, const DialogControl& c, const ListState& list) {
    const int left = TouchedFrom(c.x);
    const int width = std::max(1, FilledTo(c.x + c.w) - left);
    const int top = Row(c.y);
    const int bottom = Row(c.y + c.h - 1);

    // Fixed columns take their width; those of width 0 share the rest.
    std::vector<int> widths;
    int fixed = 0, flexible = 0;
    for (const DialogListColumn& col : c.columns) {
        widths.push_back(col.width > 0 ? std::max(1, col.width / kPixelsPerColumn) : 0);
        fixed += widths.back();
        flexible += col.width > 0 ? 0 : 1;
    }
    for (int& w : widths)
        if (w == 0) w = std::max(1, (width - fixed) / std::max(flexible, 1));

    auto drawRow = [&](int row, const std::vector<std::string>& cells) {
        int col = left;
        for (std::size_t i = 0; i < c.columns.size() && col < left + width; ++i) {
            const int cells_ = std::min(widths[i], left + width - col);
            const std::string text = i < cells.size() ? cells[i].substr(0, cells_) : std::string();
            grid.PutAligned(row, col, cells_, text, c.columns[i].align);
            col += widths[i];
        }
    };

    std::vector<std::string> header;
    for (const DialogListColumn& col : c.columns) header.push_back(col.title);
    drawRow(top, header);
    grid.Put(top + 1, left, std::string(width, '-'));

    const int visible = std::max(0, bottom - top - 1);
    const int count = static_cast<int>(list.rows.size());
    // The selected row is kept in view.
    const int first = list.selected >= visible ? list.selected - visible + 1 : 0;
    for (int i = 0; i < visible && first + i < count; ++i) {
        const int row = top + 2 + i;
        drawRow(row, list.rows[first + i]);
        if (first + i == list.selected) grid.Put(row, left - 1, ">");
    }
}

}  // namespace

std::string RenderText(const DialogLayout& layout, const DialogState& state) {
    Grid grid((layout.width + kUnitsPerColumn - 1) / kUnitsPerColumn,
              (layout.height + kUnitsPerRow - 1) / kUnitsPerRow);
    // Frames first, so that what lies inside them is drawn over their edges.
    for (const DialogControl& c : layout.controls) {
        if (c.kind != DialogControlKind::GroupBox) continue;
        grid.Frame(Row(c.y), TouchedFrom(c.x), Row(c.y + c.h - 1), TouchedTo(c.x + c.w) - 1,
                   TextOf(c, state));
    }
    for (const DialogControl& c : layout.controls) {
        const int row = Row(c.y);
        const int col = FilledFrom(c.x);
        const int cells = std::max(1, FilledTo(c.x + c.w) - col);
        switch (c.kind) {
        case DialogControlKind::GroupBox: break;
        case DialogControlKind::Label:
        case DialogControlKind::Text:
            grid.PutAligned(row, col, cells, TextOf(c, state), c.align);
            break;
        case DialogControlKind::CheckBox: {
            auto it = state.checks.find(c.id);
            const bool checked = it != state.checks.end() && it->second;
            grid.Put(row, col, std::string(checked ? "[x] " : "[ ] ") + TextOf(c, state));
            break;
        }
        case DialogControlKind::Button:
            grid.PutAligned(row, col, cells, "[ " + TextOf(c, state) + " ]", DialogAlign::Center);
            break;
        case DialogControlKind::List: {
            auto it = state.lists.find(c.id);
            DrawList(grid, c, it == state.lists.end() ? ListState{} : it->second);
            break;
        }
        }
    }
    return layout.title + '\n' + grid.Join();
}

namespace {

// The text rendering draws on demand only: nothing to show or take down,
// and user input goes straight into the state.
bool Open(const std::shared_ptr<Dialog::Core>&) { return true; }
void Nothing(const std::shared_ptr<Dialog::Core>&) {}

void Choose(const std::shared_ptr<Dialog::Core>& core, int listId, int row) {
    std::string key;
    bool none = row < 0;
    {
        std::lock_guard lock(core->mu);
        auto it = core->state.lists.find(listId);
        if (it == core->state.lists.end()) return;
        const auto& rows = it->second.rows;
        if (row >= static_cast<int>(rows.size())) return;
        if (!none && !rows[row].empty()) key = rows[row][0];
    }
    core->UserChoose(listId, key, none);
}

void Click(const std::shared_ptr<Dialog::Core>& core, int id) {
    const DialogControl* c = core->Find(id);
    if (!c) return;
    if (c->kind == DialogControlKind::Button && (id == IDOK || id == IDCANCEL)) {
        core->UserClose(id);
    } else if (c->kind == DialogControlKind::CheckBox) {
        core->UserCheck(id, std::nullopt);
    }
}

void CloseBox(const std::shared_ptr<Dialog::Core>& core) { core->UserClose(0); }

std::optional<DialogRowsShown> ShownRows(const std::shared_ptr<Dialog::Core>& core, int listId,
                                         std::chrono::milliseconds) {
    std::lock_guard lock(core->mu);
    auto it = core->state.lists.find(listId);
    if (!core->state.open || it == core->state.lists.end()) return std::nullopt;
    return DialogRowsShown{it->second.rows, it->second.selected};
}

std::optional<DialogImage> Capture(const std::shared_ptr<Dialog::Core>&, Dialog::Capture,
                                   std::chrono::milliseconds) {
    return std::nullopt;
}

}  // namespace

const Backend& TextBackend() {
    static const Backend backend{
        .rendering = DialogRendering::Text,
        .open = Open,
        .changed = Nothing,
        .close = Nothing,
        .release = Nothing,
        .choose = Choose,
        .click = Click,
        .closeBox = CloseBox,
        .shownRows = ShownRows,
        .capture = Capture,
    };
    return backend;
}

}  // namespace plat::dialog
