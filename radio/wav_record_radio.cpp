#include "radio/wav_record_radio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/library.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "hcyplat/file.h"
#include "wav/wav_format.h"

using namespace hcy::media;

namespace {

// A byte rate of 2000 bytes/s is one 16-bit mono sample per millisecond.
constexpr std::uint32_t kByteRateOfSamplePerMs = 2000;

// The system's words for the failure, then the file and what else is known.
void SetFileError(const plat::FileException& error, const std::string& path,
                  const std::string& detail = {}) {
    std::string text = error.GetErrorMessage().substr(0, 1024);
    if (!text.empty() && text.back() == '.') text.pop_back();
    hcy::Library().SetErrorf("%s: %s%s", text.c_str(), path.c_str(), detail.c_str());
}

}  // namespace

CWavRecordRadioModel::~CWavRecordRadioModel() {
    std::lock_guard file(m_fileMutex);
    WriteTracks(true);
}

void CWavRecordRadioModel::Shutdown() {
    {
        // The writer thread finishes the file; it is joined when the radio
        // goes, outside the tables' lock.
        std::lock_guard file(m_fileMutex);
        WriteTracks(true);
    }
    CRadioModel::Shutdown();
}

// ---------------------------------------------------------------------------
// Blocks onto tracks

std::int64_t CWavRecordRadioModel::Clock(plat::DWORD now) const {
    const plat::DWORD elapsed = now - m_nClockOrigin;  // [ms], wraps with the clock
    return static_cast<std::int64_t>(elapsed) * m_nSamplesPerMs - m_nBase;
}

int CWavRecordRadioModel::SetPTT(int, std::uint32_t source) {
    std::lock_guard lock(m_trackMutex);
    m_tracks[source].last = 0;
    return 1;
}

void CWavRecordRadioModel::TransmitAudio(const std::int16_t* samples, std::uint32_t byteCount,
                                         std::uint32_t, std::uint32_t source) {
    const std::int64_t n = byteCount / 2;
    if (!samples || n == 0) return;
    const plat::DWORD now = plat::timeGetTime();
    std::lock_guard lock(m_trackMutex);
    if (!m_bRecording.load()) return;
    Track& track = m_tracks[source];
    // The block ends where the track goes on, unless that is more than
    // 100 ms off the clock: then it ends at the clock.
    const std::int64_t clock = Clock(now);
    const std::int64_t slack = kResyncMs * m_nSamplesPerMs;
    std::int64_t end = track.last + n + 1;
    if (end < clock - slack || end > clock + slack) end = clock;
    // Its front is cut where it would reach the samples already written.
    const std::int64_t first = std::max({end - n, track.last + 1, std::int64_t{0}});
    if (end > first) {
        if (static_cast<std::int64_t>(track.samples.size()) < end)
            track.samples.resize(static_cast<std::size_t>(end));
        std::copy(samples + (n - (end - first)), samples + n,
                  track.samples.begin() + static_cast<std::ptrdiff_t>(first));
    }
    track.last = end - 1;
    ++m_nBlockCount;
}

// ---------------------------------------------------------------------------
// Tracks into the file

void CWavRecordRadioModel::WriteTracks(bool final) {
    std::map<std::uint32_t, Track> taken;
    std::int64_t n;
    {
        std::lock_guard lock(m_trackMutex);
        if (!m_bRecording.load()) return;
        const std::int64_t clock = Clock(plat::timeGetTime());
        n = clock;
        if (final) {
            for (const auto& [source, track] : m_tracks)
                n = std::max(n, static_cast<std::int64_t>(track.samples.size()));
        } else {
            // A source that is still talking (its track reaches within
            // 100 ms of the clock) fills the span up to the clock later:
            // the write stops where that track ends.
            const std::int64_t live = clock - kResyncMs * m_nSamplesPerMs;
            for (const auto& [source, track] : m_tracks)
                if (track.last + 1 >= live) n = std::min(n, track.last + 1);
        }
        n = std::max<std::int64_t>(n, 0);
        taken.swap(m_tracks);
        if (final) {
            m_bRecording = false;
        } else {
            // What lies past the span stays on the tracks, which go on from it.
            for (auto& [source, track] : taken) {
                Track& next = m_tracks[source];
                next.last = track.last - n;
                if (static_cast<std::int64_t>(track.samples.size()) > n)
                    next.samples.assign(track.samples.begin() + static_cast<std::ptrdiff_t>(n),
                                        track.samples.end());
            }
            m_nBase += n;
        }
    }
    // Mixed outside the track mutex, in pieces, each sum saturated.
    std::vector<std::int16_t> mix;
    for (std::int64_t at = 0; at < n; at += kMixChunkSamples) {
        const std::int64_t count = std::min(kMixChunkSamples, n - at);
        mix.assign(static_cast<std::size_t>(count), 0);
        for (const auto& [source, track] : taken) {
            const std::int64_t size = static_cast<std::int64_t>(track.samples.size());
            for (std::int64_t i = at; i < std::min(at + count, size); ++i) {
                const int sum = mix[static_cast<std::size_t>(i - at)] +
                                track.samples[static_cast<std::size_t>(i)];
                mix[static_cast<std::size_t>(i - at)] =
                    static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
            }
        }
        m_wavFile.WriteSamples(mix.data(), static_cast<std::uint32_t>(count * 2));
    }
}

int CWavRecordRadioModel::Heartbeat() {
    if (++m_nHeartbeatCount % kWriteHeartbeats != 0) return 1;
    std::lock_guard file(m_fileMutex);
    WriteTracks(false);
    return 1;
}

