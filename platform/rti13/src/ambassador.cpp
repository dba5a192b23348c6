// RTI::RTIambassador: checks the arguments, turns each service into a
// request on the federate's link, and the replies and callbacks back into
// the RTI 1.3 shapes. No federation logic lives here (federation_core.cpp).
#include <atomic>
#include <cstring>
#include <deque>
#include <fstream>

#include "fom.h"
#include "link.h"
#include "sets.h"

using hcyrti::Error;
using hcyrti::Failure;
using hcyrti::Handle;
using hcyrti::Message;
using hcyrti::Op;

namespace {

constexpr std::size_t kMaxFedFile = std::size_t{1} << 19;  // [bytes]; fits one hub frame

std::string Text(const char* s) { return s ? s : ""; }

std::string ReadFedFile(const char* path) {
    if (!path || !*path) throw RTI::CouldNotOpenFED("no FED file named");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RTI::CouldNotOpenFED(("cannot open FED file " + std::string(path)).c_str());
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFedFile)
            throw RTI::ErrorReadingFED(
                ("FED file " + std::string(path) + " is over 512 KiB").c_str());
    }
    if (in.bad()) throw RTI::ErrorReadingFED(("cannot read FED file " + std::string(path)).c_str());
    return text;
}

}  // namespace

class RTI::RTIambassador::Impl {
public:
    // Every service runs inside one Entry: a second entry, from a callback
    // or from another thread, is refused.
    class Entry {
    public:
        explicit Entry(Impl& impl) : impl_(impl) {
            if (impl_.busy_.exchange(true))
                throw RTI::ConcurrentAccessAttempted(
                    "an RTI service was called from inside a callback or from a second thread");
        }
        ~Entry() { impl_.busy_.store(false); }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        Impl& impl_;
    };

    // Runs a service: internal failures become the matching RTI exception.
    template <class F>
    auto Serve(F&& body) -> decltype(body()) {
        Entry entry(*this);
        try {
            return body();
        } catch (const RTI::Exception&) {
            throw;
        } catch (const Failure& f) {
            hcyrti::ThrowRti(f.error, f.what());
        } catch (const std::exception& e) {
            throw RTI::RTIinternalError(e.what());
        }
    }

    Message Call(hcyrti::Link& link, const Message& request) {
        Message reply = link.Call(request);
        if (reply.code != 0)
            hcyrti::ThrowRti(static_cast<Error>(reply.code),
                             reply.texts.empty() ? "" : reply.texts[0]);
        return reply;
    }

    Message Call(Op op, std::vector<Handle> handles, std::vector<std::string> texts = {},
                 std::vector<hcyrti::Value> values = {}) {
        Joined();
        Message m;
        m.code = static_cast<std::uint8_t>(op);
        m.handles = std::move(handles);
        m.texts = std::move(texts);
        m.values = std::move(values);
        return Call(*link_, m);
    }

    // The link for a federation address: the current one when it goes there;
    // otherwise a new one, kept unless this federate is joined elsewhere.
    hcyrti::Link& LinkFor(const hcyrti::FederationAddress& a,
                          std::unique_ptr<hcyrti::Link>& temporary) {
        if (link_ && linkKey_ == a.Key() && !link_->Lost()) return *link_;
        std::unique_ptr<hcyrti::Link> fresh = a.hubHost.empty()
                                                  ? hcyrti::OpenInProcessLink()
                                                  : hcyrti::OpenHubLink(a.hubHost, a.hubPort);
        if (joined_ && !link_->Lost()) {
            temporary = std::move(fresh);
            return *temporary;
        }
        Leave();
        link_ = std::move(fresh);
        linkKey_ = a.Key();
        return *link_;
    }

    void Joined() const {
        if (!joined_)
            throw RTI::FederateNotExecutionMember("the federate has not joined a federation");
    }

    const hcyrti::Fom& Model() const {
        Joined();
        return *fom_;
    }

    // Forgets the federation (after a resign, or a link the hub dropped).
    void Leave() {
        joined_ = false;
        fom_.reset();
        callbacks_ = nullptr;
        pending_.clear();
    }

