#pragma once
// A dialog template of the radio status dialog's shape (312 x 191 units),
// and a state of it with two heard transmitters, the second one selected.
#include <string>
#include <utility>
#include <vector>

#include "hcyplat/dialog.h"

namespace hcytest {

constexpr int kList = 1000;
constexpr int kActiveOnly = 1021;

inline plat::DialogLayout StatusLayout() {
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
    add(K::Text, 1001, "", 50, 15, 90, 8);
    add(K::Label, 0, "Freq:", 10, 25, 17, 8);
    add(K::Text, 1008, "", 55, 25, 50, 8, R);
    add(K::Label, 0, "Recv Gain:", 10, 35, 37, 8);
    add(K::Text, 1009, "", 55, 35, 50, 8, R);
    const int xyz[] = {1014, 1015, 1016};
    for (int i = 0; i < 3; ++i) {
        add(K::Label, 0, std::string(1, char('X' + i)) + ":", 145, 15 + 10 * i, 8, 8);
        add(K::Text, xyz[i], "", 165, 15 + 10 * i, 50, 8, R);
    }
    add(K::Label, 0, "PDUs Sent:", 225, 15, 38, 8);
    add(K::Label, 0, "Xmit:", 235, 25, 20, 8);
    add(K::Label, 0, "Signal:", 235, 35, 24, 8);
    add(K::Text, 1017, "", 260, 25, 40, 8, R);
    add(K::Text, 1018, "", 260, 35, 40, 8, R);
    add(K::Label, 0, "Transmitters:", 10, 55, 41, 8);
    add(K::List, kList, "", 5, 65, 105, 100);
    l.controls.back().columns = {{"Site-App-Entity-Radio", 0, plat::DialogAlign::Left},
                                 {"Xmit", 32, plat::DialogAlign::Center}};
    add(K::GroupBox, 0, "PDU Data", 115, 50, 85, 115);
    const std::pair<const char*, int> pdu[] = {{"Xmits:", 1019}, {"Sigs:", 1020}, {"Ex ID:", 1022},
                                               {"X:", 1004},     {"Y:", 1005},    {"Z:", 1006},
                                               {"Freq:", 1002},  {"Pwr:", 1003}};
    const int labelY[] = {60, 70, 80, 90, 100, 111, 121, 130};
    const int textY[] = {60, 70, 80, 90, 100, 110, 120, 130};
    for (int i = 0; i < 8; ++i) {
        add(K::Label, 0, pdu[i].first, 120, labelY[i], 20, 8);
        add(K::Text, pdu[i].second, "", 140, textY[i], 50, 8, R);
    }
    add(K::GroupBox, 0, "Model Results", 205, 50, 100, 115);
    const std::pair<const char*, int> model[] = {{"PropLoss:", 1007},
                                                 {"Rnd Earth:", 1012},
                                                 {"Tuner:", 1010},
                                                 {"Squelch:", 1011},
                                                 {"SNR:", 1013}};
    for (int i = 0; i < 5; ++i) {
        add(K::Label, 0, model[i].first, 210, 60 + 10 * i, 38, 8);
        add(K::Text, model[i].second, "", 250, 60 + 10 * i, 50, 8, R);
    }
    add(K::CheckBox, kActiveOnly, "Show active xmits only", 10, 170, 90, 10);
    return l;
}

inline std::vector<plat::DialogRow> TwoTransmitters() {
    return {{"9-8-7-6", "  "}, {"1-2-3-5", "X"}};
}

// The texts of a radio 1-2-3-4 that hears 1-2-3-5 transmitting.
inline std::vector<std::pair<int, std::string>> StatusTexts() {
    return {{1001, "1-2-3-4"},
            {1008, "  30.000 MHz"},
            {1009, "   1.640"},
            {1014, "      12.3"},
            {1015, "    -456.7"},
            {1016, "    1000.0"},
            {1017, "12"},
            {1018, "345"},
            {1019, "3"},
            {1020, "120"},
            {1022, "1"},
            {1004, "     101.0"},
            {1005, "    -202.5"},
            {1006, "     303.0"},
            {1002, "  30.000 MHz"},
            {1003, "  20.000"},
            {1007, "   0.912"},
            {1012, "   1.000"},
            {1010, "   1.000"},
            {1011, "   1.000"},
            {1013, "  45.310"}};
}

}  // namespace hcytest
