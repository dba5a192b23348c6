#pragma once
// The data device: a device whose microphone and loudspeaker are the host.
//
//   host --PostData--> copy --WM_CAPTURE_BUFFER_FILLED--> worker
//       --> DeliverCapture --> radios (TransmitAudio) and interphones
//   radio (Signal worker) --ReceiveAudio--> copy --WM_DATADEV_HOST_AUDIO-->
//       worker --> DataDeviceAudioProc
//   receive path (radio's lock held) --NotifyHost--> WM_DATADEV_HOST_NOTICE
//       --> worker --> DataDeviceNotifyProc
//
// One worker thread per device takes everything in the order it was posted.
// The host's callbacks run there and nowhere else: no library lock is held,
// so a callback may call any export (destroy a radio, post to this device,
// close it). After a close no callback starts; a close from another thread
// returns once the worker has ended (AwaitClosed joins it), a close from a
// callback returns into the worker, which then ends by itself.
//
// The worker's loop keeps only what a callback needs (the callbacks, the
// closed flag, the recycled blocks) in a state of its own, and reaches the
// device through a weak reference that it holds only while a message that
// needs the device is handled: a device closed from its own callback is
// destroyed on the worker, whose loop goes on without it.
//
// The device must be owned by a shared_ptr before Start.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/device.h"
#include "hcyplat/thread.h"

class CDataDevice : public CDevice, public std::enable_shared_from_this<CDataDevice> {
public:
    // type: the host's device type; either callback may be null.
    CDataDevice(int type, HostAudioProc audio, HostNotifyProc notify);
    ~CDataDevice() override;

    Kind GetKind() const override { return Kind::Data; }
    int GetDataDeviceType() const { return m_nDataDeviceType; }

    // Starts the worker; 0 with the last error set when it cannot start.
    virtual int Start();
    // Host thread: copies `byteCount` bytes of 16-bit samples (whole
    // samples only) and hands them to the worker; 0 when the worker cannot
    // take them.
    int PostData(void* data, int byteCount) override;

    // Keys (on) or unkeys every radio and interphone of the lists with the
    // device's word; posted blocks are taken to be at the library's sample
    // rate from the keying on.
    int SetPTT(int on, int channel) override;
    // Posted blocks are what the device captures: it captures while keyed.
    bool IsCapturing() const override { return IsKeyed(); }
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;
    // Unkeys and lets go of every radio and interphone it keyed, stops the
    // host's callbacks and tells the worker to end.
    void Close() override;
    // Joins the worker, unless called on it: the worker may hold the device
    // while it handles a message, and the destructor that would join it then
    // runs on the worker itself.
    void AwaitClosed() override;

    // Received audio and notices go to the host's callbacks on the worker.
    int ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                     std::uint32_t bytes, std::uint32_t sampleRate) override;
    bool NotifyHost(int radioUserId, const CReceive* record, int code, double* value) override;

protected:
    // Received audio or a notice on its way to the worker (the payload of
    // WM_DATADEV_HOST_AUDIO, WM_DATADEV_HOST_NOTICE and what derived
    // devices post the same way); the worker recycles it.
    struct Received {
        std::int32_t radio = 0;
        void* record = nullptr;
        std::int32_t code = 0;
        double value = 0.0;
        std::vector<std::int16_t> samples;
        std::uint32_t rate = 0;  // [Hz]
    };
    // Copies received audio for the worker under `message` (never waits);
    // false when it was dropped (the worker gone or its queue full).
    bool PostReceived(plat::UINT message, int radioUserId, const CReceive* record,
                      const std::int16_t* samples, std::uint32_t bytes, std::uint32_t sampleRate);

    // Keys (on) or unkeys every radio and interphone of the lists with the
    // device's word and sets the keying flags (the sample rate stays).
    void KeyTransmitLists(int on, int channel);

    // A message for the worker, handled with the device alive (the worker
    // holds it meanwhile); true when the message ends the worker.
    virtual bool HandleMessage(const plat::MSG& msg);
    // Posts a message to the worker; false (payload dropped) when it is
    // not running or its queue is full.
    bool PostToWorker(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
                      std::unique_ptr<plat::MessagePayload> payload = nullptr);
    // Whether the caller is the device's worker.
    bool OnWorker() const;

private:
    // Ends the worker and waits for it, unless called on it. The worker
    // never handles a message while the device is being destroyed: it holds
    // the device for each one, and a weak reference that fails then.
    void StopWorker();
    struct Worker;
    static void WorkerLoop(const std::shared_ptr<Worker>& worker);

    std::shared_ptr<Worker> m_worker;
    plat::Thread m_thread;
};
