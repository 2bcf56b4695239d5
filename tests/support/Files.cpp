#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/Subprocess.h"

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string MaskNumbers(const std::string& text, const std::vector<std::string>& words)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto followsWord = [&words](const std::string& shown) {
        for (const auto& word : words) {
            if (shown.size() >= word.size() && shown.compare(shown.size() - word.size(), word.size(), word) == 0) {
                return true;
            }
        }
        return false;
    };
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        if (isDigit(text[i]) && followsWord(shown)) {
            while (i < text.size() && isDigit(text[i])) {
                ++i;
            }
            shown += 'N';
        } else {
            shown += text[i++];
        }
    }
    return shown;
}

bool Overridden(const char* entry, const std::vector<std::string>& env)
{
    const std::string name(entry, std::strcspn(entry, "="));
    for (const auto& setting : env) {
        if (setting.compare(0, name.size() + 1, name + "=") == 0) {
            return true;
        }
    }
    return false;
}

TempDir::TempDir()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path = base / ("kelport-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path)) {
            m_path = path.generic_string();
            return;
        }
    }
    throw std::runtime_error("no temporary directory could be made");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
