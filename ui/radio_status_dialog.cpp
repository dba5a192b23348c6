#include "ui/radio_status_dialog.h"

#include <utility>
#include <vector>

#include "hcyplat/dialog.h"
#include "ui/radio_status_layout.h"

namespace hcy::ui {

RadioStatusDialog::RadioStatusDialog() = default;
RadioStatusDialog::~RadioStatusDialog() = default;

void RadioStatusDialog::Show(const net::RadioId& id) {
    {
        std::lock_guard lock(m_mutex);
        TakeUserInput();
        if (m_model.IsUp()) return;
    }
    // Made outside the lock: a display that is slow to open holds up no
    // refresh (the dialog layer waits for it at most 3 s).
    std::unique_ptr<plat::Dialog> window = plat::Dialog::Create(RadioStatusLayout());
    std::lock_guard lock(m_mutex);
    TakeUserInput();
    if (m_model.IsUp()) {  // another Show came first
        window->Close();
    } else {
        m_model.SetRadioId(id);
        m_model.Open();
        // The old (closed) window goes after the new one is up, so that the
        // window layer's thread carries on.
        std::swap(m_window, window);
        Push();
    }
    window.reset();
}

bool RadioStatusDialog::IsUp() {
    std::lock_guard lock(m_mutex);
    TakeUserInput();
    return m_model.IsUp();
}

void RadioStatusDialog::Update(const radio::RadioStatus& status) {
    std::lock_guard lock(m_mutex);
    TakeUserInput();
    if (!m_model.IsUp()) return;
    m_model.Update(status);
    Push();
}

void RadioStatusDialog::Close() {
    std::lock_guard lock(m_mutex);
    m_model.Close();
    if (m_window) m_window->Close();
}

RadioStatusView RadioStatusDialog::View() {
    std::lock_guard lock(m_mutex);
    TakeUserInput();
    return m_model.View();
}

plat::Dialog* RadioStatusDialog::Window() {
    std::lock_guard lock(m_mutex);
    return m_window.get();
}

void RadioStatusDialog::TakeUserInput() {
    if (!m_window || !m_model.IsUp()) return;
    // The events only say that something changed; the state says what.
    plat::DialogEvent event;
    while (m_window->NextEvent(event)) {}
    m_model.SetActiveOnly(m_window->Checked(kActiveOnlyBox));
    m_model.Select(m_window->SelectedRowText(kTransmitterList));
    // "Close", or the window closed: the copies go.
    if (!m_window->IsOpen()) m_model.Close();
}

void RadioStatusDialog::Push() {
    const RadioStatusView& view = m_model.View();
    std::vector<std::pair<int, std::string>> texts(view.texts.begin(), view.texts.end());
    m_window->SetTexts(std::move(texts));
    std::vector<plat::DialogRow> rows;
    rows.reserve(view.rows.size());
    for (const auto& row : view.rows) rows.push_back({row.text, row.xmit});
    m_window->SetRows(kTransmitterList, std::move(rows));
    m_window->SetChecked(kActiveOnlyBox, view.activeOnly);
}

}  // namespace hcy::ui
