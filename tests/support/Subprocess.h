// Test support: programs run as a user runs them, and the files they leave.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;    // line ends as "\n" on every system
    std::string err;
};

// Runs a program built with the tests (argv[0], a path or a file name beside the test
// program) with the test's environment, less every JUZAD_ variable, plus env ("NAME=value"
// each). Where the tests run under an emulator, the program runs under it too.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);

// The text with N for each number that directly follows one of the words: for numbers that
// no test can know, such as process ids. (GoogleTest's regular expressions differ between
// systems.)
std::string MaskNumbers(const std::string& text, const std::vector<std::string>& words = {"pid ", "tid "});

// Whether entry ("NAME=value") names a variable that env sets.
bool Overridden(const char* entry, const std::vector<std::string>& env);

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
