#include "audio/recv_path.h"

CRecvPath* FreeRecvPath(std::vector<std::unique_ptr<CRecvPath>>& paths, CRecvPath::Kind kind,
                        const CDevice* device) {
    CRecvPath* path = nullptr;
    for (auto& p : paths) {
        if (p->IsActive() || p->GetKind() != kind) continue;
        if (p->GetDevice() == device) return p.get();
        if (!path) path = p.get();
    }
    if (path) return path;
    auto made = CreateRecvPath(kind);
    paths.push_back(std::move(made));
    return paths.back().get();
}
