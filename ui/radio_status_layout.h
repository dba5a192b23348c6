#pragma once
// Dialog template 129: the radio status dialog, "Radio Model Status", in
// dialog units (312 x 191), and the ids of its controls.
#include <string>
#include <utility>

#include "hcyplat/dialog.h"

namespace hcy::ui {

// "This Radio": the radio's own identity and state.
inline constexpr int kRadioIdText = 1001;   // "%d-%d-%d-%d"
inline constexpr int kXmitFreqText = 1008;  // "%8.3f MHz"
inline constexpr int kRecvGainText = 1009;  // "%8.3f"
inline constexpr int kRadioXText = 1014;    // "%10.1f" [m]
inline constexpr int kRadioYText = 1015;
inline constexpr int kRadioZText = 1016;
inline constexpr int kXmitSentText = 1017;  // "%d"
inline constexpr int kSignalSentText = 1018;
// The heard transmitters, and the check box that keeps only those on the air.
inline constexpr int kTransmitterList = 1000;
inline constexpr int kActiveOnlyBox = 1021;
// "PDU Data" of the selected transmitter.
inline constexpr int kXmitsRecvText = 1019;  // "%d"
inline constexpr int kSigsRecvText = 1020;
inline constexpr int kExerciseText = 1022;
inline constexpr int kTxXText = 1004;  // "%10.1f" [m]
inline constexpr int kTxYText = 1005;
inline constexpr int kTxZText = 1006;
inline constexpr int kTxFreqText = 1002;   // "%8.3f MHz"
inline constexpr int kTxPowerText = 1003;  // "%8.3f"
// "Model Results" of the selected transmitter, "%8.3f" each.
inline constexpr int kPropLossText = 1007;
inline constexpr int kRoundEarthText = 1012;
inline constexpr int kTunerText = 1010;
inline constexpr int kSquelchText = 1011;
inline constexpr int kSnrText = 1013;

inline plat::DialogLayout RadioStatusLayout() {
    using K = plat::DialogControlKind;
    constexpr auto R = plat::DialogAlign::Right;
    plat::DialogLayout l{"Radio Model Status", 312, 191, {}};
    auto add = [&](K kind, int id, std::string text, int x, int y, int w, int h,
                   plat::DialogAlign align = plat::DialogAlign::Left) {
        l.controls.push_back({kind, id, std::move(text), x, y, w, h, align, {}});
    };
    add(K::Button, plat::IDOK, "Close", 130, 170, 50, 14);
    add(K::GroupBox, 0, "This Radio", 5, 5, 300, 45);
    add(K::Label, 0, "Entity ID:", 10, 15, 35, 8);
    add(K::Text, kRadioIdText, "", 50, 15, 90, 8);
    add(K::Label, 0, "Freq:", 10, 25, 17, 8);
    add(K::Text, kXmitFreqText, "", 55, 25, 50, 8, R);
    add(K::Label, 0, "Recv Gain:", 10, 35, 37, 8);
    add(K::Text, kRecvGainText, "", 55, 35, 50, 8, R);
    const int xyz[] = {kRadioXText, kRadioYText, kRadioZText};
    for (int i = 0; i < 3; ++i) {
        add(K::Label, 0, std::string(1, char('X' + i)) + ":", 145, 15 + 10 * i, 8, 8);
        add(K::Text, xyz[i], "", 165, 15 + 10 * i, 50, 8, R);
    }
    add(K::Label, 0, "PDUs Sent:", 225, 15, 38, 8);
    add(K::Label, 0, "Xmit:", 235, 25, 20, 8);
    add(K::Label, 0, "Signal:", 235, 35, 24, 8);
    add(K::Text, kXmitSentText, "", 260, 25, 40, 8, R);
    add(K::Text, kSignalSentText, "", 260, 35, 40, 8, R);
    add(K::Label, 0, "Transmitters:", 10, 55, 41, 8);
    // Report view: the first column takes what the 32-pixel "Xmit" leaves.
    add(K::List, kTransmitterList, "", 5, 65, 105, 100);
    l.controls.back().columns = {{"Site-App-Entity-Radio", 0, plat::DialogAlign::Left},
                                 {"Xmit", 32, plat::DialogAlign::Center}};
    add(K::GroupBox, 0, "PDU Data", 115, 50, 85, 115);
    const std::pair<const char*, int> pdu[] = {{"Xmits:", kXmitsRecvText}, {"Sigs:", kSigsRecvText},
                                               {"Ex ID:", kExerciseText},  {"X:", kTxXText},
                                               {"Y:", kTxYText},           {"Z:", kTxZText},
                                               {"Freq:", kTxFreqText},     {"Pwr:", kTxPowerText}};
    const int labelY[] = {60, 70, 80, 90, 100, 111, 121, 130};
    const int textY[] = {60, 70, 80, 90, 100, 110, 120, 130};
    // Labels as wide as their widest text ("Xmits:"): a refresh draws only
    // a value's box, and wipes what a label drew into it.
    for (int i = 0; i < 8; ++i) {
        add(K::Label, 0, pdu[i].first, 120, labelY[i], 24, 8);
        add(K::Text, pdu[i].second, "", 144, textY[i], 46, 8, R);
    }
    add(K::GroupBox, 0, "Model Results", 205, 50, 100, 115);
    const std::pair<const char*, int> model[] = {{"PropLoss:", kPropLossText},
                                                 {"Rnd Earth:", kRoundEarthText},
                                                 {"Tuner:", kTunerText},
                                                 {"Squelch:", kSquelchText},
                                                 {"SNR:", kSnrText}};
    for (int i = 0; i < 5; ++i) {
        add(K::Label, 0, model[i].first, 210, 60 + 10 * i, 38, 8);
        add(K::Text, model[i].second, "", 250, 60 + 10 * i, 50, 8, R);
    }
    add(K::CheckBox, kActiveOnlyBox, "Show active xmits only", 10, 170, 90, 10);
    return l;
}

}  // namespace hcy::ui
