#include "federation_core.h"

#include <set>
#include <utility>

#include "fom.h"

namespace hcyrti {

namespace {

using HandleSet = std::set<Handle>;

struct Federate {
    Handle handle = 0;
    std::string name;
    std::shared_ptr<CallbackSink> sink;
    std::map<Handle, HandleSet> published;   // object class -> attributes
    std::map<Handle, HandleSet> subscribed;  // object class -> attributes
    HandleSet publishedInteractions;
    HandleSet subscribedInteractions;
    std::map<Handle, Handle> known;  // discovered object -> class it was discovered as
    bool relevanceAdvisory = false;
};

struct Object {
    Handle handle = 0;
    Handle objectClass = 0;
    std::string name;
    Handle owner = 0;  // 0: nobody (its owner resigned releasing it)
    HandleSet owned;   // the owner's attributes
};

[[noreturn]] void Fail(Error e, const std::string& reason) { throw Failure(e, reason); }

std::string Num(Handle h) { return std::to_string(h); }

}  // namespace

struct FederationCore::Federation {
    std::string name;
    std::string fedText;
    std::shared_ptr<const Fom> fom;
    std::map<Handle, Federate> federates;
    Handle nextFederate = 1;
    std::map<Handle, Object> objects;
    std::map<std::string, Handle> objectNames;
    Handle nextObject = 1;
};

namespace {

using Federation = FederationCore::Federation;

void Post(Federate& f, Message m) {
    if (f.sink) f.sink->Deliver(std::move(m));
}

Message Callback(CallbackKind kind, std::vector<Handle> handles,
                 std::vector<std::string> texts = {}, std::vector<Value> values = {}) {
    Message m;
    m.code = static_cast<std::uint8_t>(kind);
    m.handles = std::move(handles);
    m.texts = std::move(texts);
    m.values = std::move(values);
    return m;
}

// The class `f` knows objects of class `c` as: the nearest subscribed one.
const HandleSet* SubscribedAs(const Federation& fed, const Federate& f, Handle c, Handle* as) {
    for (Handle line : fed.fom->ObjectClassLine(c)) {
        auto it = f.subscribed.find(line);
        if (it != f.subscribed.end()) {
            if (as) *as = line;
            return &it->second;
        }
    }
    return nullptr;
}

void OfferDiscovery(const Federation& fed, Federate& f, const Object& o) {
    if (o.owner == f.handle || f.known.count(o.handle)) return;
    Handle as = 0;
    if (!SubscribedAs(fed, f, o.objectClass, &as)) return;
    f.known[o.handle] = as;
    Post(f, Callback(CallbackKind::Discover, {o.handle, as}, {o.name}));
}

void RemoveObject(Federation& fed, Handle object, const std::string& tag) {
    for (auto& [h, f] : fed.federates)
        if (f.known.erase(object)) Post(f, Callback(CallbackKind::Remove, {object}, {tag}));
    auto it = fed.objects.find(object);
    if (it == fed.objects.end()) return;
    fed.objectNames.erase(it->second.name);
    fed.objects.erase(it);
}

class Server {
public:
    Server(std::map<std::string, std::unique_ptr<Federation>>& federations, Session& session,
           const Message& request)
        : federations_(federations), session_(session), r_(request) {}

