// The data device through the exports: posted blocks go out as the radio's
// Signal PDUs; what the radios hear and the gain notices reach the host's
// callbacks on the device's worker, in order; callbacks may call any export;
// closing unkeys every radio and interphone the device keyed and waits for
// the worker.
#include <cstring>
#include <functional>
#include <latch>
#include <mutex>
#include <thread>

#include "audio/audio_fixture.h"
#include "audio/recv_path_mono.h"
#include "media/data_device.h"
#include "radio/radio_fixture.h"
#include "support/library_fixture.h"

namespace {

using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::Samples;
using hcytest::TransmitterSpec;
using hcytest::WaitFor;

// Apart from every other test's exercise: loopback PDUs of other
// processes never reach these radios.
constexpr std::uint8_t kExercise = 81;

// What the host's callbacks were given, in the order of the calls.
struct Call {
    bool audio;
    int radio;
    void* record;
    std::int32_t code;
    double value;
    Samples samples;
    std::uint32_t rate;
    std::thread::id thread;
};

struct Host {
    std::mutex mutex;
    std::vector<Call> calls;
    // Runs inside the callback after it was recorded (may call exports).
    std::function<void(const Call&)> then;

    void Add(Call call) {
        std::function<void(const Call&)> next;
        {
            std::lock_guard lock(mutex);
            calls.push_back(call);
            next = then;
        }
        if (next) next(call);
    }
    std::vector<Call> Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
    std::size_t Count() { return Calls().size(); }
};
Host host;

void OnAudio(std::int32_t radio, void* record, const std::int16_t* samples, std::uint32_t bytes,
             std::uint32_t rate) {
    host.Add({true, radio, record, 0, 0.0, Samples(samples, samples + bytes / 2), rate,
              std::this_thread::get_id()});
}

void OnNotice(std::int32_t radio, void* record, std::int32_t code, double* value) {
    host.Add({false, radio, record, code, *value, {}, 0, std::this_thread::get_id()});
}

class DataDevices : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        // The radios hear through the audio subsystem's own paths (this also
        // links them into the test program).
        ASSERT_TRUE(dynamic_cast<CRecvPathMono*>(CreateRecvPath(CRecvPath::Kind::Mono).get()));
        {
            std::lock_guard lock(host.mutex);
            host.calls.clear();
            host.then = nullptr;
        }
        hcy::radio::SetNetMgrHookForTest([this](hcy::radio::NetMgrMessage&& m) {
            if (m.message != hcy::WM_NETMGR_SEND_PDU || !m.pdu) return;
            if (static_cast<std::uint8_t>(m.pdu->pdu.at(2)) != hcy::net::PDU_TYPE_SIGNAL) return;
            std::lock_guard lock(mutex_);
            signals_.push_back(m.pdu->pdu);
        });
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        hcy::radio::SetNetMgrHookForTest({});
        std::lock_guard lock(host.mutex);
        host.then = nullptr;
    }

    int Radio() {
        const int handle = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
        EXPECT_GT(handle, 0) << Error();
        EXPECT_EQ(hcySetExerciseID(handle, kExercise), 1);
        EXPECT_EQ(hcySetRadioFrequency(handle, 30e6, 30e6), 1);
        EXPECT_EQ(hcySetEncoding(handle, ENCODING_PCM16), 1);
        return handle;
    }
    // A radio that hears through a data device with both callbacks.
    void Listener() {
        device = hcyOpenDataDevice(1, &OnAudio, &OnNotice);
        ASSERT_GT(device, 0) << Error();
        radio = Radio();
        ASSERT_EQ(hcySetComRadioRecv(radio, device, 0, 1), 1);
    }
    // A transmitter in range starts (or, state 1, stops) sending.
    void Key(std::uint8_t state = 2) {
        const auto pdu = MakeTransmitterPdu(
            TransmitterSpec{.id = sender, .state = state, .exercise = kExercise});
        theApp.DispatchTransmitterPdu(reinterpret_cast<const hcy::net::TransmitterPdu*>(pdu.data()),
                                      static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
    }
    void Speak(const Samples& block, std::uint32_t rate) {
        std::vector<std::uint8_t> bytes(block.size() * 2);
        std::memcpy(bytes.data(), block.data(), bytes.size());
        const auto pdu = MakeSignalPdu(sender, 4, bytes, static_cast<std::uint16_t>(block.size()),
                                       rate, kExercise);
        theApp.DispatchSignalPdu(reinterpret_cast<const hcy::net::SignalPdu*>(pdu.data()),
                                 static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
    }
    std::vector<std::vector<std::byte>> Signals() {
        std::lock_guard lock(mutex_);
        return signals_;
    }
    static int Keyed(int device) {
        std::uint32_t keyed = 7;
        EXPECT_EQ(hcyGetDeviceData(device, DEVDATA_KEYED, reinterpret_cast<intptr_t>(&keyed)), 1);
        return static_cast<int>(keyed);
    }

    const hcy::net::RadioId sender{{10, 20, 30}, 1};
    int device = 0, radio = 0;
    std::mutex mutex_;
    std::vector<std::vector<std::byte>> signals_;
};

TEST_F(DataDevices, APostedBlockGoesOutUnchangedAsTheRadiosSignal) {
    device = hcyOpenDataDeviceSimple(7);
    ASSERT_GT(device, 0) << Error();
    radio = Radio();
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    ASSERT_EQ(hcySetRadioPTT(device, 1, 0), 1);
    EXPECT_EQ(Keyed(device), 1);

    const Samples block = hcytest::Block(320, 3);  // 640 bytes
    EXPECT_EQ(hcyPostDataDevice(device, reinterpret_cast<intptr_t>(block.data()), 640), 1);
    ASSERT_TRUE(WaitFor([&] { return Signals().size() == 1; }));
    const auto pdu = Signals()[0];
    hcy::net::SignalPdu fields;
    std::memcpy(&fields, pdu.data(), sizeof fields);
    EXPECT_EQ(fields.encodingScheme, ENCODING_PCM16);
    EXPECT_EQ(fields.sampleRate, 16000u);  // the library's rate
    EXPECT_EQ(fields.sampleCount, 320);
    ASSERT_EQ(pdu.size(), 32u + 640u);
    EXPECT_EQ(std::memcmp(pdu.data() + 32, block.data(), 640), 0);

    // Refused without a word to the worker: no data, no or negative size,
    // less than one sample.
    for (int bytes : {0, -640, 1})
        EXPECT_EQ(hcyPostDataDevice(device, reinterpret_cast<intptr_t>(block.data()), bytes), 0)
            << bytes;
    EXPECT_EQ(hcyPostDataDevice(device, 0, 640), 0);
    ASSERT_EQ(hcySetRadioPTT(device, 0, 0), 1);
    EXPECT_EQ(Keyed(device), 0);
    EXPECT_EQ(hcyGetDeviceData(device, 999, reinterpret_cast<intptr_t>(&device)), 0);
}

TEST_F(DataDevices, HeardAudioAndGainNoticesReachTheHostInOrderOnTheWorker) {
    Listener();
    Key();
    const Samples first = hcytest::Block(512, 1), second = hcytest::Block(160, 2);
    Speak(first, 16000);
    Speak(second, 8000);
    ASSERT_TRUE(WaitFor([] { return host.Count() == 3; }));
    const auto calls = host.Calls();
    EXPECT_FALSE(calls[0].audio);
    EXPECT_EQ(calls[0].code, DEVDATA_RECV_GAIN);
    EXPECT_GT(calls[0].value, 0.0);
    EXPECT_LE(calls[0].value, 1.0);
    for (std::size_t i : {1u, 2u}) {
        EXPECT_TRUE(calls[i].audio);
        EXPECT_EQ(calls[i].radio, radio);
        EXPECT_EQ(calls[i].record, calls[0].record);
        EXPECT_NE(calls[i].thread, std::this_thread::get_id());  // the device's worker
        EXPECT_EQ(calls[i].thread, calls[0].thread);
    }
    EXPECT_EQ(calls[1].samples, first);
    EXPECT_EQ(calls[1].rate, 16000u);
    EXPECT_EQ(calls[2].samples, second);
    EXPECT_EQ(calls[2].rate, 8000u);

    // Without an audio callback received audio is dropped, without a word.
    const int quiet = hcyOpenDataDeviceSimple(1);
    ASSERT_EQ(hcySetComRadioRecv(radio, quiet, 0, 1), 1);
    theApp.SetError("before");
    Speak(first, 16000);
    ASSERT_TRUE(WaitFor([] { return host.Count() == 4; }));
    EXPECT_EQ(Error(), "HCY ERROR: before");
}

TEST_F(DataDevices, CallbacksMayCallAnyExport) {
    // Each callback calls exports that wait for the tables' write lock or
    // the radio's lock: the dispatch (tables read-locked) and the gain
    // notice (radio locked) must not be where the host is called.
    const struct {
        const char* name;
        bool onNotice;
        std::function<void(int device, int radio)> call;
    } rows[] = {
        {"notice destroys the radio", true,
         [](int, int r) { EXPECT_EQ(hcyDestroyComRadio(r), 1); }},
        {"notice closes the device", true, [](int d, int) { EXPECT_EQ(hcyCloseDataDevice(d), 1); }},
        {"audio posts, then closes the device", false,
         [](int d, int) {
             const Samples block(64, 5);
             EXPECT_EQ(hcyPostDataDevice(d, reinterpret_cast<intptr_t>(block.data()), 128), 1);
             EXPECT_EQ(hcyCloseDataDevice(d), 1);
         }},
        {"audio destroys the radio and opens a device", false,
         [](int, int r) {
             EXPECT_EQ(hcyDestroyComRadio(r), 1);
             EXPECT_GT(hcyOpenDataDeviceSimple(2), 0);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Listener();
        std::atomic<bool> started{false}, done{false};
        {
            std::lock_guard lock(host.mutex);
            host.calls.clear();
            host.then = [&, d = device, r = radio, onNotice = row.onNotice](const Call& c) {
                if (c.radio != r || c.audio == onNotice || started.exchange(true)) return;
                row.call(d, r);
                done = true;
            };
        }
        Key();
        Speak(hcytest::Block(64), 16000);
        ASSERT_TRUE(WaitFor([&] { return done.load(); }));
        // The library goes on: the next dispatch and a new radio work.
        Speak(hcytest::Block(64), 16000);
        EXPECT_GT(Radio(), 0);
        std::lock_guard lock(host.mutex);
        host.then = nullptr;
    }
}

TEST_F(DataDevices, ClosingUnkeysEveryRadioAndInterphoneItKeyed) {
    auto data = std::make_shared<CDataDevice>(0, nullptr, nullptr);
    data->SetHandle(21);
    ASSERT_EQ(data->Start(), 1);
    hcytest::RecordingRadio radios[3];
    hcytest::RecordingInterphone interphone;
    for (auto& r : radios) ASSERT_EQ(data->AddRadioXmitPath(&r), 1);
    ASSERT_EQ(data->AddIntercomXmitPath(&interphone), 1);
    data->SetPTT(1, 0);
    const Samples block = hcytest::Block(320);
    EXPECT_EQ(data->PostData(const_cast<std::int16_t*>(block.data()), 640), 1);
    ASSERT_TRUE(WaitFor([&] { return radios[2].blockCount == 1; }));
    EXPECT_EQ(radios[0].Blocks()[0], block);
    EXPECT_EQ(radios[0].Sources()[0], 42u);  // handle x 2

    data->Close();
    for (auto& r : radios) {
        EXPECT_FALSE(r.Keyed());
        EXPECT_EQ(r.Ptt().back(), (hcytest::PttCall{0, 42}));
    }
    EXPECT_EQ(interphone.Talk().back(), (hcytest::PttCall{0, 42}));
    EXPECT_TRUE(data->GetRadioXmitList().empty());
    EXPECT_TRUE(data->GetIntercomXmitList().empty());
    EXPECT_FALSE(data->IsKeyed());
    data.reset();  // joins the worker
    EXPECT_EQ(radios[0].blockCount, 1);
}

// A device whose worker stays inside one message, holding the device, until
// released (as a transcription holds a speech device).
class HeldDataDevice : public CDataDevice {
public:
    static constexpr plat::UINT kHold = plat::WM_USER + 77;
    HeldDataDevice(std::latch& release, std::atomic<bool>& entered)
        : CDataDevice(0, nullptr, nullptr), release_(release), entered_(entered) {}
    bool Hold() { return PostToWorker(kHold, 0, 0); }

protected:
    bool HandleMessage(const plat::MSG& msg) override {
        if (msg.message != kHold) return CDataDevice::HandleMessage(msg);
        entered_ = true;
        release_.wait();
        return false;
    }

private:
    std::latch& release_;
    std::atomic<bool>& entered_;
};

// The worker is then the device's other owner, and the destructor that
// joins it would run on the worker itself: the close joins it.
TEST_F(DataDevices, ACloseFromTheHostWaitsForTheMessageInFlight) {
    std::latch release(1);
    std::atomic<bool> entered{false}, closed{false};
    auto held = std::make_shared<HeldDataDevice>(release, entered);
    held->SetHandle(theApp.TakeHandle());
    ASSERT_EQ(held->Start(), 1);
    const int handle = theApp.AddDevice(held);
    ASSERT_GT(handle, 0);
    ASSERT_TRUE(held->Hold());
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    const std::weak_ptr<HeldDataDevice> weak = held;
    held.reset();
    bool goneWhenClosed = false;
    std::thread host([&] {
        EXPECT_EQ(hcyCloseDataDevice(handle), 1);
        goneWhenClosed = weak.expired();
        closed = true;
    });
    EXPECT_FALSE(WaitFor([&] { return closed.load(); }, std::chrono::milliseconds(50)));
    release.count_down();
    host.join();
    EXPECT_TRUE(goneWhenClosed) << "the worker ended before the close returned";
}

}  // namespace
