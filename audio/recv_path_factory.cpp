// Where radios and interphone stations make their receive paths.
#include <mutex>

#include "audio/recv_path.h"
#include "audio/recv_path_mono.h"
#include "audio/recv_path_multi.h"

namespace {
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
    if (factory) return factory(kind);
    if (kind == CRecvPath::Kind::Multi) return std::make_unique<CRecvPathMulti>();
    return std::make_unique<CRecvPathMono>();
}
