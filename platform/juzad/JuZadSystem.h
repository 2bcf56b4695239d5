// What the tracing library asks of the system it runs on. Each system has its implementation
// folder beside this header (posix/, win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include <spdlog/sinks/sink.h>

#include "JuZadConfig.h"

namespace JuZadTrc::system {

// The value of an environment variable of the tracing library's, or null. A program that
// runs with privileges it was given (setuid or setgid) reads none of them: ignored is then
// set when the variable was there all the same.
const char* Variable(const char* name, bool& ignored);

// Both are known without a system call after the first on a thread, and are right in a
// child after a fork.
long ProcessId();
std::uint64_t ThreadId();

// The broken-down local time of a second, and how far local time is ahead of UTC then.
struct LocalTime {
    std::tm tm;
    long utcOffset;  // seconds
};
LocalTime Local(std::time_t time);

// Whether the process is ending with its other threads already gone, as Windows ends it before
// it tells the libraries: a lock that one of them held will never be given back.
bool ProcessEnding();

// Has prepare run before a fork in the thread that forks, and parent and child after it in
// each process. Nothing where the system has no fork.
void OnFork(void (*prepare)(), void (*parent)(), void (*child)());

// The sink of a log that belongs to the system (SinkKind::Syslog, SinkKind::Debugger), or
// null when this system has no such log. It takes each record as it is, already formatted.
std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind);

// A file opened for appending, created when it is missing (exclusive: only then) with no
// write permission for group and others whatever the umask, and never through a symbolic
// link at the last component of its path. Other processes may rename or remove it while it is
// open, and their appends and ours never overwrite each other. -1 with errno set when it
// cannot be opened.
int OpenFile(const std::string& path, bool exclusive);
void CloseFile(int fd);

// A lock shared by every process that opens the file at path (created when missing, never
// through a symbolic link), held by one descriptor at a time, so that a child of a fork that
// opens its own excludes its parent. -1 with errno set when the file cannot be opened; Lock
// gives 0 or the errno of its failure, and waits while another holds it.
int OpenLock(const std::string& path);
int Lock(int fd);
void Unlock(int fd);

// How a file is written, decided as it is opened: with one write; with one send that raises no
// signal (a socket); or with the signals that a write may raise held off around it (a pipe, or a
// regular file while the process has a limit on the size of its files).
enum class Writing { Plain, Send, Guarded };

// What a path or an open file is. A file the tracing library may rename is a regular file of
// the user it runs as, with no other name.
struct FileInfo {
    bool exists = false;
    bool regular = false;
    bool renamable = false;
    Writing writing = Writing::Plain;
    std::uint64_t size = 0;
    // Which file it is: two paths or descriptors with the same are the same file.
    std::uint64_t device = 0;
    std::uint64_t index = 0;
};
inline bool SameFile(const FileInfo& a, const FileInfo& b)
{
    return a.exists && b.exists && a.device == b.device && a.index == b.index;
}
FileInfo InfoOf(int fd);
FileInfo InfoOf(std::FILE* stream);
FileInfo InfoAt(const std::string& path);  // of the entry itself, not what a link names

// Writes all of data: 0, or the errno of the failure. A reader that has gone away, or a file
// grown to the process's size limit, is a failure like any other, never a signal that ends
// the process.
int Write(int fd, const char* data, std::size_t size, Writing writing);
int Write(std::FILE* stream, const char* data, std::size_t size, Writing writing);

// 0, or the errno of the failure.
int Rename(const std::string& from, const std::string& to);
int Remove(const std::string& path);

}  // namespace JuZadTrc::system
