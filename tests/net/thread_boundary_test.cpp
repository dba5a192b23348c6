// Exceptions inside the network manager, the two PDU workers and a socket's
// receive thread: each ends as a last-error text, loses only the message,
// PDU or datagram it was handling, and the thread goes on with the next.
#include "hcyplat/thread_boundary.h"
#include "base/thread_kinds.h"
#include "net_fixture.h"

using namespace nettest;

namespace {

class ThreadFaultTest : public NetTest {
protected:
    void TearDown() override {
        plat::InjectThreadFaultForTest(nullptr);
        NetTest::TearDown();
    }
    // Arms one fault for `what`, runs `trigger`, waits for the last error.
    void Fault(const char* what, const std::function<void()>& trigger) {
        theApp.ClearError();
        plat::InjectThreadFaultForTest(what);
        trigger();
        const std::string want = std::string("HCY ERROR: Error while ") + what + ": injected fault";
        ASSERT_TRUE(hcytest::WaitFor([&] { return Error() == want; })) << Error();
    }
};

}  // namespace

TEST_F(ThreadFaultTest, NetworkManagerLosesOneMessageAndHandlesTheNext) {
    const auto before = mgr_->HeartbeatsHandled();
    Fault(hcy::boundary::kNetMgrMessage,
          [&] { ASSERT_TRUE(mgr_->Post(hcy::WM_NETMGR_HEARTBEAT, 0, 0)); });
    ASSERT_TRUE(mgr_->Post(hcy::WM_NETMGR_HEARTBEAT, 0, 0));
    ASSERT_TRUE(hcytest::WaitFor([&] { return mgr_->HeartbeatsHandled() == before + 1; }));
    EXPECT_TRUE(mgr_->IsRunning());
}

TEST_F(ThreadFaultTest, EachWorkerLosesOnePduAndDispatchesTheNext) {
    auto radio = AddRadio(NET_LOOPBACK);
    struct Case {
        const char* what;
        const Bytes* pdu;
    };
    for (const Case& c : {Case{hcy::boundary::kAudioWorker, &s.sigHost},
                          Case{hcy::boundary::kXmitWorker, &s.txHost}}) {
        SCOPED_TRACE(c.what);
        const std::size_t before = radio->count();
        Fault(c.what, [&] { ASSERT_TRUE(Send(*c.pdu, NET_LOOPBACK)); });
        ASSERT_TRUE(Send(*c.pdu, NET_LOOPBACK));
        ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == before + 1; }));
    }
    EXPECT_EQ(radio->count(), 2u);
}

TEST_F(ThreadFaultTest, ReceiveThreadLosesOneDatagramAndReceivesTheNext) {
    auto radio = AddRadio(NET_PRIMARY);
    Peer primary(primaryPort_);
    Fault(hcy::boundary::kReceiveDatagram, [&] { primary.Send(s.txWire); });
    primary.Send(s.txWire);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 1; }));
    EXPECT_TRUE(mgr_->GetSocketStatus(1).open);
}
