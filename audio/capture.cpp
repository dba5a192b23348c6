#include "audio/capture.h"

#include <vector>

void KeepUnclosedCapture(std::unique_ptr<CCapture> capture) {
    static auto* kept = new std::vector<std::unique_ptr<CCapture>>;
    static std::mutex keptMutex;
    std::lock_guard lock(keptMutex);
    kept->push_back(std::move(capture));
}
