#pragma once
// CWavFile: the system's RIFF/WAVE file. As a writer it makes 16-bit mono
// PCM files whose two size fields are right after every block, so that a
// recording stays a valid WAV file if the process ends mid-way; as a reader
// it checks a file's header, keeps its format block and finds its samples.
//
//   producer (capture, network or host thread)      writer thread (one per file)
//     InitHeader   --WM_WAVWRITER_WRITE_HEADER-->     44-byte header at 0
//     WriteSamples --WM_WAVWRITER_APPEND (copy)-->    block at the end of the
//                                                     file; RIFF size (4) and
//                                                     data size (40) read back,
//                                                     grown, written back
//     Close        --WM_WAVWRITER_STOP---------->     ends after what came before
//
// A data size that is odd (coded recordings) is followed by a zero pad
// byte, counted in the RIFF size but not in the data size. A write that
// fails (a full disk) leaves the file as it was before that block, and the
// writer takes no more: GetWriteError says why.
//
// The producer never waits for the disk: one copy and one post per block.
// Appending is only to files of the canonical 44-byte layout whose samples
// run to the end of the file (others are refused at OpenAppend), and no file
// grows past what its 32-bit sizes can count.
//
// How other parts use it:
//   CWavFile file;
//   plat::FileException error;
//   if (!file.OpenCreate(path, &error)) ... error.m_cause, GetErrorMessage()
//   file.InitHeader(16000);
//   file.WriteSamples(block, bytes);      // any thread, never blocks on I/O
//   file.Close();                         // every block is in the file
// and to read: OpenRead, ReadHeader, GetFormat, GetDataSize, ReadData.
//
// Threads: every member may be called from any thread; Open*, Close and
// ReadHeader must not race with each other on one object (their owner
// orders them). The sizes are atomics the writer thread updates.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "hcyplat/file.h"
#include "hcyplat/thread.h"
#include "wav/wav_format.h"

class CWavFile {
public:
    // The largest data size [bytes] a RIFF size of 32 bits can cover.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

    CWavFile() = default;
    ~CWavFile();  // closes: the writer thread never outlives the object
    CWavFile(const CWavFile&) = delete;
    CWavFile& operator=(const CWavFile&) = delete;

    // Opens an existing file for reading (no writer thread).
    plat::BOOL OpenRead(const char* path, plat::FileException* error);
    // Creates (truncates) a file and starts its writer thread.
    plat::BOOL OpenCreate(const char* path, plat::FileException* error);
    // Opens an existing canonical file to append to and starts the writer.
    // A missing file fails with cause fileNotFound (callers then create
    // it); a file of another layout fails with cause invalidFile.
    plat::BOOL OpenAppend(const char* path, plat::FileException* error);

    // 16-bit mono PCM at `sampleRate` [Hz], sizes 36 and 0: posts the
    // header write. 0 when not open for writing.
    plat::BOOL InitHeader(std::uint32_t sampleRate);
    // The same with a format block of the caller's (the record device's
    // coded and stereo files keep this layout).
    plat::BOOL InitHeader(const hcy::media::WavFormat& format);
    // Copies `bytes` and posts them to be appended; 0 when not open for
    // writing, when the queue refuses the block, or when the file would pass
    // kMaxDataBytes (last error set).
    plat::BOOL WriteSamples(const void* samples, std::uint32_t bytes);

    // Parses the header from offset 0: "RIFF", "WAVE", "fmt " (at least 16
    // bytes, the first 16 kept), then chunks (padded to even sizes) up to
    // "data". 0 when not open or on a mismatch; fields read before a
    // mismatch keep their new values. The data size is what the file holds
    // of the declared size, in whole 16-bit samples.
    plat::BOOL ReadHeader();
    // Up to `count` bytes of samples from the data start (at most the data
    // size): the number read; 0 before a successful ReadHeader.
    std::uint32_t ReadData(void* buffer, std::uint32_t count);
    // The 16-byte format block.
    void GetFormat(std::uint8_t* dest) const;

    // Ends the writer after every block posted before (joined), then closes.
    void Close();

    // The writer's message once a write failed (the file then ends with the
    // last block written whole); empty while every write succeeded. Kept
    // after Close, until the next open.
    std::string GetWriteError() const;

    bool IsOpen() const { return m_bOpen.load(); }
    bool IsWriterRunning() const { return m_bWriterRunning.load(); }
    std::uint32_t GetRiffSize() const { return m_nRiffSize.load(); }
    std::uint32_t GetDataSize() const { return m_nDataSize.load(); }
    std::uint64_t GetDataStart() const { return m_nDataStart.load(); }
    const std::string& GetFilePath() const { return m_strPath; }

private:
    plat::BOOL OpenForWriting(const char* path, unsigned flags, bool append,
                              plat::FileException* error);
    // Closes the file and fills `error` with the cause; 0.
    plat::BOOL OpenFailure(int cause, const char* path, plat::FileException* error);
    plat::BOOL StartWriterThread();
    void WriterThreadProc();
    void WriteHeader();
    void Append(const std::vector<std::uint8_t>& block);
    void ReportWriteError();

    std::atomic<bool> m_bWriterRunning{false};
    std::atomic<bool> m_bStopRequested{false};
    plat::Thread m_writer;
    std::atomic<plat::ThreadId> m_nWriterThreadId{0};  // 0: no writer
    std::atomic<bool> m_bOpen{false};
    std::atomic<std::uint32_t> m_nRiffSize{0};
    std::atomic<std::uint32_t> m_nDataSize{0};
    std::atomic<std::uint64_t> m_nDataStart{0};
    // Bytes the file will hold once every posted block is written.
    std::atomic<std::uint64_t> m_nPostedBytes{0};

    std::atomic<bool> m_bWriteFailed{false};
    mutable std::mutex m_errorMutex;
    std::string m_strWriteError;

    mutable std::mutex m_formatMutex;  // the format block: caller and writer
    std::uint8_t m_format[hcy::media::kFormatBlockBytes] = {};

    plat::File m_file;
    std::string m_strPath;
};
