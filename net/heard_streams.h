#pragma once
// The host's table of heard audio streams: every transmitter the host hears
// is decoded once per received Signal PDU, in PDU order, for every radio that
// hears it; each radio then applies its own reception (gain, squelch, crypto
// match, garbling, mixing) to the samples.
//
//   Transmitter PDU / HLA update --> record (per radio) --> HeardTransmitter
//       (one per transmitter, shared by the records; notes keying, as the
//       dispatcher does for every Transmitter PDU)
//   Signal PDU --> dispatcher opens a SignalRound (per thread)
//     --> each radio offered it: record --> its SignalStream (transmitter,
//         source, coder, CVSD tuning) --> Decode: the first radio of the
//         round decodes, the others copy that block
//
// Ownership: records hold their transmitter and their streams by shared_ptr;
// a transmitter or stream no record holds is gone (its decoder state with
// it), and one heard again starts fresh. A stream also starts fresh at the
// first block of a new transmission: after the transmitter was seen
// unkeyed and then keyed again, which is where senders of this system start
// their encoders afresh.
//
// Locks: one mutex for the table (taken to find or make a transmitter and
// when one goes) and one per transmitter over its keying notes and its
// streams' decoders. Both come after the tables' lock and a radio's mutex
// and take no other lock, but for the table's taken when a transmitter's
// last hold goes (with no transmitter's mutex held); nothing is called out
// of them. Decoding allocates nothing once a stream's block has reached its
// largest size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "codecs/codec.h"
#include "net/pdu.h"

namespace hcy::net {

// Who is heard: a DIS transmitter by its RadioId, or an HLA transmitter
// object by its object handle.
struct HeardKey {
    enum class Road : std::uint8_t { Dis, Hla };
    Road road = Road::Dis;
    std::uint64_t id = 0;

    static HeardKey Dis(const RadioId& radio) { return {Road::Dis, PackedKey(radio)}; }
    static HeardKey Hla(std::uint32_t objectHandle) { return {Road::Hla, objectHandle}; }
    friend bool operator==(const HeardKey&, const HeardKey&) = default;
};

// How a listener decodes one transmitter's audio: the source it hears it
// from (one stream per source, so that a PDU heard on two networks never
// advances one decoder twice), the coder, and, for CVSD, the listener's
// tuning, which shapes the samples.
struct StreamChoice {
    std::uint32_t source = 0;  // NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK, NET_HLA; 0 unknown
    CodecKind kind = CodecKind::Pcm;
    CCvsdCore::Tuning cvsd{};  // all zero unless kind is a CVSD

    bool SameAs(const StreamChoice& other) const;
};

// One Signal PDU's audio as offered for decoding: the sender's claims (the
// sample count and rate) and the coded bytes actually received.
struct SignalBlock {
    std::uint32_t sampleCount = 0;
    std::uint32_t sampleRate = 0;  // [Hz]
    std::span<const std::uint8_t> data;
};

// Marks the PDU in hand on this thread: every radio offered one received
// Signal PDU inside one round shares its decode. The dispatcher opens a
// round per PDU before offering it; an offer outside any round (a radio
// called directly) opens its own, so that each such call counts as a PDU
// of its own. Rounds nest: only the outermost one counts.
class SignalRound {
public:
    // `source`: the source bit the PDU came in on (0 when not known).
    explicit SignalRound(std::uint32_t source = 0);
    ~SignalRound();
    SignalRound(const SignalRound&) = delete;
    SignalRound& operator=(const SignalRound&) = delete;

    // The open round's number on this thread (never 0 inside a round) and
    // its source.
    static std::uint64_t Current();
    static std::uint32_t Source();

private:
    bool outermost_;
};

class HeardTransmitter;

// One transmitter's audio as decoded for one StreamChoice.
class SignalStream {
public:
    SignalStream(std::shared_ptr<HeardTransmitter> owner, const StreamChoice& choice);
    ~SignalStream();
    SignalStream(const SignalStream&) = delete;
    SignalStream& operator=(const SignalStream&) = delete;

    const StreamChoice& Choice() const { return choice_; }

    // The block of the Signal PDU in hand: decoded now unless it was in this
    // round, when the same samples come again. With `out`, the samples are
    // copied there (sampleCount of them, zero-filled past what the data
    // held); without, the stream only keeps in step. Returns their RMS level
    // as ComputeRmsLevel gives it at the block's rate (0 for a rate of 0). A
    // block with no samples decodes nothing.
    float Decode(const SignalBlock& block, std::vector<std::int16_t>* out);

private:
    friend class HeardTransmitter;

    std::shared_ptr<HeardTransmitter> owner_;
    const StreamChoice choice_;
    // --- guarded by the owner's mutex ---
    CodecSet coder_;  // decoders only: the CVSD tuning of the choice
    CodecStreamState state_;
    std::vector<std::int16_t> samples_;  // the last block decoded
    float rmsLevel_ = 0.0f;
    std::uint64_t round_ = 0;         // the round of that block; 0 none
    std::uint32_t transmission_ = 0;  // the owner's transmission number it belongs to
};

// What the host hears of one transmitter: its keying and its streams.
class HeardTransmitter : public std::enable_shared_from_this<HeardTransmitter> {
public:
    struct Table;
    HeardTransmitter(std::shared_ptr<Table> table, const HeardKey& key);
    ~HeardTransmitter();
    HeardTransmitter(const HeardTransmitter&) = delete;
    HeardTransmitter& operator=(const HeardTransmitter&) = delete;

    const HeardKey& Key() const { return key_; }

    // The transmit state of one of its Transmitter PDUs or HLA updates
    // (keyed: state 2), from any record. Keyed again after being seen
    // unkeyed starts a new transmission: every stream starts afresh at its
    // first block from then on.
    void NoteTransmitState(bool keyed);

    // The stream for a choice, shared with every other record that made the
    // same choice; a new one starts fresh.
    std::shared_ptr<SignalStream> Stream(const StreamChoice& choice);

private:
    friend class SignalStream;

    const std::shared_ptr<Table> table_;
    const HeardKey key_;
    std::mutex mutex_;
    // --- guarded by mutex_ ---
    bool seenUnkeyed_ = false;
    bool keyedAgain_ = false;
    std::uint32_t transmission_ = 0;
    std::vector<std::weak_ptr<SignalStream>> streams_;
};

// The table: one per host (Host()), or one of a test's own.
class HeardStreams {
public:
    HeardStreams();
    ~HeardStreams();
    HeardStreams(const HeardStreams&) = delete;
    HeardStreams& operator=(const HeardStreams&) = delete;

    // The table every radio of this library uses.
    static HeardStreams& Host();

    // The transmitter for a key, shared with every record of it; a new one
    // has no streams.
    std::shared_ptr<HeardTransmitter> Hear(const HeardKey& key);

    // A Transmitter PDU's transmit state for a transmitter some record
    // holds (nothing otherwise): the dispatcher tells it before the radios,
    // so that streams of models that do not read Transmitter PDUs start
    // afresh at a new transmission too.
    void NoteTransmitState(const HeardKey& key, bool keyed);

    // What is held now, and how many blocks were decoded since the table
    // was made (a measure for tests and benchmarks).
    struct Probe {
        std::size_t transmitters = 0;
        std::size_t streams = 0;
        std::uint64_t decodes = 0;
    };
    Probe GetProbe() const;

private:
    std::shared_ptr<HeardTransmitter::Table> table_;
};

}  // namespace hcy::net
