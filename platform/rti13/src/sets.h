#pragma once
// The concrete sets behind the factories, also handed to callbacks.
#include <vector>

#include "message.h"

namespace hcyrti {

// Entries in insertion order; a handle added again replaces its value.
template <class Base>
class ValueSet final : public Base {
public:
    explicit ValueSet(std::vector<Value> values = {}) : values_(std::move(values)) {}

    RTI::ULong size() const override { return values_.size(); }
    RTI::Handle getHandle(RTI::ULong i) const override { return At(i).handle; }
    RTI::ULong getValueLength(RTI::ULong i) const override { return At(i).bytes.size(); }
    void getValue(RTI::ULong i, char* buff, RTI::ULong& valueLength) const override;
    char* getValuePointer(RTI::ULong i, RTI::ULong& valueLength) const override;
    void add(RTI::Handle h, const char* buff, RTI::ULong valueLength) override;
    void empty() override { values_.clear(); }

    const std::vector<Value>& Values() const { return values_; }

private:
    const Value& At(RTI::ULong i) const;
    std::vector<Value> values_;
};

using AttributeValues = ValueSet<RTI::AttributeHandleValuePairSet>;
using ParameterValues = ValueSet<RTI::ParameterHandleValuePairSet>;

class HandleList final : public RTI::AttributeHandleSet {
public:
    explicit HandleList(std::vector<Handle> handles = {}) : handles_(std::move(handles)) {}

    RTI::ULong size() const override { return handles_.size(); }
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
