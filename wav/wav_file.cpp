#include "wav/wav_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"

using namespace hcy::media;

namespace {

// Where a canonical file ends after `dataSize` bytes of samples: an odd
// size is followed by the pad byte RIFF asks for.
std::uint64_t PaddedEnd(std::uint64_t dataSize) {
    return kCanonicalHeaderBytes + dataSize + (dataSize & 1);
}

}  // namespace

CWavFile::~CWavFile() { Close(); }

// ---------------------------------------------------------------------------
// Opening and closing

plat::BOOL CWavFile::OpenRead(const char* path, plat::FileException* error) {
    Close();
    if (!path) return 0;
    if (!m_file.Open(path, plat::File::modeRead, error)) return 0;
    m_strPath = path;
    m_nDataStart = 0;
    m_bOpen = true;
    return 1;
}

plat::BOOL CWavFile::OpenCreate(const char* path, plat::FileException* error) {
    return OpenForWriting(path, plat::File::modeReadWrite | plat::File::modeCreate, false, error);
}

plat::BOOL CWavFile::OpenAppend(const char* path, plat::FileException* error) {
    return OpenForWriting(path, plat::File::modeReadWrite, true, error);
}

plat::BOOL CWavFile::OpenForWriting(const char* path, unsigned flags, bool append,
                                    plat::FileException* error) {
    Close();
    if (!path) return 0;
    if (!m_file.Open(path, flags, error)) return 0;
    std::uint64_t dataBytes = 0;
    if (append) {
        // Appended blocks go to the end of the file and grow the sizes at 4
        // and 40: only right when the file is the 44-byte layout with its
        // samples running to the end.
        std::uint8_t header[kCanonicalHeaderBytes];
        const std::uint64_t length = m_file.GetLength();
        const bool canonical =
            length >= kCanonicalHeaderBytes &&
            m_file.ReadAt(0, header, sizeof header) == sizeof header && TagIs(header, "RIFF") &&
            TagIs(header + 8, "WAVE") && TagIs(header + 12, "fmt ") &&
            GetU32(header + 16) == kFormatBlockBytes && TagIs(header + 36, "data") &&
            (length == kCanonicalHeaderBytes + GetU32(header + 40) ||
             length == PaddedEnd(GetU32(header + 40)));
        if (!canonical) return OpenFailure(plat::FileException::invalidFile, path, error);
        dataBytes = GetU32(header + 40);
    }
    m_strPath = path;
    m_nPostedBytes = dataBytes;
    m_bStopRequested = false;
    m_bWriteFailed = false;
    if (!StartWriterThread())
        return OpenFailure(plat::FileException::genericException, path, error);
    m_bOpen = true;
    return 1;
}

plat::BOOL CWavFile::OpenFailure(int cause, const char* path, plat::FileException* error) {
    m_file.Close();
    if (error) {
        error->m_cause = cause;
        error->m_lOsError = 0;
        error->m_strFileName = path;
    }
    return 0;
}

void CWavFile::Close() {
    if (!m_bOpen.exchange(false)) return;
    if (const plat::ThreadId writer = m_nWriterThreadId.exchange(0)) {
        // The flag ends the writer once its queue is empty even if the
        // queue is too full to take the stop message.
        m_bStopRequested = true;
        plat::PostThreadMessage(writer, hcy::WM_WAVWRITER_STOP, 0, 0);
        m_writer.Join();
    }
    m_file.Close();
}

// ---------------------------------------------------------------------------
// Writing

plat::BOOL CWavFile::InitHeader(std::uint32_t sampleRate) {
    return InitHeader(WavFormat{WAVE_FORMAT_PCM, 1, sampleRate, sampleRate * 2, 2, 16});
}

