// The outputs: the standard streams, a file, rotating files and the system's logs.
#include "JuZadOutput.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include <spdlog/details/log_msg.h>
#include <spdlog/formatter.h>

#include "JuZadSystem.h"

namespace JuZadTrc {
namespace {

std::runtime_error CannotOpen(int error)
{
    switch (error) {
    case ELOOP:
        return std::runtime_error("it is a symbolic link");
    case ENXIO:
        return std::runtime_error("nobody reads it");
    default:
        return std::runtime_error(std::generic_category().message(error));
    }
}

void MakeFolders(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder);
    }
}

// file: and rotate: make the folders that the path names. A file that rotation will rename is
// one that the sink could have made itself.
int Open(const std::string& path, bool renamable)
{
    MakeFolders(path);
    const int fd = system::OpenFile(path, false);
    if (fd < 0) {
        throw CannotOpen(errno);
    }
    if (renamable && !system::InfoOf(fd).renamable) {
        system::CloseFile(fd);
        throw std::runtime_error(
            "not a regular file of this user's with one name, which rotation could rename");
    }
    return fd;
}

Outcome Written(int error, const std::string& trouble)
{
    return Outcome{error, error != 0, trouble.empty() ? nullptr : trouble.c_str()};
}

class StreamOutput final : public Output {
public:
    explicit StreamOutput(std::FILE* stream) : m_stream(stream), m_writing(system::InfoOf(stream).writing) {}

    // After what the program left in the stream, so that records keep their place among its lines.
    Outcome Write(const char* data, std::size_t size, std::chrono::system_clock::time_point) override
    {
        return Written(system::Write(m_stream, data, size, m_writing), {});
    }

private:
    std::FILE* m_stream;
    system::Writing m_writing;
};

// The file that a path names, and goes on naming after the file is moved or removed: at most
// once a second of the records' time, whether the path still names the open file, and if not,
// the path opened afresh, as at the start. What was written before that is in the moved file.
class NamedFile {
public:
    NamedFile(std::string path, bool renamable) : m_path(std::move(path)), m_renamable(renamable)
    {
        Take(Open(m_path, m_renamable));
    }
    ~NamedFile() { system::CloseFile(m_fd); }
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;

    const std::string& Path() const { return m_path; }
    int Descriptor() const { return m_fd; }
    std::uint64_t Size() const { return m_size; }  // when it was opened, and what this process wrote since
    void SetSize(std::uint64_t size) { m_size = size; }
    bool IsOpenAt(const system::FileInfo& at) const { return system::SameFile(at, m_identity); }

    // One write per record, straight to the file: nothing waits in a buffer to be lost.
    int Write(const char* data, std::size_t size)
    {
        const int error = system::Write(m_fd, data, size, m_writing);
        m_size += error == 0 ? size : 0;
        return error;
    }

    // Whether, at time, it is a second since the last look (or the clock went back), and PATH
    // names another file.
    bool Moved(std::chrono::system_clock::time_point time)
    {
        if (time >= m_looked && time < m_looked + std::chrono::seconds(1)) {
            return false;
        }
        m_looked = time;
        return !IsOpenAt(system::InfoAt(m_path));
    }

    // "", or why PATH cannot be opened afresh.
    std::string Reopen()
    {
        try {
            const int fd = Open(m_path, m_renamable);
            system::CloseFile(m_fd);
            Take(fd);
            return {};
        } catch (const std::exception& error) {
            return error.what();
        }
    }

private:
    void Take(int fd)
    {
        m_fd = fd;
        m_identity = system::InfoOf(fd);
        m_writing = m_identity.writing;
        m_size = m_identity.size;
        m_looked = std::chrono::system_clock::now();
    }

    std::string m_path;
    bool m_renamable;
    int m_fd = -1;
    system::FileInfo m_identity;
    system::Writing m_writing = system::Writing::Plain;
    std::uint64_t m_size = 0;
    std::chrono::system_clock::time_point m_looked;
};

std::string Reopening(const std::string& path, const std::string& why)
{
    return path + " names another file or none, and cannot be opened afresh (" + why +
           "); records go on into the file it named";
}

class FileOutput final : public Output {
public:
    explicit FileOutput(const std::string& path) : m_file(path, false) {}

