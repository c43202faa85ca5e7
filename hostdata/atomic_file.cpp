#include "hostdata/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

namespace quorbel {
namespace {

std::string describeError(int error) { return std::strerror(error); }

// Thin wrappers over the system calls: each returns 0 or an errno value.

int openForReading(const std::filesystem::path& path, int& descriptor) {
    do {
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor < 0 ? errno : 0;
}

int readAll(int descriptor, std::string& bytes) {
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count == 0) return 0;
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

int writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
}

int syncFile(int descriptor) { return ::fsync(descriptor) == 0 ? 0 : errno; }

int closeFile(int descriptor) { return ::close(descriptor) == 0 ? 0 : errno; }

int renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::optional<mode_t> permissionBits(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return status.st_mode & 07777;
}

int setPermissionBits(int descriptor, mode_t mode) { return ::fchmod(descriptor, mode) == 0 ? 0 : errno; }

// A file name nobody else is using in `directory`; O_EXCL makes sure.
int createTemporaryFile(const std::filesystem::path& directory, const std::string& baseName,
                        std::filesystem::path& created, int& descriptor) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = directory / ("." + baseName + ".tmp-" + std::to_string(::getpid()) + "-" +
                               std::to_string(counter.fetch_add(1)));
        descriptor = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) return 0;
        if (errno != EEXIST && errno != EINTR) return errno;
    }
    return EEXIST;
}

// The rename is only durable once the directory entry is on disk. File
// systems that cannot sync a directory say EINVAL; that is no failure.
int syncDirectory(const std::filesystem::path& directory) {
    const int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return errno;
    int error = syncFile(descriptor);
    if (error == EINVAL) error = 0;
    ::close(descriptor);
    return error;
}

Status failure(const std::filesystem::path& path, const std::string& reason) {
    return Status::failure("Cannot save \"" + path.string() + "\": " + reason);
}

// A link is followed so that the file it names is replaced, not the link.
std::filesystem::path followLink(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) return path;
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target;
}

// Writes, flushes and closes the temporary file; returns an errno value.
int fillTemporaryFile(int descriptor, std::string_view contents, const std::filesystem::path& target) {
    int error = writeAll(descriptor, contents);
    if (error == 0) {
        if (const auto mode = permissionBits(target)) error = setPermissionBits(descriptor, *mode);
    }
    if (error == 0) error = syncFile(descriptor);
    const int closeError = closeFile(descriptor);
    return error != 0 ? error : closeError;
}

}  // namespace

FileRead readWholeFile(const std::filesystem::path& path) {
    FileRead result;
    int descriptor = -1;
    if (const int error = openForReading(path, descriptor); error != 0) {
        result.state = error == ENOENT || error == ENOTDIR ? FileState::Missing : FileState::Unreadable;
        result.error = describeError(error);
        return result;
    }
    const int error = readAll(descriptor, result.bytes);
    ::close(descriptor);
    result.state = error == 0 ? FileState::Read : FileState::Unreadable;
    if (error != 0) {
        result.bytes.clear();
        result.error = describeError(error);
    }
    return result;
}

Status replaceFileAtomically(const std::filesystem::path& requestedPath, std::string_view contents) {
    if (requestedPath.empty() || !requestedPath.has_filename()) return failure(requestedPath, "no file name given");
    const std::filesystem::path path = followLink(requestedPath);
    const std::filesystem::path directory = path.has_parent_path() ? path.parent_path() : ".";

    std::error_code directoryError;
    std::filesystem::create_directories(directory, directoryError);
    if (directoryError) {
        return failure(path, "cannot create the directory \"" + directory.string() + "\": " + directoryError.message());
    }

    std::filesystem::path temporary;
    int descriptor = -1;
    if (const int error = createTemporaryFile(directory, path.filename().string(), temporary, descriptor); error != 0) {
        return failure(path, describeError(error));
    }
    int error = fillTemporaryFile(descriptor, contents, path);
    if (error == 0) error = renameFile(temporary, path);
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failure(path, describeError(error));
    }
    if (const int syncError = syncDirectory(directory); syncError != 0) return failure(path, describeError(syncError));
    return Status::success();
}

}  // namespace quorbel