plat::BOOL CWavFile::InitHeader(const WavFormat& format) {
    const plat::ThreadId writer = m_nWriterThreadId.load();
    if (!m_bOpen.load() || writer == 0) return 0;
    {
        std::lock_guard<std::mutex> lock(m_formatMutex);
        MakeFormatBlock(format, m_format);
    }
    m_nRiffSize = 36;
    m_nDataSize = 0;
    m_nPostedBytes = 0;
    return plat::PostThreadMessage(writer, hcy::WM_WAVWRITER_WRITE_HEADER, 0, 0) ? 1 : 0;
}

plat::BOOL CWavFile::WriteSamples(const void* samples, std::uint32_t bytes) {
    const plat::ThreadId writer = m_nWriterThreadId.load();
    if (!m_bOpen.load() || writer == 0 || (!samples && bytes) || m_bWriteFailed.load()) return 0;
    if (m_nPostedBytes.fetch_add(bytes) + bytes > kMaxDataBytes) {
        m_nPostedBytes.fetch_sub(bytes);
        hcy::Library().SetErrorf("Could not write %s: a WAV file holds at most 4 GiB.",
                                 m_strPath.c_str());
        return 0;
    }
    const auto* p = static_cast<const std::uint8_t*>(samples);
    auto payload = plat::MakePayload<std::vector<std::uint8_t>>(p, p + bytes);
    // A refused post destroys the copy.
    if (!plat::PostThreadMessage(writer, hcy::WM_WAVWRITER_APPEND, bytes, 0, std::move(payload))) {
        m_nPostedBytes.fetch_sub(bytes);
        return 0;
    }
    return 1;
}

plat::BOOL CWavFile::StartWriterThread() {
    if (m_bWriterRunning.load() || m_writer.Joinable()) return 0;
    m_bWriterRunning = true;
    // The queue exists before Start returns: InitHeader may post at once.
    if (!m_writer.Start([this] { WriterThreadProc(); }, "hcy-wavwriter")) {
        m_bWriterRunning = false;
        return 0;
    }
    m_nWriterThreadId = m_writer.Id();
    return 1;
}

void CWavFile::WriterThreadProc() {
    for (;;) {
        plat::MSG msg;
        if (!plat::PeekMessage(msg)) {
            if (m_bStopRequested.load()) break;
            if (!plat::GetMessage(msg)) break;
        }
        if (msg.message == hcy::WM_WAVWRITER_STOP) break;
        plat::ThreadBoundary(hcy::boundary::kWavWriter, [&] {
            if (msg.message == hcy::WM_WAVWRITER_WRITE_HEADER) {
                WriteHeader();
            } else if (msg.message == hcy::WM_WAVWRITER_APPEND) {
                if (const auto* block = plat::PayloadAs<std::vector<std::uint8_t>>(msg.payload))
                    Append(*block);
            }
        });
    }
    m_bWriterRunning = false;
}

void CWavFile::WriteHeader() {
    if (m_bWriteFailed.load()) return;
    std::uint8_t header[kCanonicalHeaderBytes];
    {
        std::lock_guard<std::mutex> lock(m_formatMutex);
        MakeCanonicalHeader(m_format, m_nRiffSize.load(), m_nDataSize.load(), header);
    }
    if (!m_file.WriteAt(0, header, sizeof header)) ReportWriteError();
}