    Outcome Write(const char* data, std::size_t size, std::chrono::system_clock::time_point time) override
    {
        if (m_file.Moved(time)) {
            const std::string why = m_file.Reopen();
            m_trouble = why.empty() ? why : Reopening(m_file.Path(), why);
        }
        return Written(m_file.Write(data, size), m_trouble);
    }

private:
    NamedFile m_file;
    std::string m_trouble;
};

// PATH, then PATH.1 ... PATH.FILES (the number before the extension: trace.1.log), at most
// BYTES each, shared by every process that writes to PATH. Rotation renames only files that
// the sink could have made itself (regular files of this user's, with one name), and only those
// that are there. It happens under the lock of the file PATH.lock, which is never renamed:
// whoever takes it first rotates, and another writer whose file is then no longer PATH opens
// PATH afresh instead of rotating again. The sizes are the file's own, which other processes
// grow too, looked at more often as the file nears BYTES: halfway there each time, as this
// process's share of the writing tells, and at least each sixteenth of BYTES. So a file passes
// BYTES only by what other processes wrote since this one last looked.
class RotatingOutput final : public Output {
public:
    RotatingOutput(const std::string& path, std::uint64_t maxBytes, std::uint64_t maxFiles)
        : m_file(path, true), m_maxBytes(maxBytes), m_maxFiles(maxFiles), m_extensionAt(ExtensionAt(path))
    {
        Plan(m_file.Size());
    }
    ~RotatingOutput() override
    {
        if (m_lock >= 0) {
            system::CloseFile(m_lock);
        }
    }

    Outcome Write(const char* data, std::size_t size, std::chrono::system_clock::time_point time) override
    {
        if (m_file.Moved(time)) {
            Reopened(m_file.Reopen());
        }
        if (m_file.Size() + size > m_lookAt) {
            Look(size);
        }
        return Written(m_file.Write(data, size), m_trouble);
    }

private:
    // The number goes before the extension of PATH's last name, if it has one.
    static std::size_t ExtensionAt(const std::string& path)
    {
        const std::string name = std::filesystem::path(path).filename().string();
        const auto dot = name.rfind('.');
        return dot == std::string::npos || dot == 0 ? path.size() : path.size() - (name.size() - dot);
    }

    std::string Name(std::uint64_t index) const
    {
        const std::string& path = m_file.Path();
        if (index == 0) {
            return path;
        }
        return path.substr(0, m_extensionAt) + "." + std::to_string(index) + path.substr(m_extensionAt);
    }

    void Reopened(const std::string& why) { m_trouble = why.empty() ? why : Reopening(m_file.Path(), why); }

    // When to look at the file's size again, now that it is size.
    void Plan(std::uint64_t size)
    {
        m_file.SetSize(size);
        m_seen = size;
        m_lookAt =
            size >= m_maxBytes ? 0 : size + std::min((m_maxBytes - size) / (2 * m_share), m_maxBytes / 16);
    }

    // A record of size is due and the file may be full: a record larger than BYTES has a file to
    // itself, and no empty file is rotated away for it.
    void Look(std::size_t size)
    {
        const std::uint64_t actual = system::InfoOf(m_file.Descriptor()).size;
        const std::uint64_t own = m_file.Size() - m_seen;
        if (own != 0 && actual > m_seen) {
            m_share = std::max<std::uint64_t>(1, (actual - m_seen) / own);
        }
        if (actual == 0 || actual + size <= m_maxBytes) {
            Plan(actual);
            return;
        }
        const std::string why = Rotate();
        m_trouble = why.empty() ? why
                                : "cannot rotate (" + why + "); records go on into " + m_file.Path() +
                                      " past its " + std::to_string(m_maxBytes) + " bytes";
        Plan(system::InfoOf(m_file.Descriptor()).size);
    }

