#include "net/heard_streams.h"

#include <atomic>
#include <unordered_map>

#include "codecs/level.h"

namespace hcy::net {
namespace {

std::atomic<std::uint64_t> g_lastRound{0};
thread_local std::uint64_t t_round = 0;
thread_local std::uint32_t t_source = 0;

struct KeyHash {
    std::size_t operator()(const HeardKey& k) const {
        return std::hash<std::uint64_t>{}(k.id * 2 + static_cast<std::uint64_t>(k.road));
    }
};

}  // namespace

struct HeardTransmitter::Table {
    std::mutex mutex;
    std::unordered_map<HeardKey, std::weak_ptr<HeardTransmitter>, KeyHash> transmitters;
    std::atomic<std::size_t> streams{0};
    std::atomic<std::uint64_t> decodes{0};
};

bool StreamChoice::SameAs(const StreamChoice& other) const {
    return source == other.source && kind == other.kind && cvsd.SameAs(other.cvsd);
}

// ---------------------------------------------------------------------------

SignalRound::SignalRound(std::uint32_t source) : outermost_(t_round == 0) {
    if (!outermost_) return;
    t_round = g_lastRound.fetch_add(1, std::memory_order_relaxed) + 1;
    t_source = source;
}

SignalRound::~SignalRound() {
    if (!outermost_) return;
    t_round = 0;
    t_source = 0;
}

std::uint64_t SignalRound::Current() { return t_round; }
std::uint32_t SignalRound::Source() { return t_source; }

// ---------------------------------------------------------------------------

SignalStream::SignalStream(std::shared_ptr<HeardTransmitter> owner, const StreamChoice& choice)
    : owner_(std::move(owner)), choice_(choice) {
    coder_.cvsd.SetTuning(choice.cvsd);
    coder_.cecomCvsd.SetTuning(choice.cvsd);
    owner_->table_->streams.fetch_add(1, std::memory_order_relaxed);
}

SignalStream::~SignalStream() { owner_->table_->streams.fetch_sub(1, std::memory_order_relaxed); }

float SignalStream::Decode(const SignalBlock& block, std::vector<std::int16_t>* out) {
    if (block.sampleCount == 0) {
        if (out) out->clear();
        return 0.0f;
    }
    HeardTransmitter& owner = *owner_;
    std::lock_guard<std::mutex> lock(owner.mutex_);
    const std::uint64_t round = SignalRound::Current();
    if (round == 0 || round != round_) {
        if (owner.keyedAgain_) {
            ++owner.transmission_;
            owner.keyedAgain_ = false;
            owner.seenUnkeyed_ = false;
        }
        if (transmission_ != owner.transmission_) {
            state_ = CodecStreamState{};
            transmission_ = owner.transmission_;
        }
        // Zero-filled: a block shorter than its sample count ends in silence.
        samples_.assign(block.sampleCount, 0);
        coder_.Decode(choice_.kind, state_, block.data, std::span(samples_));
        rmsLevel_ = block.sampleRate ? ComputeRmsLevel(samples_.data(), block.sampleCount * 2,
                                                       static_cast<std::int32_t>(block.sampleRate))
                                     : 0.0f;
        round_ = round;
        owner.table_->decodes.fetch_add(1, std::memory_order_relaxed);
    }
    if (out) out->assign(samples_.begin(), samples_.end());
    return rmsLevel_;
}

// ---------------------------------------------------------------------------

HeardTransmitter::HeardTransmitter(std::shared_ptr<Table> table, const HeardKey& key)
    : table_(std::move(table)), key_(key) {}

HeardTransmitter::~HeardTransmitter() {
    std::lock_guard<std::mutex> lock(table_->mutex);
    // The entry may already name a successor made while this one was going.
    auto it = table_->transmitters.find(key_);
    if (it != table_->transmitters.end() && it->second.expired()) table_->transmitters.erase(it);
}

void HeardTransmitter::NoteTransmitState(bool keyed) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!keyed) {
        seenUnkeyed_ = true;
        keyedAgain_ = false;
    } else if (seenUnkeyed_) {
        keyedAgain_ = true;
    }
}

std::shared_ptr<SignalStream> HeardTransmitter::Stream(const StreamChoice& choice) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(streams_, [](const std::weak_ptr<SignalStream>& s) { return s.expired(); });
    for (const auto& weak : streams_) {
        std::shared_ptr<SignalStream> stream = weak.lock();
        if (stream && stream->choice_.SameAs(choice)) return stream;
    }
    auto stream = std::make_shared<SignalStream>(shared_from_this(), choice);
    stream->transmission_ = transmission_;
    streams_.push_back(stream);
    return stream;
}

// ---------------------------------------------------------------------------

HeardStreams::HeardStreams() : table_(std::make_shared<HeardTransmitter::Table>()) {}
HeardStreams::~HeardStreams() = default;

HeardStreams& HeardStreams::Host() {
    // Never destroyed: records may let go of their transmitters during the
    // process's own teardown, in any order.
    static HeardStreams* host = new HeardStreams;
    return *host;
}

std::shared_ptr<HeardTransmitter> HeardStreams::Hear(const HeardKey& key) {
    std::lock_guard<std::mutex> lock(table_->mutex);
    std::weak_ptr<HeardTransmitter>& entry = table_->transmitters[key];
    std::shared_ptr<HeardTransmitter> transmitter = entry.lock();
    if (!transmitter) {
        transmitter = std::make_shared<HeardTransmitter>(table_, key);
        entry = transmitter;
    }
    return transmitter;
}

void HeardStreams::NoteTransmitState(const HeardKey& key, bool keyed) {
    std::shared_ptr<HeardTransmitter> transmitter;
    {
        std::lock_guard<std::mutex> lock(table_->mutex);
        auto it = table_->transmitters.find(key);
        if (it == table_->transmitters.end()) return;
        transmitter = it->second.lock();
    }
    // Its last record may go meanwhile; then this is the last hold.
    if (transmitter) transmitter->NoteTransmitState(keyed);
}

HeardStreams::Probe HeardStreams::GetProbe() const {
    Probe probe;
    {
        std::lock_guard<std::mutex> lock(table_->mutex);
        for (const auto& [key, weak] : table_->transmitters)
            if (!weak.expired()) ++probe.transmitters;
    }
    probe.streams = table_->streams.load(std::memory_order_relaxed);
    probe.decodes = table_->decodes.load(std::memory_order_relaxed);
    return probe;
}

}  // namespace hcy::net
