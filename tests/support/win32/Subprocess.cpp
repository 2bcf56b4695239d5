#include "support/Subprocess.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

// Windows reads a command line as one text: each argument quoted, with its quotes and the
// backslashes before them escaped.
std::string Quoted(const std::string& arg)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// The program's directory, where the programs built with the tests are.
std::string ProgramPath(const std::string& name)
{
    if (name.find_first_of("/\\") != std::string::npos) {
        return name;
    }
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.find_last_of("/\\") + 1) + name;
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string WithLineFeeds(std::string text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    TempDir dir;
    const std::string outPath = dir.File("out");
    const std::string errPath = dir.File("err");

    std::string block;
    char* inherited = ::GetEnvironmentStringsA();
    for (const char* entry = inherited; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strncmp(entry, "JUZAD_", 6) != 0 && !Overridden(entry, env)) {
            block.append(entry).push_back('\0');
        }
    }
    ::FreeEnvironmentStringsA(inherited);
    for (const auto& entry : env) {
        block.append(entry).push_back('\0');
    }
    block.push_back('\0');

    const std::string program = ProgramPath(argv[0]);
    std::string commandLine = Quoted(program);
    for (std::size_t i = 1; i < argv.size(); ++i) {
        commandLine += " " + Quoted(argv[i]);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                          block.data(), nullptr, &startup, &process);
    ::CloseHandle(startup.hStdInput);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    if (!started) {
        throw std::runtime_error("cannot start " + program + ": error " + std::to_string(::GetLastError()));
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);

    ProcessResult result;
    // abort ends a process with 3, a status none of the programs gives otherwise.
    result.exitCode = code == 3 ? -1 : static_cast<int>(code);
    result.out = WithLineFeeds(ReadFile(outPath));
    result.err = WithLineFeeds(ReadFile(errPath));
    return result;
}