// ---------------------------------------------------------------------------
// Starting and stopping

bool CWavRecordRadioModel::OpenRecordFile(std::int32_t mode, std::uint32_t* samplesPerMs) {
    plat::FileException error;
    const char* path = m_strFileName.c_str();
    const std::uint32_t rate = hcy::Library().m_nDefaultSampleRate.load();
    if (mode == 2) {
        if (m_wavFile.OpenAppend(path, &error)) {
            // Mono 16-bit samples at the rate this radio records: blocks of
            // one rate on the time line of another overlapped or left gaps.
            std::uint8_t block[kFormatBlockBytes];
            WavFormat format;
            if (m_wavFile.ReadHeader()) {
                m_wavFile.GetFormat(block);
                format = ParseFormatBlock(block);
            }
            const bool pcm = format.tag == WAVE_FORMAT_PCM && format.channels == 1 &&
                             format.bits == 16 && format.byteRate == format.rate * 2;
            if (!pcm || format.rate != rate || format.byteRate < kByteRateOfSamplePerMs) {
                m_wavFile.Close();
                error.m_cause = plat::FileException::invalidFile;
                char detail[96] = "";
                if (pcm && format.rate != rate)
                    std::snprintf(detail, sizeof detail,
                                  " holds %u Hz; this radio records at %u Hz", format.rate, rate);
                SetFileError(error, m_strFileName, detail);
                return false;
            }
            *samplesPerMs = format.byteRate / kByteRateOfSamplePerMs;
            m_nRecordedMs = m_wavFile.GetDataSize() / 2 / *samplesPerMs;
            return true;
        }
        if (error.m_cause != plat::FileException::fileNotFound) {
            SetFileError(error, m_strFileName);
            return false;
        }
    }
    if (!m_wavFile.OpenCreate(path, &error)) {
        SetFileError(error, m_strFileName);
        return false;
    }
    if (rate * 2 < kByteRateOfSamplePerMs || !m_wavFile.InitHeader(rate)) {
        m_wavFile.Close();
        hcy::Library().SetErrorf("Could not record %s at %u Hz.", path, rate);
        return false;
    }
    *samplesPerMs = rate * 2 / kByteRateOfSamplePerMs;
    m_nRecordedMs = 0;
    return true;
}

void CWavRecordRadioModel::StartRecording(std::int32_t mode) {
    if (m_bRecording.load()) return;
    const plat::DWORD now = plat::timeGetTime();
    std::uint32_t samplesPerMs = 0;
    if (!OpenRecordFile(mode, &samplesPerMs)) return;
    m_nRecordedMsAtStart = m_nRecordedMs;
    std::lock_guard lock(m_trackMutex);
    m_nSamplesPerMs = samplesPerMs;
    m_nClockOrigin = now;
    m_nBase = 0;
    m_tracks.clear();
    m_bRecording = true;
}

bool CWavRecordRadioModel::StopRecording() {
    if (!m_bRecording.load()) return true;
    WriteTracks(true);
    m_wavFile.Close();  // every block is in the file when it returns
    {
        std::lock_guard lock(m_trackMutex);
        m_nRecordedMs = m_wavFile.GetDataSize() / 2 / m_nSamplesPerMs;
    }
    // A write the disk refused ended the file before it: the host hears why.
    const std::string failure = m_wavFile.GetWriteError();
    if (failure.empty()) return true;
    hcy::Library().SetError(failure.c_str());
    return false;
}

// ---------------------------------------------------------------------------
// Radio data

int CWavRecordRadioModel::SetRadioData(int id, void* value) {
    switch (id) {
    case RD_WAV_RECORD_START: {
        if (!value) return 0;
        std::int32_t mode;
        std::memcpy(&mode, value, sizeof mode);
        std::lock_guard file(m_fileMutex);
        StartRecording(mode);
        return 1;
    }
    case RD_WAV_RECORD_STOP: {
        std::lock_guard file(m_fileMutex);
        return StopRecording() ? 1 : 0;
    }
    case RD_WAV_RECORD_FILE: {
        if (!value) return 0;
        const auto* text = static_cast<const char*>(value);
        const std::size_t length = strnlen(text, kMaxFileNameBytes);
        std::lock_guard file(m_fileMutex);
        if (length == kMaxFileNameBytes) {
            // Cut short, the recording went to another file.
            m_strFileName.clear();
            hcy::Library().SetErrorf(
                "Could not record to %.*s...: a file name holds at most %zu bytes.", 64, text,
                kMaxFileNameBytes - 1);
            return 0;
        }
        m_strFileName.assign(text, length);
        return 1;
    }
    default: return CRadioModel::SetRadioData(id, value);
    }
}

int CWavRecordRadioModel::GetRadioData(int id, void* out) {
    std::uint32_t value;
    switch (id) {
    case RD_WAV_RECORD_LENGTH: {
        if (!out) return 0;
        std::lock_guard file(m_fileMutex);
        std::lock_guard lock(m_trackMutex);
        value = m_bRecording.load() ? m_nRecordedMsAtStart + (plat::timeGetTime() - m_nClockOrigin)
                                    : m_nRecordedMs;
        break;
    }
    case RD_WAV_RECORDING:
        if (!out) return 0;
        value = m_bRecording.load() ? 1 : 0;
        break;
    default: return CRadioModel::GetRadioData(id, out);
    }
    std::memcpy(out, &value, sizeof value);
    return 1;
}