    Message Run() {
        switch (static_cast<Op>(r_.code)) {
        case Op::Create: return Create();
        case Op::Destroy: return Destroy();
        case Op::Join: return Join();
        default: break;
        }
        if (session_.federation.empty()) Fail(Error::FederateNotExecutionMember, "not joined");
        fed_ = federations_.at(session_.federation).get();
        me_ = &fed_->federates.at(session_.federate);
        switch (static_cast<Op>(r_.code)) {
        case Op::Resign: return Resign();
        case Op::PublishClass: return Declare(me_->published, 1);
        case Op::SubscribeClass: return Declare(me_->subscribed, 2);
        case Op::UnpublishClass:
            return Withdraw(me_->published, Error::ObjectClassNotPublished, "published");
        case Op::UnsubscribeClass:
            return Withdraw(me_->subscribed, Error::ObjectClassNotSubscribed, "subscribed");
        case Op::PublishInteraction: return Interaction(me_->publishedInteractions, true, {});
        case Op::SubscribeInteraction: return Interaction(me_->subscribedInteractions, true, {});
        case Op::UnpublishInteraction:
            return Interaction(me_->publishedInteractions, false,
                               Error::InteractionClassNotPublished);
        case Op::UnsubscribeInteraction:
            return Interaction(me_->subscribedInteractions, false,
                               Error::InteractionClassNotSubscribed);
        case Op::Register: return Register();
        case Op::Update: return Update();
        case Op::Send: return Send();
        case Op::Delete: return Delete();
        case Op::RequestObjectUpdate: return RequestObjectUpdate();
        case Op::RequestClassUpdate: return RequestClassUpdate();
        case Op::InstanceName: return InstanceName();
        case Op::EnableRelevanceAdvisory: me_->relevanceAdvisory = true; return {};
        default: Fail(Error::RTIinternalError, "unknown request " + Num(r_.code));
        }
    }

private:
    void Need(std::size_t handles, std::size_t texts) const {
        if (r_.handles.size() < handles || r_.texts.size() < texts)
            Fail(Error::RTIinternalError, "malformed request " + Num(r_.code));
    }

    Message Create() {
        Need(0, 2);
        const std::string& name = r_.texts[0];
        if (federations_.count(name))
            Fail(Error::FederationExecutionAlreadyExists, "federation " + name + " exists");
        auto fed = std::make_unique<Federation>();
        fed->fom = Fom::Parse(r_.texts[1]);
        fed->name = name;
        fed->fedText = r_.texts[1];
        federations_[name] = std::move(fed);
        return {};
    }

    Message Destroy() {
        Need(0, 1);
        auto it = federations_.find(r_.texts[0]);
        if (it == federations_.end())
            Fail(Error::FederationExecutionDoesNotExist, "no federation " + r_.texts[0]);
        if (!it->second->federates.empty())
            Fail(Error::FederatesCurrentlyJoined,
                 Num(static_cast<Handle>(it->second->federates.size())) + " federates joined " +
                     r_.texts[0]);
        federations_.erase(it);
        return {};
    }

    Message Join() {
        Need(0, 2);
        if (!session_.federation.empty())
            Fail(Error::FederateAlreadyExecutionMember, "already joined " + session_.federation);
        auto it = federations_.find(r_.texts[0]);
        if (it == federations_.end())
            Fail(Error::FederationExecutionDoesNotExist, "no federation " + r_.texts[0]);
        Federation& fed = *it->second;
        Federate f;
        f.handle = fed.nextFederate++;
        f.name = r_.texts[1];
        f.sink = session_.sink;
        fed.federates[f.handle] = std::move(f);
        session_.federation = fed.name;
        session_.federate = fed.federates.rbegin()->first;
        Message reply;
        reply.handles = {session_.federate};
        reply.texts = {fed.fedText};
        return reply;
    }

    Message Resign() {
        Need(1, 0);
        const Handle action = r_.handles[0];
        if (action < RTI::RELEASE_ATTRIBUTES || action > RTI::NO_ACTION)
            Fail(Error::InvalidResignAction, "resign action " + Num(action));
        ResignFederate(*fed_, session_, action);
        return {};
    }

    HandleSet Attributes(Handle objectClass, std::size_t from) const {
        if (!fed_->fom->IsObjectClass(objectClass))
            Fail(Error::ObjectClassNotDefined, "object class " + Num(objectClass));
        HandleSet set;
        for (std::size_t i = from; i < r_.handles.size(); ++i) {
            if (!fed_->fom->HasAttribute(objectClass, r_.handles[i]))
                Fail(Error::AttributeNotDefined,
                     "attribute " + Num(r_.handles[i]) + " of class " + Num(objectClass));
            set.insert(r_.handles[i]);
        }
        return set;
    }

    // Publish or subscribe (attributes from handle `from`); an empty set withdraws.
    Message Declare(std::map<Handle, HandleSet>& declared, std::size_t from) {
        Need(from, 0);
        const Handle c = r_.handles[0];
        HandleSet set = Attributes(c, from);
        if (set.empty()) {
            declared.erase(c);
            return {};
        }
        declared[c] = std::move(set);
        if (&declared == &me_->subscribed)
            for (const auto& [h, o] : fed_->objects)
                if (fed_->fom->ObjectClassIsA(o.objectClass, c)) OfferDiscovery(*fed_, *me_, o);
        return {};
    }

