// The C face of the platform for hosts: message windows, the clock and the
// text of dialogs.
// Thin wrappers; every out pointer may be null.
#include "hcyplat/hcyplatform.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "hcyplat/clock.h"
#include "hcyplat/dialog.h"
#include "hcyplat/report.h"
#include "hcyplat/window.h"

namespace {

int Deliver(bool taken, const plat::WindowMessage& m, uint32_t* message, uintptr_t* wParam,
            intptr_t* lParam) {
    if (!taken) return 0;
    if (message) *message = m.message;
    if (wParam) *wParam = m.wParam;
    if (lParam) *lParam = m.lParam;
    return 1;
}

}  // namespace

extern "C" {

int hcyplatTakeReport(char* text, int size) { return plat::TakeReport(text, size); }

uintptr_t hcyplatCreateWindow(void) { return plat::CreateMessageWindow(); }

int hcyplatDestroyWindow(uintptr_t window) { return plat::DestroyMessageWindow(window) ? 1 : 0; }

int hcyplatPeekWindowMessage(uintptr_t window, uint32_t* message, uintptr_t* wParam,
                             intptr_t* lParam) {
    plat::WindowMessage m;
    return Deliver(plat::PeekWindowMessage(window, m), m, message, wParam, lParam);
}

int hcyplatWaitWindowMessage(uintptr_t window, uint32_t timeoutMs, uint32_t* message,
                             uintptr_t* wParam, intptr_t* lParam) {
    plat::WindowMessage m;
    return Deliver(plat::WaitWindowMessage(window, m, timeoutMs), m, message, wParam, lParam);
}

void hcyplatUseManualClock(void) { plat::UseManualClock(); }
void hcyplatUseRealClock(void) { plat::UseRealClock(); }
void hcyplatAdvanceClock(uint32_t milliseconds) { plat::AdvanceClock(milliseconds); }

void hcyplatUseTextDialogs(int on) {
    plat::SetDefaultDialogRendering(on ? plat::DialogRendering::Text
                                       : plat::DialogRendering::Automatic);
}

int hcyplatChooseDialogRow(int index, int row) {
    return index >= 0 && plat::ChooseOpenDialogRow(static_cast<std::size_t>(index), row) ? 1 : 0;
}

int hcyplatGetDialogText(int index, char* text, int size) {
    const std::vector<std::string> texts = plat::OpenDialogTexts();
    if (index < 0 || static_cast<std::size_t>(index) >= texts.size()) return -1;
    const std::string& t = texts[static_cast<std::size_t>(index)];
    if (text && size > 0) {
        const std::size_t n = std::min(t.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(text, t.data(), n);
        text[n] = '\0';
    }
    return static_cast<int>(std::min<std::size_t>(t.size(), 0x7FFFFFFF));
}

}  // extern "C"