    // "", or why not. The oldest goes, each other moves one place on, and PATH is made afresh.
    std::string Rotate()
    {
        // A child of a fork shares its parent's lock until it opens its own.
        if (m_lockOwner != system::ProcessId()) {
            if (m_lock >= 0) {
                system::CloseFile(m_lock);
            }
            m_lock = system::OpenLock(m_file.Path() + ".lock");
            const int error = errno;
            m_lockOwner = m_lock >= 0 ? system::ProcessId() : 0;
            errno = error;
        }
        const int error = m_lock < 0 ? errno : system::Lock(m_lock);
        if (error != 0) {
            return "the lock " + m_file.Path() + ".lock: " + std::generic_category().message(error);
        }
        const std::shared_ptr<void> unlock(nullptr, [this](void*) { system::Unlock(m_lock); });
        if (!m_file.IsOpenAt(system::InfoAt(m_file.Path()))) {
            // Another writer rotated first, or PATH was moved.
            const std::string why = m_file.Reopen();
            return why.empty() ? why : m_file.Path() + " cannot be opened afresh: " + why;
        }
        std::uint64_t last = 0;  // the first free place, or FILES
        while (last < m_maxFiles && (last == 0 || system::InfoAt(Name(last)).exists)) {
            ++last;
        }
        if (std::string why = Clear(Name(last)); !why.empty()) {
            return why;
        }
        for (std::uint64_t index = last; index > 0; --index) {
            const std::string from = Name(index - 1);
            const system::FileInfo source = system::InfoAt(from);
            if (!source.exists) {
                continue;
            }
            if (!source.renamable) {
                return NotOurs(from);
            }
            if (const int failed = system::Rename(from, Name(index))) {
                return from + " cannot become " + Name(index) + ": " +
                       std::generic_category().message(failed);
            }
        }
        const std::string why = m_file.Reopen();
        return why.empty() ? why : "cannot make " + m_file.Path() + ": " + why;
    }

    static std::string Clear(const std::string& path)
    {
        const system::FileInfo info = system::InfoAt(path);
        if (!info.exists) {
            return {};
        }
        if (!info.renamable) {
            return NotOurs(path);
        }
        const int error = system::Remove(path);
        return error == 0 ? std::string()
                          : path + " cannot be removed: " + std::generic_category().message(error);
    }

    static std::string NotOurs(const std::string& path)
    {
        return path + " is not a regular file of this user's with one name";
    }

    NamedFile m_file;
    std::uint64_t m_maxBytes;
    std::uint64_t m_maxFiles;
    std::size_t m_extensionAt;
    std::uint64_t m_seen = 0;    // the file's size when this process last looked
    std::uint64_t m_lookAt = 0;  // when to look again, in Size()
    std::uint64_t m_share = 1;   // how many bytes the file grows by for each byte of this process's
    int m_lock = -1;
    long m_lockOwner = 0;
    std::string m_trouble;
};

// The system log takes each record as the library formatted it.
class Verbatim final : public spdlog::formatter {
public:
    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override
    {
        dest.append(msg.payload.data(), msg.payload.data() + msg.payload.size());
    }
    std::unique_ptr<spdlog::formatter> clone() const override { return std::make_unique<Verbatim>(); }
};

class LogOutput final : public Output {
public:
    explicit LogOutput(std::shared_ptr<spdlog::sinks::sink> sink) : m_sink(std::move(sink))
    {
        m_sink->set_formatter(std::make_unique<Verbatim>());
    }

    Outcome Write(const char* data, std::size_t size, std::chrono::system_clock::time_point) override
    {
        try {
            m_sink->log(spdlog::details::log_msg(spdlog::string_view_t(), spdlog::level::debug,
                                                 spdlog::string_view_t(data, size)));
            m_sink->flush();
            return {};
        } catch (const std::exception&) {
            return Written(EIO, {});
        }
    }
    bool EndsLines() const override { return false; }

private:
    std::shared_ptr<spdlog::sinks::sink> m_sink;
};

}  // namespace

std::unique_ptr<Output> OpenOutput(const SinkConfig& sink)
{
    switch (sink.kind) {
    case SinkKind::Stderr:
        return std::make_unique<StreamOutput>(stderr);
    case SinkKind::Stdout:
        return std::make_unique<StreamOutput>(stdout);
    case SinkKind::File:
        return std::make_unique<FileOutput>(sink.path);
    case SinkKind::Rotate:
        return std::make_unique<RotatingOutput>(sink.path, sink.maxBytes, sink.maxFiles);
    case SinkKind::Syslog:
    case SinkKind::Debugger:
        if (auto log = system::LogSink(sink.kind)) {
            return std::make_unique<LogOutput>(std::move(log));
        }
        throw std::runtime_error("not on this system");
    case SinkKind::Null:
        break;
    }
    return nullptr;
}

}  // namespace JuZadTrc
