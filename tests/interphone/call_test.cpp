// The call state machine of station 3: every row of the call table, from a
// state reached with hand-written PDUs, one event fed in, the control PDUs
// that come out and the call words the host reads afterwards.
#include <functional>

#include "interphone/station_fixture.h"

namespace hcytest {
namespace {

// States: S0 idle; S1 rung on hook by 21; S2 off hook, dial tone; S3 off
// hook while rung by 21; S3x off hook, the ringing stopped by someone's
// hang-up; S4 dialing 5; S5 5 rings; S6 5 busy; S7 in a call with 5.
enum class State { S0, S1, S2, S3, S3x, S4, S5, S6, S7 };

constexpr std::uint16_t kCallLine = 0x0503;  // station 3 dials 5

using WordList = std::vector<std::uint32_t>;  // dial tone, caller, busy, ringback

struct Row {
    const char* name;
    State from;
    std::function<void(CIcsStation&)> event;
    std::vector<std::string> sent;
    WordList words;
    bool connected = false;
    std::uint16_t line = 0;
    std::vector<std::string> pathCalls = {};  // checked when not empty
    std::size_t stations = 0;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

void Bring(CIcsStation& s, State state) {
    switch (state) {
    case State::S0: return;
    case State::S1: return Feed(s, DialRequest(21, 3));
    case State::S2: s.SetHook(0); return;
    case State::S3:
        Bring(s, State::S1);
        s.SetHook(0);
        return;
    case State::S3x: Bring(s, State::S3); return Feed(s, Status(40, 0x1234, ICS_LINE_ON_HOOK));
    case State::S4:
        Bring(s, State::S2);
        s.Dial(5);
        return;
    case State::S5: Bring(s, State::S4); return Feed(s, Reply(5, 3, kCallLine, ICS_REPLY_RINGING));
    case State::S6: Bring(s, State::S4); return Feed(s, Reply(5, 3, kCallLine, ICS_REPLY_BUSY));
    case State::S7: Bring(s, State::S5); return Feed(s, Reply(5, 3, kCallLine, ICS_REPLY_ANSWERED));
    }
}

auto Fed(IcsTransmitterPdu p) {
    return [p](CIcsStation& s) { Feed(s, p); };
}

// Control PDUs of station 3: its status and its replies to `caller`.
std::string StatusOut(std::uint16_t line, std::uint8_t state, std::uint16_t called = 0) {
    return Summary(ControlFrom(3, line, called, called ? 1 : 0, 0, state));
}
std::string ReplyOut(std::uint16_t caller, std::uint8_t code, std::uint8_t replier) {
    auto p = ControlFrom(3, static_cast<std::uint16_t>(3 << 8 | caller), caller, 0, code, 1);
    p.replierLineState = replier;
    return Summary(p);
}

const WordList kQuiet{0, 0, 0, 0}, kTone{1, 0, 0, 0}, kRung21{0, 21, 0, 0}, kRinging{0, 0, 0, 1},
    kBusy{0, 0, 1, 1};

// Columns: name, state, event; control PDUs sent; words after; then, where
// they matter: connected, line, path calls, station records.
const std::vector<Row>& Rows() {
    using S = State;
    auto hook = [](std::uint32_t h) { return [h](CIcsStation& s) { s.SetHook(h); }; };
    auto dial = [](std::uint16_t n) { return [n](CIcsStation& s) { s.Dial(n); }; };
    // Keyed by a device whose source word needs all 32 bits.
    auto talk = [](int on) { return [on](CIcsStation& s) { s.SetTalk(on, 0x12345u << 1); }; };
    auto heartbeat = [](CIcsStation& s) { s.Heartbeat(); };
    const auto ringing = Reply(5, 3, kCallLine, ICS_REPLY_RINGING);
    const auto answered = Reply(5, 3, kCallLine, ICS_REPLY_ANSWERED);
    const auto busy = Reply(5, 3, kCallLine, ICS_REPLY_BUSY);
    const auto strangerHangsUp = Status(40, 0x1234, ICS_LINE_ON_HOOK);
    const std::string onHook3 = StatusOut(3, ICS_LINE_ON_HOOK),
                      request = StatusOut(kCallLine, 1, 5);
    // clang-format off
    static const std::vector<Row> rows = {
        {"S0 off hook gives dial tone", S::S0, hook(0), {}, kTone},
        {"S0 on hook again", S::S0, hook(1), {}, kQuiet},
        {"S0 dial on hook is ignored", S::S0, dial(5), {}, kQuiet},
        {"S1 dial on hook is ignored", S::S1, dial(5), {}, kRung21},
        // A status goes out only when the line state changes: on hook it
        // never does, and an on-hook status would stop every ringing.
        {"S0 talk on hook sends nothing", S::S0, talk(1), {}, kQuiet, false, 0, {"gain local"}},
        {"S1 talk off on hook sends nothing", S::S1, talk(0), {}, kRung21, false, 0,
         {"stop local"}},
        {"S0 rung by 21", S::S0, Fed(DialRequest(21, 3)), {ReplyOut(21, ICS_REPLY_RINGING, 0)},
         kRung21},
        {"S1 rung again by 22", S::S1, Fed(DialRequest(22, 3)),
         {ReplyOut(22, ICS_REPLY_RINGING, 0)}, WordList{0, 22, 0, 0}},
        {"S1 off hook while rung", S::S1, hook(0), {}, kRung21},
        {"S1 anyone's hang-up stops the ringing", S::S1, Fed(strangerHangsUp), {}, kQuiet},
        {"S3 anyone's hang-up stops the ringing", S::S3, Fed(strangerHangsUp), {}, kQuiet},
        {"S2 talking outside a call sends no audio", S::S2,
         [](CIcsStation& s) {
             const std::vector<std::int16_t> block(1024, 500);
             s.SetTalk(1, 6);
             s.SendAudio(block.data(), 2048, 16000);
         },
         {StatusOut(3, ICS_LINE_TALKING)}, kTone},
        {"S2 dial", S::S2, dial(5), {request}, kQuiet},
        {"S2 dialed: busy", S::S2, Fed(DialRequest(21, 3)), {ReplyOut(21, ICS_REPLY_BUSY, 1)},
         kTone},
        {"S3x dialed: busy", S::S3x, Fed(DialRequest(21, 3)), {ReplyOut(21, ICS_REPLY_BUSY, 1)},
         kQuiet},
        {"S4 dialed: busy", S::S4, Fed(DialRequest(21, 3)), {ReplyOut(21, ICS_REPLY_BUSY, 1)},
         kQuiet},
        {"S7 dialed: busy", S::S7, Fed(DialRequest(22, 3)), {ReplyOut(22, ICS_REPLY_BUSY, 1)},
         kQuiet, true, kCallLine, {}, 1},
        {"S3 answers its caller", S::S3, Fed(DialRequest(21, 3)),
         {ReplyOut(21, ICS_REPLY_ANSWERED, 1)}, kQuiet, true, 0x0315, {"gain 21"}, 1},
        {"S3 another caller gets busy", S::S3, Fed(DialRequest(22, 3)),
         {ReplyOut(22, ICS_REPLY_BUSY, 1)}, kRung21},
        {"S2 hang up", S::S2, hook(1), {onHook3}, kQuiet},
        {"S3 hang up: still rung", S::S3, hook(1), {onHook3}, kRung21},
        {"S3x hang up", S::S3x, hook(1), {onHook3}, kQuiet},
        {"S4 heartbeat repeats the request", S::S4, heartbeat, {request}, kQuiet},
        {"S5 heartbeat repeats the request", S::S5, heartbeat, {request}, kRinging},
        {"S6 heartbeat repeats the request", S::S6, heartbeat, {request}, kBusy},
        {"S0 heartbeat sends nothing", S::S0, heartbeat, {}, kQuiet},
        {"S4 ringing", S::S4, Fed(ringing), {}, kRinging},
        {"S6 ringing after busy", S::S6, Fed(ringing), {}, kRinging},
        {"S4 busy", S::S4, Fed(busy), {}, kBusy},
        {"S5 answered", S::S5, Fed(answered), {}, kQuiet, true, kCallLine, {"gain 5"}, 1},
        {"S6 answered", S::S6, Fed(answered), {}, kQuiet, true, kCallLine, {"gain 5"}, 1},
        {"S4 hang up", S::S4, hook(1), {StatusOut(kCallLine, ICS_LINE_ON_HOOK)}, kQuiet},
        {"S5 hang up", S::S5, hook(1), {StatusOut(kCallLine, ICS_LINE_ON_HOOK)}, kQuiet},
        {"S6 hang up", S::S6, hook(1), {StatusOut(kCallLine, ICS_LINE_ON_HOOK)}, kQuiet},
        {"S7 heartbeat", S::S7, heartbeat, {StatusOut(kCallLine, ICS_LINE_OFF_HOOK)}, kQuiet, true,
         kCallLine, {}, 1},
        {"S7 talk", S::S7, talk(1), {StatusOut(kCallLine, ICS_LINE_TALKING)}, kQuiet, true,
         kCallLine, {"gain local"}, 1},
        {"S7 talk twice, off twice: a status per change", S::S7,
         [](CIcsStation& s) {
             for (int on : {1, 1, 0, 0}) s.SetTalk(on, 6);
         },
         {StatusOut(kCallLine, ICS_LINE_TALKING), StatusOut(kCallLine, ICS_LINE_OFF_HOOK)}, kQuiet,
         true, kCallLine, {"gain local", "gain local", "stop local", "stop local"}, 1},
        {"S7 peer talks, then stops", S::S7,
         [](CIcsStation& s) {
             Feed(s, Status(5, kCallLine, ICS_LINE_TALKING));
             Feed(s, Status(5, kCallLine, ICS_LINE_OFF_HOOK));
         },
         {}, kQuiet, true, kCallLine, {"gain 5", "stop 5"}, 1},
        {"S7 a station on the line joins", S::S7, Fed(Status(9, kCallLine, ICS_LINE_OFF_HOOK)), {},
         kQuiet, true, kCallLine, {"gain 9"}, 2},
        {"S7 a station on another line does not", S::S7, Fed(Status(9, 0x0999, ICS_LINE_OFF_HOOK)),
         {}, kQuiet, true, kCallLine, {}, 1},
        {"S7 a stranger's hang-up on the line is not a station", S::S7,
         Fed(Status(9, kCallLine, ICS_LINE_ON_HOOK)), {}, kQuiet, true, kCallLine, {}, 1},
        {"S7 the peer hangs up: dial tone", S::S7, Fed(Status(5, kCallLine, ICS_LINE_ON_HOOK)), {},
         kTone, false, 0, {"stop 5", "forget 5"}},
        {"S7 one of two parties hangs up: the call goes on", S::S7,
         [](CIcsStation& s) {
             Feed(s, Status(9, kCallLine, ICS_LINE_OFF_HOOK));
             Feed(s, Status(9, kCallLine, ICS_LINE_ON_HOOK));
         },
         {}, kQuiet, true, kCallLine, {"gain 9", "stop 9", "forget 9"}, 1},
        {"S7 the peer's stale status after its hang-up", S::S7,
         [](CIcsStation& s) {
             Feed(s, Status(5, kCallLine, ICS_LINE_ON_HOOK));
             Feed(s, Status(5, kCallLine, ICS_LINE_TALKING));
         },
         {}, kTone, false, 0, {"stop 5", "forget 5"}},
        {"S7 dial adds a party", S::S7, dial(9), {StatusOut(kCallLine, 1, 9)}, kQuiet, true,
         kCallLine, {}, 1},
        {"S7 hang up", S::S7, hook(1), {StatusOut(kCallLine, ICS_LINE_ON_HOOK)}, kQuiet, false, 0,
         {"stop 5", "forget 5"}},
        {"S7 a PDU of its own entity is not heard", S::S7,
         Fed(Status(3, kCallLine, ICS_LINE_ON_HOOK)), {}, kQuiet, true, kCallLine, {}, 1},
        // Replies count only as the answer to this station's own request.
        {"S0 replies are ignored", S::S0,
         [=](CIcsStation& s) { for (const auto& r : {ringing, answered, busy}) Feed(s, r); },
         {}, kQuiet},
        {"S1 an answer is ignored", S::S1, Fed(answered), {}, kRung21},
        {"S2 an answer is ignored", S::S2, Fed(answered), {}, kTone},
        {"S4 a reply to another entity is ignored", S::S4,
         [=](CIcsStation& s) {
             auto p = answered;
             p.addressedId = Entity(99);
             Feed(s, p);
         },
         {}, kQuiet},
        {"S4 a reply from another number is ignored", S::S4,
         Fed(Reply(6, 3, kCallLine, ICS_REPLY_ANSWERED)), {}, kQuiet},
        {"S0 another exercise is not heard", S::S0, Fed(ControlFrom(21, 0x0315, 3, 1, 0, 1, 2)), {},
         kQuiet},
    };
    // clang-format on
    return rows;
}

class CallTableTest : public StationTest, public ::testing::WithParamInterface<Row> {};

TEST_P(CallTableTest, EventGivesItsPdusAndWords) {
    const Row& row = GetParam();
    Bring(*station, row.from);
    Sent();
    paths.front()->calls.clear();

    row.event(*station);

    EXPECT_EQ(SentControls(), row.sent);
    EXPECT_EQ(Words(*station), row.words);
    EXPECT_EQ(station->IsConnected(), row.connected);
    EXPECT_EQ(station->GetLine(), row.line);
    EXPECT_EQ(station->GetStationCount(), row.stations);
    if (!row.pathCalls.empty()) {
        EXPECT_EQ(paths.front()->calls, row.pathCalls);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CallTableTest, ::testing::ValuesIn(Rows()), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

// The whole control PDU, header and entities included.
TEST_F(StationTest, ReplyAndStatusCarryHeaderAndEntities) {
    station->SetExerciseID(0x107);
    Feed(*station, ControlFrom(21, 0x0315, 3, 1, 0, 1, 7));
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 40u);
    const auto reply = As<IcsTransmitterPdu>(sent[0]);
    EXPECT_EQ(reply.header.protocolVersion, 6);
    EXPECT_EQ(reply.header.exerciseId, 7);  // the low byte
    EXPECT_EQ(reply.header.pduType, 160);
    EXPECT_EQ(reply.header.protocolFamily, 40);
    EXPECT_EQ(reply.header.length, 40);
    EXPECT_EQ(reply.senderId, Entity(3));
    EXPECT_EQ(reply.addressedId, Entity(21));

    station->SetHook(0);
    station->Dial(300);  // the dialed number's high byte is lost from the line
    const auto status = As<IcsTransmitterPdu>(Sent().at(0));
    EXPECT_EQ(status.line, 0x2C03);
    EXPECT_EQ(status.senderId, Entity(3));
    EXPECT_EQ(status.addressedId, Entity(3));
}

// Made-up stations flooding the call's line join no further than the cap.
TEST_F(StationTest, StationsJoiningTheLineAreCapped) {
    Bring(*station, State::S7);
    for (std::uint16_t n = 100; n < 200; ++n) Feed(*station, Status(n, kCallLine, 1));
    EXPECT_EQ(station->GetStationCount(), CIcsStation::kMaxStations);
}

TEST_F(StationTest, SettersRefuseWhatIsOutOfRange) {
    EXPECT_EQ(station->SetEncoding(5), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Invalid encoding scheme");
    EXPECT_EQ(station->SetEncoding(0), 1);  // stores 16-bit PCM
    EXPECT_EQ(station->SetMasterVolume(1.5f), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Master volume must be between 0.0 and 1.0.");
    EXPECT_EQ(station->GetMasterVolume(), 1.0f);
    std::uint32_t word = 77;
    EXPECT_EQ(station->GetData(305, &word), 0);
    EXPECT_EQ(word, 77u);
    EXPECT_EQ(CIcsStation().GetMasterVolume(), 0.0f);  // a new station is silent
}

}  // namespace
}  // namespace hcytest
