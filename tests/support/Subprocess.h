// Test support: runs a program with extra environment variables and collects what it wrote.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] with the test's environment, less every JUZAD_ variable, plus env
// ("NAME=value" each).
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);

// A fresh directory under the system's temporary folder, removed with its files at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