    Message Withdraw(std::map<Handle, HandleSet>& declared, Error notDeclared, const char* what) {
        Need(1, 0);
        const Handle c = r_.handles[0];
        if (!fed_->fom->IsObjectClass(c))
            Fail(Error::ObjectClassNotDefined, "object class " + Num(c));
        if (!declared.erase(c)) Fail(notDeclared, "object class " + Num(c) + " is not " + what);
        return {};
    }

    Message Interaction(HandleSet& declared, bool add, Error notDeclared) {
        Need(1, 0);
        const Handle c = r_.handles[0];
        if (!fed_->fom->IsInteractionClass(c))
            Fail(Error::InteractionClassNotDefined, "interaction class " + Num(c));
        if (add)
            declared.insert(c);
        else if (!declared.erase(c))
            Fail(notDeclared, "interaction class " + Num(c) + " is not declared");
        return {};
    }

    Object& KnownObject(Handle object) const {
        auto it = fed_->objects.find(object);
        if (it == fed_->objects.end() ||
            (it->second.owner != me_->handle && !me_->known.count(object)))
            Fail(Error::ObjectNotKnown, "object " + Num(object));
        return it->second;
    }

    Message Register() {
        Need(1, 0);
        const Handle c = r_.handles[0];
        if (!fed_->fom->IsObjectClass(c))
            Fail(Error::ObjectClassNotDefined, "object class " + Num(c));
        auto pub = me_->published.find(c);
        if (pub == me_->published.end())
            Fail(Error::ObjectClassNotPublished, "object class " + Num(c) + " is not published");
        Handle h = fed_->nextObject;
        while (h == 0 || h == ~Handle{0} || fed_->objects.count(h)) ++h;
        std::string name = r_.texts.empty() ? std::string() : r_.texts[0];
        if (name.empty()) name = "HCYobject" + Num(h);
        if (fed_->objectNames.count(name))
            Fail(Error::ObjectAlreadyRegistered, "object name " + name + " is taken");
        fed_->nextObject = h + 1;
        Object& o = fed_->objects[h];
        o.handle = h;
        o.objectClass = c;
        o.name = name;
        o.owner = me_->handle;
        o.owned = pub->second;
        fed_->objectNames[name] = h;
        for (auto& [fh, f] : fed_->federates) OfferDiscovery(*fed_, f, o);
        Message reply;
        reply.handles = {h};
        return reply;
    }

    Message Update() {
        Need(1, 1);
        const Object& o = KnownObject(r_.handles[0]);
        for (const Value& v : r_.values) {
            if (!fed_->fom->HasAttribute(o.objectClass, v.handle))
                Fail(Error::AttributeNotDefined, "attribute " + Num(v.handle));
            if (o.owner != me_->handle || !o.owned.count(v.handle))
                Fail(Error::AttributeNotOwned,
                     "attribute " + Num(v.handle) + " of object " + Num(o.handle));
        }
        for (auto& [fh, f] : fed_->federates) {
            auto known = f.known.find(o.handle);
            if (fh == me_->handle || known == f.known.end()) continue;
            auto sub = f.subscribed.find(known->second);
            if (sub == f.subscribed.end()) continue;
            std::vector<Value> values;
            for (const Value& v : r_.values)
                if (sub->second.count(v.handle)) values.push_back(v);
            if (!values.empty())
                Post(f,
                     Callback(CallbackKind::Reflect, {o.handle}, {r_.texts[0]}, std::move(values)));
        }
        return {};
    }

