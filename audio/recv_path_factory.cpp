// Where radios and interphone stations make their receive paths.
#include <mutex>

#include "audio/recv_path.h"
#include "audio/recv_path_mono.h"
#include "audio/recv_path_multi.h"

namespace {
struct MakerSlot {
    std::mutex mutex;
    RecvPathMaker maker;
};
MakerSlot& Slot() {
    static MakerSlot slot;
    return slot;
}
}  // namespace

RecvPathMaker SetRecvPathMakerForTest(RecvPathMaker maker) {
    MakerSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    std::swap(slot.maker, maker);
    return maker;
}

std::unique_ptr<CRecvPath> CreateRecvPath(CRecvPath::Kind kind) {
    RecvPathMaker maker;
    {
        MakerSlot& slot = Slot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        maker = slot.maker;
    }
    if (maker) return maker(kind);
    if (kind == CRecvPath::Kind::Multi) return std::make_unique<CRecvPathMulti>();
    return std::make_unique<CRecvPathMono>();
}
