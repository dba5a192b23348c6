#pragma once
// A radio's status dialog: the model, shown through the platform's dialog
// layer (a window where a display exists, else the text rendering).
//
//   tick / host threads ──Show/Update/Close──> [mutex] model ──push──> plat::Dialog
//                                              user input (state read back) <──┘
//
// The dialog layer never calls back: before every operation the user's
// input is read back from it (check box, selected row, closed). Lock order:
// radio (released before any call here), this dialog's mutex, the
// platform's.
#include <memory>
#include <mutex>
#include <string>

#include "radio/status_dialog.h"
#include "ui/radio_status_model.h"

namespace plat {
class Dialog;
}

namespace hcy::ui {

class RadioStatusDialog final : public radio::StatusDialog {
public:
    RadioStatusDialog();
    ~RadioStatusDialog() override;

    void Show(const net::RadioId& id) override;
    bool IsUp() override;
    void Update(const radio::RadioStatus& status) override;
    void Close() override;

    // For tests and hosts: the model's view, and the platform dialog that
    // shows it (null before the first Show; replaced by the next one).
    RadioStatusView View();
    plat::Dialog* Window();

private:
    void TakeUserInput();  // under m_mutex
    void Push();           // under m_mutex

    std::mutex m_mutex;
    RadioStatusModel m_model;
    std::unique_ptr<plat::Dialog> m_window;
};

}  // namespace hcy::ui