void CWavFile::Append(const std::vector<std::uint8_t>& block) {
    // After a failed write nothing more goes in: the file ends where its
    // header says, with no gap in the middle of the samples.
    if (m_bWriteFailed.load()) return;
    const std::uint64_t n = block.size();
    // The data size comes from the file, not from this object, so a file
    // that was appended to before keeps adding up.
    std::uint8_t sizes[4] = {};
    if (m_file.ReadAt(40, sizes, 4) != 4) {
        ReportWriteError();
        return;
    }
    const std::uint64_t before = GetU32(sizes);
    const std::uint64_t dataSize = before + n;
    if (dataSize > kMaxDataBytes) return;  // WriteSamples refused it already
    // The block goes over the pad byte of an odd size; an odd total gets one.
    static constexpr std::uint8_t kPad = 0;
    bool written =
        m_file.WriteAt(kCanonicalHeaderBytes + before, block.data(), block.size()) &&
        ((dataSize & 1) == 0 || m_file.WriteAt(kCanonicalHeaderBytes + dataSize, &kPad, 1));
    const auto riffSize = static_cast<std::uint32_t>(PaddedEnd(dataSize) - 8);
    if (written) {
        std::uint8_t riff[4];
        PutU32(riff, riffSize);
        PutU32(sizes, static_cast<std::uint32_t>(dataSize));
        written = m_file.WriteAt(4, riff, 4) && m_file.WriteAt(40, sizes, 4);
    }
    if (!written) {
        ReportWriteError();
        // Whatever part of the block reached the disk goes again, so that
        // the header's sizes are those of the file.
        if (m_file.SetLength(kCanonicalHeaderBytes + before) && (before & 1))
            m_file.WriteAt(kCanonicalHeaderBytes + before, &kPad, 1);
        std::uint8_t header[8];
        PutU32(header, static_cast<std::uint32_t>(PaddedEnd(before) - 8));
        PutU32(header + 4, static_cast<std::uint32_t>(before));
        m_file.WriteAt(4, header, 4);
        m_file.WriteAt(40, header + 4, 4);
        return;
    }
    m_nRiffSize = riffSize;
    m_nDataSize = static_cast<std::uint32_t>(dataSize);
}

void CWavFile::ReportWriteError() {
    const int error = m_file.LastError();
    char text[1024];
    std::snprintf(text, sizeof text, "Could not write %s: %s.", m_strPath.c_str(),
                  error ? std::strerror(error) : "short file");
    {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_strWriteError = text;
    }
    m_bWriteFailed = true;
    hcy::Library().SetError(text);
}

std::string CWavFile::GetWriteError() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_bWriteFailed.load() ? m_strWriteError : std::string();
}

// ---------------------------------------------------------------------------
// Reading

plat::BOOL CWavFile::ReadHeader() {
    if (!m_bOpen.load()) return 0;
    std::uint8_t head[20];
    if (m_file.ReadAt(0, head, sizeof head) < 4 || !TagIs(head, "RIFF")) return 0;
    if (m_file.ReadAt(4, head + 4, 4) != 4) return 0;
    m_nRiffSize = GetU32(head + 4);
    if (m_file.ReadAt(8, head + 8, 12) != 12 || !TagIs(head + 8, "WAVE") ||
        !TagIs(head + 12, "fmt "))
        return 0;
    const std::uint64_t fmtSize = GetU32(head + 16);
    std::uint8_t block[kFormatBlockBytes];
    if (fmtSize < kFormatBlockBytes || m_file.ReadAt(20, block, sizeof block) != sizeof block)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_formatMutex);
        std::memcpy(m_format, block, sizeof block);
    }
    const auto chunk = FindDataChunk(m_file, 20 + fmtSize + (fmtSize & 1), ~std::uint64_t{0});
    if (!chunk) return 0;
    const std::uint64_t length = m_file.GetLength();
    const std::uint64_t held = std::min(chunk->declaredSize, length - chunk->start);
    m_nDataSize = static_cast<std::uint32_t>(held & ~std::uint64_t{1});
    m_nDataStart = chunk->start;
    return 1;
}

std::uint32_t CWavFile::ReadData(void* buffer, std::uint32_t count) {
    const std::uint64_t start = m_nDataStart.load();
    if (!m_bOpen.load() || start == 0 || !buffer) return 0;
    const std::uint32_t want = std::min(count, m_nDataSize.load());
    return static_cast<std::uint32_t>(m_file.ReadAt(start, buffer, want));
}

void CWavFile::GetFormat(std::uint8_t* dest) const {
    if (!dest) return;
    std::lock_guard<std::mutex> lock(m_formatMutex);
    std::memcpy(dest, m_format, sizeof m_format);
}
