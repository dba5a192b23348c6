#pragma once
// What the HLA manager needs of the application object (core/ implements it;
// tests stand in for it): the HLA dispatchers, the radios by user id and by
// object handle, the last error, and the way back to the network manager's
// queue.
//
//   RTI callback (inside tick) --> CHcyFedAmb --> CHLAMgrRpr10 decodes
//     --> HlaSink::DispatchHlaTransmitterUpdate / DispatchHlaSignal /
//         ForEachHlaRadioRemoveObject --> every NET_HLA radio
//     --> HlaSink::PostUpdateAttributes (handled after the tick)
//
// Contract: called on the network manager's thread, also from inside RTI
// callbacks, so no member may call back into the HLA manager or wait for
// that thread. Records and texts belong to the caller and are valid for the
// call only.
#include <cstdint>
#include <string>

#include "net/hla_record.h"

namespace hcy {
namespace hla {

class HlaSink {
public:
    virtual void DispatchHlaTransmitterUpdate(std::uint32_t objectHandle,
                                              const HlaTransmitterRecord* record,
                                              std::uint32_t attributeMask) = 0;
    virtual void DispatchHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                                   std::uint32_t dataBytes, const std::string* senderName) = 0;
    // Every NET_HLA radio drops its record of the object; returns 1.
    virtual int ForEachHlaRadioRemoveObject(std::uint32_t objectHandle) = 0;

    // The name of the radio whose user id is `userId`; false when none.
    virtual bool GetRadioName(int userId, std::string& name) = 0;
    // Stores a registered object's handle in that radio; false when it is
    // gone meanwhile.
    virtual bool SetRadioHlaObject(int userId, std::uint32_t objectHandle) = 0;
    // Tells that radio the RTI refused its object, and why.
    virtual void RefuseRadioHlaObject(int userId, const char* reason) = 0;
    // The attributes of the HLA radio registered as `objectHandle`; false
    // when no radio is.
    virtual bool GetHlaRadioRecord(std::uint32_t objectHandle, HlaTransmitterRecord& out) = 0;
    // The application's SetRadioHLAData (code: the WM_NETMGR_HLA_* number).
    virtual bool SetRadioHLAData(std::uint32_t objectHandle, int code, std::int32_t value) = 0;

    // "HCY ERROR: " + text as the last error.
    virtual void SetError(const char* text) = 0;
    // Posts WM_NETMGR_HLA_UPDATE_ATTRIBUTES (object, mask) to the network
    // manager's own queue, handled after the current tick; false when the
    // post failed.
    virtual bool PostUpdateAttributes(std::uint32_t objectHandle, std::uint32_t mask) = 0;

protected:
    ~HlaSink() {}
};

}  // namespace hla
}  // namespace hcy
