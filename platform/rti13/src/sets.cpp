// The value and handle sets, their factories, and the exception base.
#include "sets.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace hcyrti {

namespace {

[[noreturn]] void BadIndex(RTI::ULong i, std::size_t size) {
    throw RTI::ArrayIndexOutOfBounds(
        ("index " + std::to_string(i) + " of a set of " + std::to_string(size)).c_str());
}

template <class Set>
std::vector<Value> Read(const Set& set) {
    std::vector<Value> values;
    const RTI::ULong n = set.size();
    values.reserve(n);
    for (RTI::ULong i = 0; i < n; ++i) {
        RTI::ULong length = 0;
        const char* bytes = set.getValuePointer(i, length);
        values.push_back({set.getHandle(i), bytes ? std::string(bytes, length) : std::string()});
    }
    return values;
}

}  // namespace

template <class Base>
const Value& ValueSet<Base>::At(RTI::ULong i) const {
    if (i >= values_.size()) BadIndex(i, values_.size());
    return values_[i];
}

template <class Base>
void ValueSet<Base>::getValue(RTI::ULong i, char* buff, RTI::ULong& valueLength) const {
    const Value& v = At(i);
    if (!v.bytes.empty()) std::memcpy(buff, v.bytes.data(), v.bytes.size());
    valueLength = static_cast<RTI::ULong>(v.bytes.size());
}

template <class Base>
char* ValueSet<Base>::getValuePointer(RTI::ULong i, RTI::ULong& valueLength) const {
    const Value& v = At(i);
    valueLength = static_cast<RTI::ULong>(v.bytes.size());
    return const_cast<char*>(v.bytes.data());
}

template <class Base>
void ValueSet<Base>::add(RTI::Handle h, const char* buff, RTI::ULong valueLength) {
    std::string bytes = buff ? std::string(buff, valueLength) : std::string();
    for (Value& v : values_)
        if (v.handle == h) {
            v.bytes = std::move(bytes);
            return;
        }
    values_.push_back({h, std::move(bytes)});
}

template <class Base>
void ValueSet<Base>::remove(RTI::Handle h) {
    values_.erase(std::remove_if(values_.begin(), values_.end(),
                                 [h](const Value& v) { return v.handle == h; }),
                  values_.end());
}

// Copies entry i of another set (which may be another implementation).
template <class Base>
void ValueSet<Base>::moveFrom(const Base& set, RTI::ULong& i) {
    RTI::ULong length = 0;
    const char* bytes = set.getValuePointer(i, length);
    add(set.getHandle(i), bytes, length);
}

template class ValueSet<RTI::AttributeHandleValuePairSet>;
template class ValueSet<RTI::ParameterHandleValuePairSet>;

RTI::AttributeHandle HandleList::getHandle(RTI::ULong i) const {
    if (i >= handles_.size()) BadIndex(i, handles_.size());
    return handles_[i];
}

void HandleList::add(RTI::AttributeHandle h) {
    if (!isMember(h)) handles_.push_back(h);
}

void HandleList::remove(RTI::AttributeHandle h) {
    handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end());
}

RTI::Boolean HandleList::isMember(RTI::AttributeHandle h) const {
    return std::find(handles_.begin(), handles_.end(), h) != handles_.end() ? RTI::RTI_TRUE
                                                                            : RTI::RTI_FALSE;
}

std::vector<Value> ValuesOf(const RTI::AttributeHandleValuePairSet& set) { return Read(set); }
std::vector<Value> ValuesOf(const RTI::ParameterHandleValuePairSet& set) { return Read(set); }

std::vector<Handle> HandlesOf(const RTI::AttributeHandleSet& set) {
    std::vector<Handle> handles;
    for (RTI::ULong i = 0, n = set.size(); i < n; ++i) handles.push_back(set.getHandle(i));
    return handles;
}

void ThrowRti(Error error, const std::string& reason) {
    const char* text = reason.c_str();
    switch (error) {
#define HCY_RTI_THROW_CASE(A) \
    case Error::A: throw RTI::A(text);
        HCY_RTI_EXCEPTIONS(HCY_RTI_THROW_CASE)
#undef HCY_RTI_THROW_CASE
    default: throw RTI::RTIinternalError(text);
    }
}

}  // namespace hcyrti

namespace {

char* CopyText(const char* text) {
    if (!text) return nullptr;
    const std::size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

}  // namespace

RTI::Exception::Exception(const char* reason)
    : _serial(0), _reason(CopyText(reason)), _name("Exception") {}

RTI::Exception::Exception(ULong serial, const char* reason)
    : _serial(serial), _reason(CopyText(reason)), _name("Exception") {}

RTI::Exception::Exception(const Exception& other)
    : _serial(other._serial), _reason(CopyText(other._reason)), _name(other._name) {}

RTI::Exception::~Exception() { delete[] _reason; }

RTI::Exception& RTI::Exception::operator=(const Exception& other) {
    if (this != &other) {
        char* reason = CopyText(other._reason);
        delete[] _reason;
        _reason = reason;
        _serial = other._serial;
        _name = other._name;
    }
    return *this;
}

RTI::FedTime::~FedTime() = default;
RTI::AttributeHandleValuePairSet::~AttributeHandleValuePairSet() = default;
RTI::ParameterHandleValuePairSet::~ParameterHandleValuePairSet() = default;
RTI::AttributeHandleSet::~AttributeHandleSet() = default;
RTI::FederateAmbassador::~FederateAmbassador() = default;

// The counts are size hints: the sets grow as entries are added.
RTI::AttributeHandleValuePairSet* RTI::AttributeSetFactory::create(ULong) {
    return new hcyrti::AttributeValues;
}

RTI::ParameterHandleValuePairSet* RTI::ParameterSetFactory::create(ULong) {
    return new hcyrti::ParameterValues;
}

RTI::AttributeHandleSet* RTI::AttributeHandleSetFactory::create(ULong) {
    return new hcyrti::HandleList;
}
