#pragma once
// The HLA manager of a FOM type, as core/ hands it to the network manager.
// Free of any RTI header.
#include <cstdint>
#include <memory>

#include "hla/hla_sink.h"
#include "net/hla_manager.h"

namespace hcy {
namespace hla {

// FOM type 1 (RPR FOM 1.0): a CHLAMgrRpr10 reporting to `sink`; null for any
// other type. `sink` must outlive the manager. Throws std::runtime_error
// when the RTI refuses its ambassador.
std::unique_ptr<net::HlaManager> CreateHlaManager(std::uint32_t fomType, HlaSink& sink);

}  // namespace hla
}  // namespace hcy