    void Create(const char* name, const char* fed) {
        const hcyrti::FederationAddress a = hcyrti::ParseFederationName(name);
        Message m;
        m.code = static_cast<std::uint8_t>(Op::Create);
        m.texts = {a.federation, ReadFedFile(fed)};
        std::unique_ptr<hcyrti::Link> temporary;
        Call(LinkFor(a, temporary), m);
    }

    void Destroy(const char* name) {
        const hcyrti::FederationAddress a = hcyrti::ParseFederationName(name);
        Message m;
        m.code = static_cast<std::uint8_t>(Op::Destroy);
        m.texts = {a.federation};
        std::unique_ptr<hcyrti::Link> temporary;
        Call(LinkFor(a, temporary), m);
    }

    Handle Join(const char* federate, const char* name, RTI::FederateAmbassador* callbacks) {
        if (!callbacks) throw RTI::RTIinternalError("no federate ambassador given");
        if (joined_ && link_->Lost()) Leave();
        if (joined_) throw RTI::FederateAlreadyExecutionMember("the federate has already joined");
        const hcyrti::FederationAddress a = hcyrti::ParseFederationName(name);
        std::unique_ptr<hcyrti::Link> temporary;
        hcyrti::Link& link = LinkFor(a, temporary);
        Message m;
        m.code = static_cast<std::uint8_t>(Op::Join);
        m.texts = {a.federation, Text(federate)};
        Message reply = Call(link, m);
        if (reply.handles.empty() || reply.texts.empty())
            throw RTI::RTIinternalError("malformed join reply");
        fom_ = hcyrti::Fom::Parse(reply.texts[0]);
        callbacks_ = callbacks;
        joined_ = true;
        return reply.handles[0];
    }

    void Resign(RTI::ResignAction action) {
        Call(Op::Resign, {static_cast<Handle>(action)});
        Drain();
    }

    // Throws away what is still queued for a federate that has left.
    void Drain() {
        std::deque<Message> discarded;
        if (link_) link_->Take(discarded, std::chrono::nanoseconds::zero());
        Leave();
    }

    // snapshot: deliver what is pending when the tick starts (tick()).
    // Otherwise wait at most `minimum` for a first callback, then deliver
    // until nothing is pending or `maximum` has passed (tick(min, max)).
    RTI::Boolean Tick(bool snapshot, std::chrono::nanoseconds minimum,
                      std::chrono::nanoseconds maximum) {
        if (!joined_) return RTI::RTI_FALSE;
        const auto deadline = std::chrono::steady_clock::now() + maximum;
        link_->Take(pending_, pending_.empty() ? minimum : std::chrono::nanoseconds::zero());
        for (std::size_t budget = snapshot ? pending_.size() : ~std::size_t{0}; budget > 0;
             --budget) {
            if (pending_.empty() && !snapshot)
                link_->Take(pending_, std::chrono::nanoseconds::zero());
            if (pending_.empty()) break;
            Message callback = std::move(pending_.front());
            pending_.pop_front();
            Deliver(callback);
            if (!snapshot && std::chrono::steady_clock::now() >= deadline) break;
        }
        if (pending_.empty()) link_->Take(pending_, std::chrono::nanoseconds::zero());
        return pending_.empty() ? RTI::RTI_FALSE : RTI::RTI_TRUE;
    }

    ~Impl() {
        // The link resigns a federate that is still joined (DELETE_OBJECTS).
        link_.reset();
    }

private:
    void Deliver(Message& m) {
        const auto kind = static_cast<hcyrti::CallbackKind>(m.code);
        const std::size_t handles = m.handles.size();
        const char* text = m.texts.empty() ? "" : m.texts[0].c_str();
        switch (kind) {
        case hcyrti::CallbackKind::Discover:
            if (handles >= 2) callbacks_->discoverObjectInstance(m.handles[0], m.handles[1], text);
            break;
        case hcyrti::CallbackKind::Reflect:
            if (handles >= 1) {
                const hcyrti::AttributeValues set(std::move(m.values));
                callbacks_->reflectAttributeValues(m.handles[0], set, text);
            }
            break;
        case hcyrti::CallbackKind::Receive:
            if (handles >= 1) {
                const hcyrti::ParameterValues set(std::move(m.values));
                callbacks_->receiveInteraction(m.handles[0], set, text);
            }
            break;
        case hcyrti::CallbackKind::Remove:
            if (handles >= 1) callbacks_->removeObjectInstance(m.handles[0], text);
            break;
        case hcyrti::CallbackKind::Provide:
            if (handles >= 1) {
                const hcyrti::HandleList set(
                    std::vector<Handle>(m.handles.begin() + 1, m.handles.end()));
                callbacks_->provideAttributeValueUpdate(m.handles[0], set);
            }
            break;
        }
    }

