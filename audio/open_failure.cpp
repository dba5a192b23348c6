#include "audio/open_failure.h"

#include "base/library.h"

namespace hcy::audio {

void ReportOpenFailure(std::int64_t code, std::initializer_list<KnownFailure> known,
                       const char* failed, const char* unknown, CodeFormat format) {
    for (const KnownFailure& failure : known) {
        if (failure.code == code) {
            hcy::Library().SetErrorf("%s%s", failed, failure.reason);
            return;
        }
    }
    if (format == CodeFormat::Hexadecimal)
        hcy::Library().SetErrorf("%s %X.", unknown, static_cast<unsigned>(code));
    else
        hcy::Library().SetErrorf("%s %d.", unknown, static_cast<int>(code));
}

}  // namespace hcy::audio
