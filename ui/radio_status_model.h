#pragma once
// The radio status dialog's model: what the window shows, worked out from
// the radio's copies without any window. One refresh a second replaces the
// copies of the heard transmitters and redraws:
//
//   Update(status) -> copies (all, or those on the air with "active only")
//     -> "This Radio" texts
//     -> rows: those of vanished transmitters removed, new ones on top
//     -> "Xmit" column: "X" on the air, two blanks otherwise
//     -> "PDU Data" and "Model Results" of the selected row's transmitter
//
// Not thread-safe: its owner (RadioStatusDialog) serialises the calls.
#include <map>
#include <string>
#include <vector>

#include "radio/status_dialog.h"

namespace hcy::ui {

struct RadioStatusRow {
    std::string text;  // the transmitter, "%d-%d-%d-%d"
    std::string xmit;  // "X" while it transmits, else two blanks
    friend bool operator==(const RadioStatusRow&, const RadioStatusRow&) = default;
};

struct RadioStatusView {
    bool up = false;
    bool activeOnly = false;
    std::map<int, std::string> texts;  // every text control of the template, by id
    std::vector<RadioStatusRow> rows;  // top first
    int selected = -1;                 // the selected row, -1: none
};

class RadioStatusModel {
public:
    RadioStatusModel();

    void SetRadioId(const net::RadioId& id);
    // The window opens: an empty list, the radio's id, the check box as it
    // was. False (and nothing changes) when it is up already.
    bool Open();
    // The window closes: the copies go.
    void Close();
    bool IsUp() const { return m_view.up; }

    // The user's input: the check box, and the row chosen by its text
    // (empty, or a text of no row: none). Both show at the next refresh.
    void SetActiveOnly(bool on);
    void Select(const std::string& rowText);

    // The once-a-second refresh; nothing while the window is down.
    void Update(const radio::RadioStatus& status);

    const RadioStatusView& View() const { return m_view; }

private:
    void Refresh();
    void ShowTransmitter(const radio::ReceiveView* shown);
    int FindRow(const std::string& text) const;

    net::RadioId m_id{};
    radio::RadioStatus m_radio;                // the radio's own state (no transmitters)
    std::vector<radio::ReceiveView> m_copies;  // arrival order, one per transmitter
    std::string m_selected;                    // text of the selected row
    RadioStatusView m_view;
};

// "%d-%d-%d-%d" of a radio or transmitter id.
std::string RadioIdText(const net::RadioId& id);

}  // namespace hcy::ui