    Message Send() {
        Need(1, 1);
        const Handle c = r_.handles[0];
        if (!fed_->fom->IsInteractionClass(c))
            Fail(Error::InteractionClassNotDefined, "interaction class " + Num(c));
        if (!me_->publishedInteractions.count(c))
            Fail(Error::InteractionClassNotPublished, "interaction class " + Num(c));
        for (const Value& v : r_.values)
            if (!fed_->fom->HasParameter(c, v.handle))
                Fail(Error::InteractionParameterNotDefined, "parameter " + Num(v.handle));
        const std::vector<Handle> line = fed_->fom->InteractionLine(c);
        for (auto& [fh, f] : fed_->federates) {
            if (fh == me_->handle) continue;
            for (Handle as : line) {
                if (!f.subscribedInteractions.count(as)) continue;
                std::vector<Value> values;
                for (const Value& v : r_.values)
                    if (fed_->fom->HasParameter(as, v.handle)) values.push_back(v);
                Post(f, Callback(CallbackKind::Receive, {as}, {r_.texts[0]}, std::move(values)));
                break;
            }
        }
        return {};
    }

    Message Delete() {
        Need(1, 1);
        const Object& o = KnownObject(r_.handles[0]);
        if (o.owner != me_->handle)
            Fail(Error::DeletePrivilegeNotHeld, "object " + Num(o.handle) + " is not ours");
        RemoveObject(*fed_, o.handle, r_.texts[0]);
        return {};
    }

    void Provide(const Object& o, const HandleSet& asked) {
        if (o.owner == 0 || o.owner == me_->handle) return;
        std::vector<Handle> handles{o.handle};
        for (Handle a : asked)
            if (o.owned.count(a)) handles.push_back(a);
        if (handles.size() > 1)
            Post(fed_->federates.at(o.owner), Callback(CallbackKind::Provide, std::move(handles)));
    }

    Message RequestObjectUpdate() {
        Need(1, 0);
        const Object& o = KnownObject(r_.handles[0]);
        Provide(o, Attributes(o.objectClass, 1));
        return {};
    }

    Message RequestClassUpdate() {
        Need(1, 0);
        const Handle c = r_.handles[0];
        const HandleSet asked = Attributes(c, 1);
        for (const auto& [h, o] : fed_->objects)
            if (fed_->fom->ObjectClassIsA(o.objectClass, c)) Provide(o, asked);
        return {};
    }

    Message InstanceName() {
        Need(1, 0);
        Message reply;
        reply.texts = {KnownObject(r_.handles[0]).name};
        return reply;
    }

public:
    static void ResignFederate(Federation& fed, Session& session, Handle action) {
        const Handle self = session.federate;
        std::vector<Handle> mine;
        for (auto& [h, o] : fed.objects)
            if (o.owner == self) mine.push_back(h);
        const bool deletes =
            action == RTI::DELETE_OBJECTS || action == RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES;
        for (Handle h : mine) {
            if (deletes) {
                RemoveObject(fed, h, "");
            } else {
                fed.objects[h].owner = 0;
                fed.objects[h].owned.clear();
            }
        }
        fed.federates.erase(self);
        session.federation.clear();
        session.federate = 0;
    }

private:
    std::map<std::string, std::unique_ptr<Federation>>& federations_;
    Session& session_;
    const Message& r_;
    Federation* fed_ = nullptr;
    Federate* me_ = nullptr;
};

}  // namespace

FederationCore::FederationCore() = default;
FederationCore::~FederationCore() = default;

Message FederationCore::Serve(Session& session, const Message& request) {
    std::lock_guard lock(mu_);
    try {
        return Server(federations_, session, request).Run();
    } catch (const Failure& f) {
        Message reply;
        reply.code = static_cast<std::uint8_t>(f.error);
        reply.texts = {f.what()};
        return reply;
    } catch (const std::exception& e) {
        Message reply;
        reply.code = static_cast<std::uint8_t>(Error::RTIinternalError);
        reply.texts = {e.what()};
        return reply;
    }
}

void FederationCore::Drop(Session& session) {
    std::lock_guard lock(mu_);
    if (session.federation.empty()) return;
    auto it = federations_.find(session.federation);
    if (it != federations_.end()) Server::ResignFederate(*it->second, session, RTI::DELETE_OBJECTS);
    session.federation.clear();
}

FederationCore& FederationCore::InProcess() {
    // Ambassadors in static objects may resign while statics are destroyed.
    static FederationCore* core = new FederationCore;
    return *core;
}

}  // namespace hcyrti
