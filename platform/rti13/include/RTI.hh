// The HLA 1.3 interface of libhcyrti13.so: the subset of the published
// HLA 1.3 C++ interface that Halcyra's federate uses, with its spellings, so
// that the same federate code compiles against a real 1.3 RTI.
//
// Contract (what a federate may rely on, here as with a real 1.3 RTI):
// - `RTI` is a class with nested types, not a namespace: write `RTI::`-
//   qualified names and never reopen `RTI`.
// - Handles are 32-bit unsigned. 0 is a valid attribute and parameter handle;
//   object handles are never 0 or 0xFFFFFFFF here (a real RTI may differ).
// - Callbacks run only inside `tick`, on the thread that ticks. Every RTI
//   service called from inside a callback, or while another thread is inside
//   this ambassador, throws `RTI::ConcurrentAccessAttempted`.
// - An idle `tick()` and `tick(0.0, max)` return at once.
// - Sets the federate makes come from the factories; the federate deletes
//   them. Sets handed to callbacks belong to the RTI and live for the call.
//   A bad index throws `RTI::ArrayIndexOutOfBounds`.
// - `getObjectInstanceName` returns a `new[]` text that the caller deletes.
// - Exceptions carry their text in `_reason` and their class name in `_name`.
// - The federation name of create, join and destroy selects the transport:
//   "thread:///Name" meets the federates of this process;
//   "rti://127.0.0.1:PORT/Name" meets those of other processes through the
//   hub `hcyrtihub` listening on that loopback port; a plain "Name" is the
//   hub of this machine on its default port (15013), as a real RTI's plain
//   name reaches its local server.
// - Class names are dotted, without the leading "ObjectRoot." or
//   "InteractionRoot." (what a real RTI resolves for a FED file without
//   explicit roots); attribute and parameter names are looked up in the
//   class and its ancestors.
//
// Free of throw() lists: federate code is written for C++17 or later, where
// a real 1.3 header drops its throw lists too. Every pure virtual of the
// sets and the federate ambassador is the published interface's, so that a
// subclass written against this header is complete against a real one.
#ifndef HCY_RTI13_RTI_HH
#define HCY_RTI13_RTI_HH

#define HCY_RTI_VISIBLE __attribute__((visibility("default")))

// Every exception class of this RTI, in one list (used by the library too).
#define HCY_RTI_EXCEPTIONS(X)           \
    X(ArrayIndexOutOfBounds)            \
    X(AttributeNotDefined)              \
    X(AttributeNotOwned)                \
    X(ConcurrentAccessAttempted)        \
    X(CouldNotOpenFED)                  \
    X(DeletePrivilegeNotHeld)           \
    X(ErrorReadingFED)                  \
    X(FederateAlreadyExecutionMember)   \
    X(FederateNotExecutionMember)       \
    X(FederatesCurrentlyJoined)         \
    X(FederationExecutionAlreadyExists) \
    X(FederationExecutionDoesNotExist)  \
    X(InteractionClassNotDefined)       \
    X(InteractionClassNotPublished)     \
    X(InteractionClassNotSubscribed)    \
    X(InteractionParameterNotDefined)   \
    X(InvalidResignAction)              \
    X(NameNotFound)                     \
    X(ObjectAlreadyRegistered)          \
    X(ObjectClassNotDefined)            \
    X(ObjectClassNotPublished)          \
    X(ObjectClassNotSubscribed)         \
    X(ObjectNotKnown)                   \
    X(RTIinternalError)

class HCY_RTI_VISIBLE RTI {
public:
    typedef unsigned short UShort;
    typedef short Short;
    typedef int Long;
    typedef unsigned int ULong;
    typedef double Double;
    typedef float Float;

    enum Boolean { RTI_FALSE = 0, RTI_TRUE };

    typedef ULong Handle;
    typedef Handle ObjectClassHandle;
    typedef Handle InteractionClassHandle;
    typedef Handle AttributeHandle;
    typedef Handle ParameterHandle;
    typedef Handle ObjectHandle;
    typedef Handle FederateHandle;
    typedef Handle TransportType;
    typedef Handle OrderType;
    typedef ULong UniqueID;
    typedef Double TickTime;

