#include "ui/radio_status_model.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "ui/radio_status_layout.h"

namespace hcy::ui {
namespace {

// Every text control of the template.
constexpr int kTexts[] = {
    kRadioIdText,  kXmitFreqText,   kRecvGainText,  kRadioXText,   kRadioYText,   kRadioZText,
    kXmitSentText, kSignalSentText, kXmitsRecvText, kSigsRecvText, kExerciseText, kTxXText,
    kTxYText,      kTxZText,        kTxFreqText,    kTxPowerText,  kPropLossText, kRoundEarthText,
    kTunerText,    kSquelchText,    kSnrText};
constexpr int kPduData[] = {kXmitsRecvText, kSigsRecvText, kExerciseText, kTxXText,
                            kTxYText,       kTxZText,      kTxFreqText,   kTxPowerText};
constexpr int kModelResults[] = {kPropLossText, kRoundEarthText, kTunerText, kSquelchText,
                                 kSnrText};

// printf into a string; a huge value (1e300 m) still fits whole.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    char small[64];
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        out.clear();
    } else if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

std::string Mhz(double hz) { return Format("%8.3f MHz", hz / 1e6); }
std::string Fixed3(double value) { return Format("%8.3f", value); }
std::string Metres(double value) { return Format("%10.1f", value); }
// Counters show as the signed "%d" of their 32 bits.
std::string Count(std::uint32_t value) { return Format("%d", static_cast<int>(value)); }

}  // namespace

std::string RadioIdText(const net::RadioId& id) {
    return Format("%d-%d-%d-%d", id.entityId.site, id.entityId.application, id.entityId.entity,
                  id.radioNumber);
}

RadioStatusModel::RadioStatusModel() {
    for (int id : kTexts) m_view.texts[id];
}

void RadioStatusModel::SetRadioId(const net::RadioId& id) { m_id = id; }

bool RadioStatusModel::Open() {
    if (m_view.up) return false;
    for (auto& entry : m_view.texts) entry.second.clear();
    m_view.texts[kRadioIdText] = RadioIdText(m_id);
    m_view.up = true;
    return true;
}

void RadioStatusModel::Close() {
    m_copies.clear();
    m_view.rows.clear();
    m_view.selected = -1;
    m_selected.clear();
    m_view.up = false;
}

void RadioStatusModel::SetActiveOnly(bool on) { m_view.activeOnly = on; }

void RadioStatusModel::Select(const std::string& rowText) {
    m_view.selected = rowText.empty() ? -1 : FindRow(rowText);
    m_selected = m_view.selected < 0 ? std::string() : rowText;
}

int RadioStatusModel::FindRow(const std::string& text) const {
    for (std::size_t i = 0; i < m_view.rows.size(); ++i)
        if (m_view.rows[i].text == text) return static_cast<int>(i);
    return -1;
}

void RadioStatusModel::Update(const radio::RadioStatus& status) {
    if (!m_view.up) return;
    m_radio = status;
    m_radio.transmitters.clear();
    // One copy per transmitter, keyed by its whole id: two transmitters
    // whose numbers run together (1-23-4-5, 12-3-4-5) stay two.
    m_copies.clear();
    for (const radio::ReceiveView& r : status.transmitters) {
        if (m_view.activeOnly && !r.transmitting) continue;
        auto same = std::find_if(m_copies.begin(), m_copies.end(),
                                 [&](const radio::ReceiveView& c) { return c.id == r.id; });
        if (same != m_copies.end())
            *same = r;
        else
            m_copies.push_back(r);
    }
    Refresh();
}

void RadioStatusModel::Refresh() {
    auto& texts = m_view.texts;
    texts[kXmitFreqText] = Mhz(m_radio.transmitFrequency);
    texts[kRecvGainText] = Fixed3(m_radio.recvGain);
    texts[kRadioXText] = Metres(m_radio.x);
    texts[kRadioYText] = Metres(m_radio.y);
    texts[kRadioZText] = Metres(m_radio.z);
    texts[kXmitSentText] = Count(m_radio.xmitPdusSent);
    texts[kSignalSentText] = Count(m_radio.signalPdusSent);

    std::vector<std::string> names;
    names.reserve(m_copies.size());
    for (const auto& c : m_copies) names.push_back(RadioIdText(c.id));

    // Rows of transmitters no longer copied go; new ones go on top, the
    // newest of those that arrived together first.
    auto& rows = m_view.rows;
    std::erase_if(rows, [&](const RadioStatusRow& row) {
        return std::find(names.begin(), names.end(), row.text) == names.end();
    });
    if (rows.size() != m_copies.size())
        for (const auto& name : names)
            if (FindRow(name) < 0) rows.insert(rows.begin(), {name, "  "});

    // The selection stays on its row, or ends with it.
    m_view.selected = m_selected.empty() ? -1 : FindRow(m_selected);
    if (m_view.selected < 0) m_selected.clear();

    // The selected transmitter is the one whose four numbers the row's text
    // holds; with no selection nothing is read, so none is shown.
    int site = 0, application = 0, entity = 0, number = 0;
    const bool parsed =
        m_view.selected >= 0 &&
        std::sscanf(m_selected.c_str(), "%d-%d-%d-%d", &site, &application, &entity, &number) == 4;
    const radio::ReceiveView* shown = nullptr;
    for (std::size_t i = 0; i < m_copies.size(); ++i) {
        const auto& c = m_copies[i];
        rows[static_cast<std::size_t>(FindRow(names[i]))].xmit = c.transmitting ? "X" : "  ";
        if (parsed && c.id.entityId.site == site && c.id.entityId.application == application &&
            c.id.entityId.entity == entity && c.id.radioNumber == number)
            shown = &c;
    }
    ShowTransmitter(shown);
}

void RadioStatusModel::ShowTransmitter(const radio::ReceiveView* shown) {
    auto& texts = m_view.texts;
    if (!shown) {
        for (int id : kPduData) texts[id].clear();
        for (int id : kModelResults) texts[id].clear();
        return;
    }
    texts[kXmitsRecvText] = Count(shown->transmitterPduCount);
    texts[kSigsRecvText] = Count(shown->signalPduCount);
    texts[kExerciseText] = Count(shown->exercise);
    texts[kTxXText] = Metres(shown->antennaX);
    texts[kTxYText] = Metres(shown->antennaY);
    texts[kTxZText] = Metres(shown->antennaZ);
    texts[kTxFreqText] = Mhz(shown->frequency);
    texts[kTxPowerText] = Fixed3(shown->power);
    // The model results mean something only while it is on the air.
    if (shown->transmitting) {
        texts[kPropLossText] = Fixed3(shown->propagation);
        texts[kTunerText] = Fixed3(shown->tuner);
        texts[kSquelchText] = Fixed3(shown->squelch);
        texts[kRoundEarthText] = Fixed3(shown->lineOfSight);
        texts[kSnrText] = Fixed3(shown->signal);
    } else {
        for (int id : kModelResults) texts[id].clear();
    }
}

}  // namespace hcy::ui
