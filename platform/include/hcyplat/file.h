#pragma once
// Binary files: the shape of CFile and CFileException as the WAV classes use
// them, over one descriptor with positional reads and writes.
//
// Contract:
// - Reads and writes name their offset and never move a shared file
//   position, so one open file may be read and written from several threads
//   at once (each call is one system call, or a loop of them until done).
// - An open failure fills a FileException with the framework's cause code
//   (fileNotFound 2, badPath 3, tooManyOpenFiles 4, accessDenied 5,
//   diskFull 13, generic 1 for the rest) and the system's error number.
// - Offsets and lengths are 64-bit; nothing here reads or writes past what
//   the caller's buffer holds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

struct FileException {
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        hardIO = 10,
        diskFull = 13,
        endOfFile = 14,
    };
    int m_cause = none;
    int m_lOsError = 0;  // the system's error number; 0 when none
    std::string m_strFileName;

    // The framework's text for the failure: the system's own words for its
    // error number, else a text for the cause.
    std::string GetErrorMessage() const;
};

class File {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,      // create, truncating an existing file
        modeNoTruncate = 0x2000,  // with modeCreate: open an existing file as it is
        modeCreateNew = 0x4000,   // with modeCreate: fail when the file exists
    };

    File();
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` (closing a file that is open); on failure fills `error`
    // (when given) and returns false.
    bool Open(const std::string& path, unsigned flags, FileException* error);
    void Close();
    bool IsOpen() const;
    const std::string& GetFilePath() const { return path_; }

    // Up to `count` bytes from `offset`: the number read (0 at or past the
    // end, or when the read fails).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
    // All `count` bytes at `offset`, or false (the system's error number in
    // LastError).
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t count);
    // Cuts or extends the file to `length` bytes, or false (LastError).
    bool SetLength(std::uint64_t length);
    // The file's length [bytes]; 0 when it is not open.
    std::uint64_t GetLength() const;
    // The system's error number of the last failed read, write or length.
    int LastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string path_;
};

// Maps a system error number to the framework's cause code.
int FileCauseFromErrno(int error);

}  // namespace plat
