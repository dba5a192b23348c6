// The seam through which radios make their receive paths.
#include <mutex>

#include "audio/recv_path.h"

namespace {
std::mutex g_factoryMutex;
RecvPathFactory g_factory;
}  // namespace

RecvPathFactory SetRecvPathFactory(RecvPathFactory factory) {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    std::swap(g_factory, factory);
    return factory;
}

std::unique_ptr<CRecvPath> CreateRecvPath(CRecvPath::Kind kind) {
    RecvPathFactory factory;
    {
        std::lock_guard<std::mutex> lock(g_factoryMutex);
        factory = g_factory;
    }
    return factory ? factory(kind) : nullptr;
}