    std::atomic<bool> busy_{false};
    std::unique_ptr<hcyrti::Link> link_;
    std::string linkKey_;
    bool joined_ = false;
    std::shared_ptr<const hcyrti::Fom> fom_;
    RTI::FederateAmbassador* callbacks_ = nullptr;
    std::deque<Message> pending_;
};

namespace {

using Impl = RTI::RTIambassador::Impl;

std::vector<Handle> WithHandles(std::vector<Handle> first, const RTI::AttributeHandleSet& set) {
    for (Handle h : hcyrti::HandlesOf(set)) first.push_back(h);
    return first;
}

std::string NameOf(const char* name) {
    if (!name) throw RTI::NameNotFound("no name given");
    return name;
}

std::chrono::nanoseconds Seconds(RTI::TickTime s) {
    // NaN and negative waits are none; a day is more than any caller means.
    if (!(s > 0.0)) return std::chrono::nanoseconds::zero();
    if (s > 86400.0) s = 86400.0;
    return std::chrono::nanoseconds(static_cast<long long>(s * 1e9));
}

}  // namespace

RTI::RTIambassador::RTIambassador() : impl_(new Impl) {}

RTI::RTIambassador::~RTIambassador() { delete impl_; }

void RTI::RTIambassador::createFederationExecution(const char* executionName, const char* FED) {
    impl_->Serve([&] { impl_->Create(executionName, FED); });
}

void RTI::RTIambassador::destroyFederationExecution(const char* executionName) {
    impl_->Serve([&] { impl_->Destroy(executionName); });
}

RTI::FederateHandle RTI::RTIambassador::joinFederationExecution(const char* yourName,
                                                                const char* executionName,
                                                                FederateAmbassadorPtr callbacks) {
    return impl_->Serve([&] { return impl_->Join(yourName, executionName, callbacks); });
}

void RTI::RTIambassador::resignFederationExecution(ResignAction theAction) {
    impl_->Serve([&] { impl_->Resign(theAction); });
}

void RTI::RTIambassador::publishObjectClass(ObjectClassHandle theClass,
                                            const AttributeHandleSet& attributeList) {
    impl_->Serve([&] { impl_->Call(Op::PublishClass, WithHandles({theClass}, attributeList)); });
}

void RTI::RTIambassador::unpublishObjectClass(ObjectClassHandle theClass) {
    impl_->Serve([&] { impl_->Call(Op::UnpublishClass, {theClass}); });
}

void RTI::RTIambassador::publishInteractionClass(InteractionClassHandle theInteraction) {
    impl_->Serve([&] { impl_->Call(Op::PublishInteraction, {theInteraction}); });
}

void RTI::RTIambassador::unpublishInteractionClass(InteractionClassHandle theInteraction) {
    impl_->Serve([&] { impl_->Call(Op::UnpublishInteraction, {theInteraction}); });
}

void RTI::RTIambassador::subscribeObjectClassAttributes(ObjectClassHandle theClass,
                                                        const AttributeHandleSet& attributeList,
                                                        Boolean active) {
    impl_->Serve([&] {
        impl_->Call(Op::SubscribeClass,
                    WithHandles({theClass, static_cast<Handle>(active)}, attributeList));
    });
}

void RTI::RTIambassador::unsubscribeObjectClass(ObjectClassHandle theClass) {
    impl_->Serve([&] { impl_->Call(Op::UnsubscribeClass, {theClass}); });
}

void RTI::RTIambassador::subscribeInteractionClass(InteractionClassHandle theClass,
                                                   Boolean active) {
    impl_->Serve([&] {
        impl_->Call(Op::SubscribeInteraction, {theClass, static_cast<Handle>(active)});
    });
}

