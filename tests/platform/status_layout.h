#pragma once
// The radio status dialog's template (312 x 191 units) as test data for the
// dialog layer, and a state of it with two heard transmitters.
#include <string>
#include <utility>
#include <vector>

#include "hcyplat/dialog.h"
#include "ui/radio_status_layout.h"

namespace hcytest {

constexpr int kList = hcy::ui::kTransmitterList;
constexpr int kActiveOnly = hcy::ui::kActiveOnlyBox;

inline plat::DialogLayout StatusLayout() { return hcy::ui::RadioStatusLayout(); }

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