    enum ResignAction {
        RELEASE_ATTRIBUTES = 1,
        DELETE_OBJECTS,
        DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES,
        NO_ACTION
    };

    struct EventRetractionHandle {
        UniqueID theSerialNumber;
        FederateHandle sendingFederate;
    };

    class HCY_RTI_VISIBLE Exception {
    public:
        ULong _serial;
        char* _reason;
        const char* _name;

        Exception(const char* reason);
        Exception(ULong serial, const char* reason = 0);
        Exception(const Exception& other);
        virtual ~Exception();
        Exception& operator=(const Exception& other);
    };

#define HCY_RTI_DECLARE_EXCEPTION(A)                                                        \
    class HCY_RTI_VISIBLE A : public Exception {                                            \
    public:                                                                                 \
        A(const char* reason) : Exception(reason) { _name = #A; }                           \
        A(ULong serial, const char* reason = 0) : Exception(serial, reason) { _name = #A; } \
    };
    HCY_RTI_EXCEPTIONS(HCY_RTI_DECLARE_EXCEPTION)
#undef HCY_RTI_DECLARE_EXCEPTION

    // A routing region. No data distribution is offered: value sets have
    // none.
    class Region;

    // A point of federation time. No time management is offered, so it only
    // appears in the signatures of the timestamped callbacks.
    class HCY_RTI_VISIBLE FedTime {
    public:
        virtual ~FedTime();
    };

    class HCY_RTI_VISIBLE AttributeHandleValuePairSet {
    public:
        virtual ~AttributeHandleValuePairSet();
        virtual ULong size() const = 0;
        virtual Handle getHandle(ULong i) const = 0;
        virtual ULong getValueLength(ULong i) const = 0;
        // Copies the value into buff (getValueLength bytes) and sets valueLength.
        virtual void getValue(ULong i, char* buff, ULong& valueLength) const = 0;
        virtual char* getValuePointer(ULong i, ULong& valueLength) const = 0;
        virtual TransportType getTransportType(ULong i) const = 0;
        virtual OrderType getOrderType(ULong i) const = 0;
        virtual Region* getRegion(ULong i) const = 0;
        // A handle added twice keeps the later value.
        virtual void add(Handle h, const char* buff, ULong valueLength) = 0;
        virtual void remove(Handle h) = 0;
        // Moves entry i of `set` here.
        virtual void moveFrom(const AttributeHandleValuePairSet& set, ULong& i) = 0;
        virtual void empty() = 0;
        // Iteration over the valid indices: start, valid(i), next(i).
        virtual ULong start() const = 0;
        virtual ULong valid(ULong i) const = 0;
        virtual ULong next(ULong i) const = 0;
    };

    class HCY_RTI_VISIBLE ParameterHandleValuePairSet {
    public:
        virtual ~ParameterHandleValuePairSet();
        virtual ULong size() const = 0;
        virtual Handle getHandle(ULong i) const = 0;
        virtual ULong getValueLength(ULong i) const = 0;
        virtual void getValue(ULong i, char* buff, ULong& valueLength) const = 0;
        virtual char* getValuePointer(ULong i, ULong& valueLength) const = 0;
        virtual TransportType getTransportType() const = 0;
        virtual OrderType getOrderType() const = 0;
        virtual Region* getRegion() const = 0;
        virtual void add(Handle h, const char* buff, ULong valueLength) = 0;
        virtual void remove(Handle h) = 0;
        virtual void moveFrom(const ParameterHandleValuePairSet& set, ULong& i) = 0;
        virtual void empty() = 0;
        virtual ULong start() const = 0;
        virtual ULong valid(ULong i) const = 0;
        virtual ULong next(ULong i) const = 0;
    };

    class HCY_RTI_VISIBLE AttributeHandleSet {
    public:
        virtual ~AttributeHandleSet();
        virtual ULong size() const = 0;
        virtual AttributeHandle getHandle(ULong i) const = 0;
        virtual void add(AttributeHandle h) = 0;
        virtual void remove(AttributeHandle h) = 0;
        virtual void empty() = 0;
        virtual Boolean isEmpty() const = 0;
        virtual Boolean isMember(AttributeHandle h) const = 0;
    };

    // The count given to a factory is a size hint.
    class HCY_RTI_VISIBLE AttributeSetFactory {
    public:
        static AttributeHandleValuePairSet* create(ULong count);
    };
    class HCY_RTI_VISIBLE ParameterSetFactory {
    public:
        static ParameterHandleValuePairSet* create(ULong count);
    };
    class HCY_RTI_VISIBLE AttributeHandleSetFactory {
    public:
        static AttributeHandleSet* create(ULong count);
    };

    class HCY_RTI_VISIBLE FederateAmbassador {
    public:
        virtual ~FederateAmbassador();

        // Federation management.
        virtual void synchronizationPointRegistrationSucceeded(const char* label) = 0;
        virtual void synchronizationPointRegistrationFailed(const char* label) = 0;
        virtual void announceSynchronizationPoint(const char* label, const char* tag) = 0;
        virtual void federationSynchronized(const char* label) = 0;
        virtual void initiateFederateSave(const char* label) = 0;
        virtual void federationSaved() = 0;
        virtual void federationNotSaved() = 0;
        virtual void requestFederationRestoreSucceeded(const char* label) = 0;
        virtual void requestFederationRestoreFailed(const char* label, const char* reason) = 0;
        virtual void federationRestoreBegun() = 0;
        virtual void initiateFederateRestore(const char* label, FederateHandle handle) = 0;
        virtual void federationRestored() = 0;
        virtual void federationNotRestored() = 0;

        // Declaration management.
        virtual void startRegistrationForObjectClass(ObjectClassHandle theClass) = 0;
        virtual void stopRegistrationForObjectClass(ObjectClassHandle theClass) = 0;
        virtual void turnInteractionsOn(InteractionClassHandle theHandle) = 0;
        virtual void turnInteractionsOff(InteractionClassHandle theHandle) = 0;

        // Object management.
        virtual void discoverObjectInstance(ObjectHandle theObject,
                                            ObjectClassHandle theObjectClass,
                                            const char* theObjectName) = 0;
        virtual void reflectAttributeValues(ObjectHandle theObject,
                                            const AttributeHandleValuePairSet& theAttributes,
                                            const FedTime& theTime, const char* theTag,
                                            EventRetractionHandle theHandle) = 0;
        virtual void reflectAttributeValues(ObjectHandle theObject,
                                            const AttributeHandleValuePairSet& theAttributes,
                                            const char* theTag) = 0;
        virtual void receiveInteraction(InteractionClassHandle theInteraction,
                                        const ParameterHandleValuePairSet& theParameters,
                                        const FedTime& theTime, const char* theTag,
                                        EventRetractionHandle theHandle) = 0;
        virtual void receiveInteraction(InteractionClassHandle theInteraction,
                                        const ParameterHandleValuePairSet& theParameters,
                                        const char* theTag) = 0;
        virtual void removeObjectInstance(ObjectHandle theObject, const FedTime& theTime,
                                          const char* theTag, EventRetractionHandle theHandle) = 0;
        virtual void removeObjectInstance(ObjectHandle theObject, const char* theTag) = 0;
        virtual void attributesInScope(ObjectHandle theObject,
                                       const AttributeHandleSet& theAttributes) = 0;
        virtual void attributesOutOfScope(ObjectHandle theObject,
                                          const AttributeHandleSet& theAttributes) = 0;
        virtual void provideAttributeValueUpdate(ObjectHandle theObject,
                                                 const AttributeHandleSet& theAttributes) = 0;
        virtual void turnUpdatesOnForObjectInstance(ObjectHandle theObject,
                                                    const AttributeHandleSet& theAttributes) = 0;
        virtual void turnUpdatesOffForObjectInstance(ObjectHandle theObject,
                                                     const AttributeHandleSet& theAttributes) = 0;

        // Ownership management.
        virtual void requestAttributeOwnershipAssumption(
            ObjectHandle theObject, const AttributeHandleSet& offeredAttributes,
            const char* theTag) = 0;
        virtual void attributeOwnershipDivestitureNotification(
            ObjectHandle theObject, const AttributeHandleSet& releasedAttributes) = 0;
        virtual void attributeOwnershipAcquisitionNotification(
            ObjectHandle theObject, const AttributeHandleSet& securedAttributes) = 0;
        virtual void attributeOwnershipUnavailable(ObjectHandle theObject,
                                                   const AttributeHandleSet& theAttributes) = 0;
        virtual void requestAttributeOwnershipRelease(ObjectHandle theObject,
                                                      const AttributeHandleSet& candidateAttributes,
                                                      const char* theTag) = 0;
        virtual void confirmAttributeOwnershipAcquisitionCancellation(
            ObjectHandle theObject, const AttributeHandleSet& theAttributes) = 0;
        virtual void informAttributeOwnership(ObjectHandle theObject, AttributeHandle theAttribute,
                                              FederateHandle theOwner) = 0;
        virtual void attributeIsNotOwned(ObjectHandle theObject, AttributeHandle theAttribute) = 0;
        virtual void attributeOwnedByRTI(ObjectHandle theObject, AttributeHandle theAttribute) = 0;

        // Time management.
        virtual void timeRegulationEnabled(const FedTime& theFederateTime) = 0;
        virtual void timeConstrainedEnabled(const FedTime& theFederateTime) = 0;
        virtual void timeAdvanceGrant(const FedTime& theTime) = 0;
        virtual void requestRetraction(EventRetractionHandle theHandle) = 0;
    };
    typedef FederateAmbassador* FederateAmbassadorPtr;

    class HCY_RTI_VISIBLE RTIambassador {
    public:
        RTIambassador();
        ~RTIambassador();

        // Federation management.
        void createFederationExecution(const char* executionName, const char* FED);
        void destroyFederationExecution(const char* executionName);
        FederateHandle joinFederationExecution(const char* yourName, const char* executionName,
                                               FederateAmbassadorPtr federateAmbassadorReference);
        void resignFederationExecution(ResignAction theAction);

        // Declaration management.
        void publishObjectClass(ObjectClassHandle theClass,
                                const AttributeHandleSet& attributeList);
        void unpublishObjectClass(ObjectClassHandle theClass);
        void publishInteractionClass(InteractionClassHandle theInteraction);
        void unpublishInteractionClass(InteractionClassHandle theInteraction);
        void subscribeObjectClassAttributes(ObjectClassHandle theClass,
                                            const AttributeHandleSet& attributeList,
                                            Boolean active = RTI_TRUE);
        void unsubscribeObjectClass(ObjectClassHandle theClass);
        void subscribeInteractionClass(InteractionClassHandle theClass, Boolean active = RTI_TRUE);
        void unsubscribeInteractionClass(InteractionClassHandle theClass);

        // Object management.
        ObjectHandle registerObjectInstance(ObjectClassHandle theClass, const char* theObject);
        void updateAttributeValues(ObjectHandle theObject,
                                   const AttributeHandleValuePairSet& theAttributes,
                                   const char* theTag);
        void sendInteraction(InteractionClassHandle theInteraction,
                             const ParameterHandleValuePairSet& theParameters, const char* theTag);
        void deleteObjectInstance(ObjectHandle theObject, const char* theTag);
        void requestObjectAttributeValueUpdate(ObjectHandle theObject,
                                               const AttributeHandleSet& theAttributes);
        void requestClassAttributeValueUpdate(ObjectClassHandle theClass,
                                              const AttributeHandleSet& theAttributes);

        // Support services.
        ObjectClassHandle getObjectClassHandle(const char* theName);
        AttributeHandle getAttributeHandle(const char* theName, ObjectClassHandle whichClass);
        InteractionClassHandle getInteractionClassHandle(const char* theName);
        ParameterHandle getParameterHandle(const char* theName, InteractionClassHandle whichClass);
        char* getObjectInstanceName(ObjectHandle theHandle);
        void enableAttributeRelevanceAdvisorySwitch();

        // Delivers the pending callbacks (those queued when it starts) and
        // returns; RTI_TRUE when more are pending.
        Boolean tick();
        // Waits at most `minimum` seconds for a first callback, then delivers
        // callbacks until none is pending or `maximum` seconds have passed.
        Boolean tick(TickTime minimum, TickTime maximum);

        class Impl;

    private:
        RTIambassador(const RTIambassador&);
        RTIambassador& operator=(const RTIambassador&);
        Impl* impl_;
    };
};

#endif
