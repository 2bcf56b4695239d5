// The outputs: the standard streams, a file, rotating files and the system's logs.
#include "JuZadOutput.h"

#include <cerrno>
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

// file: and rotate: make the folders that the path names.
int Open(const std::string& path)
{
    MakeFolders(path);
    const int fd = system::OpenFile(path, false);
    if (fd < 0) {
        throw CannotOpen(errno);
    }
    return fd;
}

class StreamOutput final : public Output {
public:
    explicit StreamOutput(std::FILE* stream)
        : m_stream(stream), m_mayRaiseSignal(system::InfoOf(stream).mayRaiseSignal)
    {
    }

    // After what the program left in the stream, so that records keep their place among its lines.
    int Write(const char* data, std::size_t size) override
    {
        return system::Write(m_stream, data, size, m_mayRaiseSignal);
    }

private:
    std::FILE* m_stream;
    bool m_mayRaiseSignal;
};

class FileOutput final : public Output {
public:
    explicit FileOutput(const std::string& path)
        : m_fd(Open(path)), m_mayRaiseSignal(system::InfoOf(m_fd).mayRaiseSignal)
    {
    }
    ~FileOutput() override { system::CloseFile(m_fd); }

    // One write per record, straight to the file: nothing waits in a buffer to be lost.
    int Write(const char* data, std::size_t size) override
    {
        return system::Write(m_fd, data, size, m_mayRaiseSignal);
    }

private:
    int m_fd;
    bool m_mayRaiseSignal;
};

// PATH, then PATH.1 ... PATH.FILES (the number before the extension: trace.1.log), at most
// BYTES each. Rotation renames only files that the sink could have made itself (regular
// files of this user's, with one name), and creates the new file afresh.
class RotatingOutput final : public Output {
public:
    RotatingOutput(std::string path, std::uint64_t maxBytes, std::uint64_t maxFiles)
        : m_path(std::move(path)), m_maxBytes(maxBytes), m_maxFiles(maxFiles),
          m_extensionAt(ExtensionAt(m_path)), m_fd(Open(m_path))
    {
        const system::FileInfo info = system::InfoOf(m_fd);
        if (!info.renamable) {
            system::CloseFile(m_fd);
            throw std::runtime_error(
                "not a regular file of this user's with one name, which rotation could rename");
        }
        m_size = info.size;
        m_mayRaiseSignal = info.mayRaiseSignal;
    }
    ~RotatingOutput() override
    {
        if (m_fd >= 0) {
            system::CloseFile(m_fd);
        }
    }

    int Write(const char* data, std::size_t size) override
    {
        if (m_fd >= 0 && m_size > 0 && m_size + size > m_maxBytes) {
            system::CloseFile(m_fd);
            m_fd = -1;
            if (const int error = Rotate()) {
                return error;
            }
        }
        if (m_fd < 0) {
            m_fd = system::OpenFile(m_path, true);
            if (m_fd < 0) {
                return errno;
            }
            m_size = 0;
        }
        const int error = system::Write(m_fd, data, size, m_mayRaiseSignal);
        if (error == 0) {
            m_size += size;
        }
        return error;
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
        if (index == 0) {
            return m_path;
        }
        return m_path.substr(0, m_extensionAt) + "." + std::to_string(index) + m_path.substr(m_extensionAt);
    }

    // The oldest goes, each other moves one place on, and PATH is free for a new file.
    int Rotate()
    {
        for (std::uint64_t index = m_maxFiles; index > 0; --index) {
            const std::string from = Name(index - 1);
            const std::string to = Name(index);
            const system::FileInfo source = system::InfoAt(from);
            if (!source.exists) {
                continue;
            }
            if (!source.renamable) {
                return EPERM;
            }
            if (const int error = Clear(to)) {
                return error;
            }
            if (const int error = system::Rename(from, to)) {
                return error;
            }
        }
        return Clear(m_path);
    }

    int Clear(const std::string& path)
    {
        const system::FileInfo info = system::InfoAt(path);
        if (!info.exists) {
            return 0;
        }
        return info.renamable ? system::Remove(path) : EEXIST;
    }

    std::string m_path;
    std::uint64_t m_maxBytes;
    std::uint64_t m_maxFiles;
    std::size_t m_extensionAt;
    int m_fd;
    std::uint64_t m_size;
    bool m_mayRaiseSignal;  // the files that replace the first are alike
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

    int Write(const char* data, std::size_t size) override
    {
        try {
            m_sink->log(spdlog::details::log_msg(spdlog::string_view_t(), spdlog::level::debug,
                                                 spdlog::string_view_t(data, size)));
            m_sink->flush();
            return 0;
        } catch (const std::exception&) {
            return EIO;
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
