// The seam through which radios make their receive paths.
#include <mutex>

#include "audio/recv_path.h"

namespace {
// Made on first use: the audio subsystem installs its factory while the
// library's statics are being initialised, in no fixed order with this file.
struct FactorySlot {
    std::mutex mutex;
    RecvPathFactory factory;
};
FactorySlot& Slot() {
    static FactorySlot slot;
    return slot;
}
}  // namespace

RecvPathFactory SetRecvPathFactory(RecvPathFactory factory) {
    FactorySlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    std::swap(slot.factory, factory);
    return factory;
}

std::unique_ptr<CRecvPath> CreateRecvPath(CRecvPath::Kind kind) {
    RecvPathFactory factory;
    {
        FactorySlot& slot = Slot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        factory = slot.factory;
    }
    return factory ? factory(kind) : nullptr;
}