void RTI::RTIambassador::unsubscribeInteractionClass(InteractionClassHandle theClass) {
    impl_->Serve([&] { impl_->Call(Op::UnsubscribeInteraction, {theClass}); });
}

RTI::ObjectHandle RTI::RTIambassador::registerObjectInstance(ObjectClassHandle theClass,
                                                             const char* theObject) {
    return impl_->Serve([&] {
        std::vector<std::string> name;
        if (theObject) name.push_back(theObject);
        const Message reply = impl_->Call(Op::Register, {theClass}, std::move(name));
        if (reply.handles.empty()) throw RTI::RTIinternalError("malformed register reply");
        return reply.handles[0];
    });
}

void RTI::RTIambassador::updateAttributeValues(ObjectHandle theObject,
                                               const AttributeHandleValuePairSet& theAttributes,
                                               const char* theTag) {
    impl_->Serve([&] {
        impl_->Call(Op::Update, {theObject}, {Text(theTag)}, hcyrti::ValuesOf(theAttributes));
    });
}

void RTI::RTIambassador::sendInteraction(InteractionClassHandle theInteraction,
                                         const ParameterHandleValuePairSet& theParameters,
                                         const char* theTag) {
    impl_->Serve([&] {
        impl_->Call(Op::Send, {theInteraction}, {Text(theTag)}, hcyrti::ValuesOf(theParameters));
    });
}

void RTI::RTIambassador::deleteObjectInstance(ObjectHandle theObject, const char* theTag) {
    impl_->Serve([&] { impl_->Call(Op::Delete, {theObject}, {Text(theTag)}); });
}

void RTI::RTIambassador::requestObjectAttributeValueUpdate(
    ObjectHandle theObject, const AttributeHandleSet& theAttributes) {
    impl_->Serve(
        [&] { impl_->Call(Op::RequestObjectUpdate, WithHandles({theObject}, theAttributes)); });
}

void RTI::RTIambassador::requestClassAttributeValueUpdate(ObjectClassHandle theClass,
                                                          const AttributeHandleSet& theAttributes) {
    impl_->Serve(
        [&] { impl_->Call(Op::RequestClassUpdate, WithHandles({theClass}, theAttributes)); });
}

RTI::ObjectClassHandle RTI::RTIambassador::getObjectClassHandle(const char* theName) {
    return impl_->Serve([&] { return impl_->Model().ObjectClass(NameOf(theName)); });
}

RTI::AttributeHandle RTI::RTIambassador::getAttributeHandle(const char* theName,
                                                            ObjectClassHandle whichClass) {
    return impl_->Serve([&] { return impl_->Model().Attribute(NameOf(theName), whichClass); });
}

RTI::InteractionClassHandle RTI::RTIambassador::getInteractionClassHandle(const char* theName) {
    return impl_->Serve([&] { return impl_->Model().InteractionClass(NameOf(theName)); });
}

RTI::ParameterHandle RTI::RTIambassador::getParameterHandle(const char* theName,
                                                            InteractionClassHandle whichClass) {
    return impl_->Serve([&] { return impl_->Model().Parameter(NameOf(theName), whichClass); });
}

char* RTI::RTIambassador::getObjectInstanceName(ObjectHandle theHandle) {
    return impl_->Serve([&] {
        const Message reply = impl_->Call(Op::InstanceName, {theHandle});
        if (reply.texts.empty()) throw RTI::RTIinternalError("malformed name reply");
        char* name = new char[reply.texts[0].size() + 1];
        std::memcpy(name, reply.texts[0].c_str(), reply.texts[0].size() + 1);
        return name;
    });
}

void RTI::RTIambassador::enableAttributeRelevanceAdvisorySwitch() {
    impl_->Serve([&] { impl_->Call(Op::EnableRelevanceAdvisory, {}); });
}

RTI::Boolean RTI::RTIambassador::tick() {
    return impl_->Serve([&] {
        return impl_->Tick(true, std::chrono::nanoseconds::zero(),
                           std::chrono::nanoseconds::zero());
    });
}

RTI::Boolean RTI::RTIambassador::tick(TickTime minimum, TickTime maximum) {
    return impl_->Serve([&] { return impl_->Tick(false, Seconds(minimum), Seconds(maximum)); });
}
