#pragma once
// The concrete sets behind the factories, also handed to callbacks.
#include <vector>

#include "message.h"

namespace hcyrti {

// Entries in insertion order; a handle added again replaces its value.
// Entries carry no transport, order or region of their own (0, 0, null).
template <class Base>
class ValueSet : public Base {
public:
    explicit ValueSet(std::vector<Value> values = {}) : values_(std::move(values)) {}

    RTI::ULong size() const override { return static_cast<RTI::ULong>(values_.size()); }
    RTI::Handle getHandle(RTI::ULong i) const override { return At(i).handle; }
    RTI::ULong getValueLength(RTI::ULong i) const override {
        return static_cast<RTI::ULong>(At(i).bytes.size());
    }
    void getValue(RTI::ULong i, char* buff, RTI::ULong& valueLength) const override;
    char* getValuePointer(RTI::ULong i, RTI::ULong& valueLength) const override;
    void add(RTI::Handle h, const char* buff, RTI::ULong valueLength) override;
    void remove(RTI::Handle h) override;
    void moveFrom(const Base& set, RTI::ULong& i) override;
    void empty() override { values_.clear(); }
    RTI::ULong start() const override { return 0; }
    RTI::ULong valid(RTI::ULong i) const override { return i < values_.size() ? 1 : 0; }
    RTI::ULong next(RTI::ULong i) const override { return i + 1; }

    const std::vector<Value>& Values() const { return values_; }

protected:
    const Value& At(RTI::ULong i) const;

private:
    std::vector<Value> values_;
};

class AttributeValues final : public ValueSet<RTI::AttributeHandleValuePairSet> {
public:
    using ValueSet::ValueSet;
    // A bad index throws, as for every indexed read.
    RTI::TransportType getTransportType(RTI::ULong i) const override {
        At(i);
        return 0;
    }
    RTI::OrderType getOrderType(RTI::ULong i) const override {
        At(i);
        return 0;
    }
    RTI::Region* getRegion(RTI::ULong i) const override {
        At(i);
        return nullptr;
    }
};

class ParameterValues final : public ValueSet<RTI::ParameterHandleValuePairSet> {
public:
    using ValueSet::ValueSet;
    RTI::TransportType getTransportType() const override { return 0; }
    RTI::OrderType getOrderType() const override { return 0; }
    RTI::Region* getRegion() const override { return nullptr; }
};

class HandleList final : public RTI::AttributeHandleSet {
public:
    explicit HandleList(std::vector<Handle> handles = {}) : handles_(std::move(handles)) {}

    RTI::ULong size() const override { return static_cast<RTI::ULong>(handles_.size()); }
    RTI::AttributeHandle getHandle(RTI::ULong i) const override;
    void add(RTI::AttributeHandle h) override;
    void remove(RTI::AttributeHandle h) override;
    void empty() override { handles_.clear(); }
    RTI::Boolean isEmpty() const override {
        return handles_.empty() ? RTI::RTI_TRUE : RTI::RTI_FALSE;
    }
    RTI::Boolean isMember(RTI::AttributeHandle h) const override;

private:
    std::vector<Handle> handles_;
};

// The entries of sets that may come from another implementation of the
// interface (a federate's own subclass): read through the interface only.
std::vector<Value> ValuesOf(const RTI::AttributeHandleValuePairSet& set);
std::vector<Value> ValuesOf(const RTI::ParameterHandleValuePairSet& set);
std::vector<Handle> HandlesOf(const RTI::AttributeHandleSet& set);

}  // namespace hcyrti
