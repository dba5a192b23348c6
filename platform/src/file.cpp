// Binary files over one POSIX descriptor: pread and pwrite, so that no call
// depends on a file position another thread may have moved.
#include "hcyplat/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace plat {

struct File::Impl {
    int fd = -1;
    mutable std::atomic<int> lastError{0};
};

int FileCauseFromErrno(int error) {
    switch (error) {
    case 0: return FileException::none;
    case ENOENT: return FileException::fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return FileException::badPath;
    case EMFILE:
    case ENFILE: return FileException::tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return FileException::accessDenied;
    case ENOSPC:
    case EDQUOT: return FileException::diskFull;
    case EIO: return FileException::hardIO;
    default: return FileException::genericException;
    }
}

std::string FileException::GetErrorMessage() const {
    if (m_lOsError != 0) return std::strerror(m_lOsError);
    switch (m_cause) {
    case none: return "No error occurred.";
    case fileNotFound: return "The file could not be located.";
    case badPath: return "All or part of the path is invalid.";
    case accessDenied: return "The file could not be accessed.";
    case invalidFile: return "The file is not in the expected format.";
    case diskFull: return "The disk is full.";
    case endOfFile: return "The end of file was reached.";
    default: return "An unspecified error occurred.";
    }
}

File::File() : impl_(std::make_unique<Impl>()) {}

File::~File() { Close(); }

bool File::Open(const std::string& path, unsigned flags, FileException* error) {
    Close();
    int mode = (flags & modeReadWrite) ? O_RDWR : O_RDONLY;
    if (flags & modeCreate) mode |= O_CREAT | ((flags & modeNoTruncate) ? 0 : O_TRUNC);
    if ((flags & modeCreate) && (flags & modeCreateNew)) mode |= O_EXCL;
    mode |= O_CLOEXEC;
    int fd;
    do {
        fd = ::open(path.c_str(), mode, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        // A folder opens read-only on this system; as a file it is refused.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        if (error) {
            error->m_lOsError = errno;
            error->m_cause = FileCauseFromErrno(errno);
            error->m_strFileName = path;
        }
        return false;
    }
    impl_->fd = fd;
    path_ = path;
    return true;
}

void File::Close() {
    if (impl_->fd >= 0) ::close(impl_->fd);
    impl_->fd = -1;
    path_.clear();
}

bool File::IsOpen() const { return impl_->fd >= 0; }

std::size_t File::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    if (impl_->fd < 0 || !buffer) return 0;
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(INT64_MAX)) break;
        const ssize_t n = ::pread(impl_->fd, p + done, count - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            impl_->lastError = errno;
            break;
        }
        if (n == 0) break;  // the end of the file
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t count) {
    if (impl_->fd < 0 || (!data && count)) {
        impl_->lastError = EBADF;
        return false;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(INT64_MAX)) {
            impl_->lastError = EFBIG;
            return false;
        }
        const ssize_t n = ::pwrite(impl_->fd, p + done, count - done, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            impl_->lastError = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool File::SetLength(std::uint64_t length) {
    if (impl_->fd < 0 || length > static_cast<std::uint64_t>(INT64_MAX)) {
        impl_->lastError = impl_->fd < 0 ? EBADF : EFBIG;
        return false;
    }
    int r;
    do {
        r = ::ftruncate(impl_->fd, static_cast<off_t>(length));
    } while (r != 0 && errno == EINTR);
    if (r != 0) impl_->lastError = errno;
    return r == 0;
}

std::uint64_t File::GetLength() const {
    struct stat st {};
    if (impl_->fd < 0) return 0;
    if (::fstat(impl_->fd, &st) != 0) {
        impl_->lastError = errno;
        return 0;
    }
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

int File::LastError() const { return impl_->lastError.load(); }

}  // namespace plat
