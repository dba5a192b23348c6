#pragma once
// Radios and interphones that record what a device asks of them, for the
// device tests.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/app.h"
#include "support/stand_ins.h"

namespace devtest {

struct PttCall {
    int on;
    std::uint16_t source;
    bool operator==(const PttCall&) const = default;
};

class RecordingRadio : public hcytest::StandInRadio {
public:
    int SetPTT(int on, std::uint16_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        ptt.push_back({on, source});
        // Only the word that keyed the radio releases it.
        if (on && keyedBy == 0) keyedBy = source;
        else if (!on && source == keyedBy) keyedBy = 0;
        return 1;
    }
    void SetXmitAttached(int on) override {
        std::lock_guard<std::mutex> lock(mu);
        attached.push_back(on);
    }
    void TransmitAudio(const std::int16_t* samples, std::uint32_t bytes, std::uint32_t,
                       std::uint16_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        blocks.emplace_back(samples, samples + bytes / 2);
        sources.push_back(source);
        ++blockCount;
    }
    void SetXmitFilterSwitch(bool on) { m_nXmitFilter = on ? 1u : 0u; }

    bool Keyed() const {
        std::lock_guard<std::mutex> lock(mu);
        return keyedBy != 0;
    }
    std::vector<PttCall> Ptt() const {
        std::lock_guard<std::mutex> lock(mu);
        return ptt;
    }
    std::vector<int> Attached() const {
        std::lock_guard<std::mutex> lock(mu);
        return attached;
    }
    std::vector<std::vector<std::int16_t>> Blocks() const {
        std::lock_guard<std::mutex> lock(mu);
        return blocks;
    }
    std::vector<std::uint16_t> Sources() const {
        std::lock_guard<std::mutex> lock(mu);
        return sources;
    }

    std::atomic<int> blockCount{0};

private:
    mutable std::mutex mu;
    std::uint32_t keyedBy = 0;
    std::vector<PttCall> ptt;
    std::vector<int> attached;
    std::vector<std::vector<std::int16_t>> blocks;
    std::vector<std::uint16_t> sources;
};

class RecordingInterphone : public hcytest::StandInInterphone {
public:
    int SetTalk(int on, std::uint16_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        talk.push_back({on, source});
        return 1;
    }
    void SendAudio(const std::int16_t*, std::uint32_t, std::uint32_t) override { ++audioBlocks; }
    std::vector<PttCall> Talk() const {
        std::lock_guard<std::mutex> lock(mu);
        return talk;
    }
    std::atomic<int> audioBlocks{0};

private:
    mutable std::mutex mu;
    std::vector<PttCall> talk;
};

// The last error without its "HCY ERROR: " prefix.
inline std::string LastErrorText() {
    const std::string text = theApp.LastError();
    const std::string prefix = "HCY ERROR: ";
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

}  // namespace devtest
