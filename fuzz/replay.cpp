// A fuzz target's oracle as an ordinary test: every file of its seed corpus, then edits of
// them drawn from a fixed seed, so that each build and run tries the same inputs. Given a
// DIGEST file, it writes there one line for each input: the input, a tab, and what the library
// answered, so that the targets' digests can be compared (the same bytes, LF line ends, on every
// target).
//   fuzz_replay_NAME CORPUS_FOLDER [DIGEST]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Fail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr int kEdited = 20000;
std::string g_input;  // what the oracle is looking at, for Fail to show
std::string g_answer;
std::ofstream g_digest;

// Bytes outside printable ASCII, and the backslash, as \xNN: one line of plain text each.
std::string Escaped(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        char escaped[5] = {c};
        if (c < ' ' || c > '~' || c == '\\') {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
        }
        text += escaped;
    }
    return text;
}

void WriteDigest()
{
    if (g_digest.is_open()) {
        g_digest << Escaped(g_input) << '\t' << Escaped(g_answer) << '\n';
    }
}

void Try(std::string input)
{
    g_input = std::move(input);
    // A block of exactly the input's size, as libFuzzer gives, so that sanitizers see overreads;
    // never a null pointer, not even for an empty input, as a vector's would be.
    const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[g_input.size()]);
    std::copy(g_input.begin(), g_input.end(), data.get());
    g_answer.clear();
    LLVMFuzzerTestOneInput(data.get(), g_input.size());
    WriteDigest();
}

// One edit of the kinds that reach the oracles' edges: long digit runs, numbers near and past
// a byte's range in the three bases, separators, flipped bits, and cuts. Each draw is a
// statement of its own, since the order in which a call's arguments are worked out is the
// compiler's, and every target must make the same edits.
void Edit(std::string& text, std::mt19937& random)
{
    const std::size_t at = random() % (text.size() + 1);
    const char* const forms[] = {"%u", "0%o", "0x%x"};
    char number[16];
    switch (random() % 5) {
    case 0: {
        const std::size_t length = 1 + random() % 48;
        text.insert(at, std::string(length, static_cast<char>('0' + random() % 10)));
        break;
    }
    case 1: {
        const char* const form = forms[random() % 3];
        std::snprintf(number, sizeof number, form, static_cast<unsigned>(random() % 300));
        text.insert(at, number + std::string(random() % 2, '.'));
        break;
    }
    case 2:
        text.insert(at, 1, " \t\n.-+,=:/"[random() % 10]);
        break;
    case 3:
        if (!text.empty()) {
            text[at % text.size()] ^= static_cast<char>(1 << random() % 8);
        }
        break;
    default:
        text.resize(at);
    }
}

}  // namespace

void Answer(const std::string& words)
{
    g_answer += (g_answer.empty() ? "" : " ") + words;
}

void Fail(const char* what)
{
    WriteDigest();  // what the library answered for it, for the targets' comparison
    std::fprintf(stderr, "%s; the input (%zu bytes, hex): ", what, g_input.size());
    for (const char c : g_input) {
        std::fprintf(stderr, "%02x", static_cast<unsigned char>(c));
    }
    std::fprintf(stderr, "\n");
    std::exit(1);
}

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER [DIGEST]\n", argv[0]);
        return 2;
    }
    if (argc == 3) {
        g_digest.open(argv[2], std::ios::binary | std::ios::trunc);
        if (!g_digest) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
            return 1;
        }
    }
    std::vector<std::string> corpus;
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(argv[1]), {});
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        Try(corpus.back());
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "%s: no inputs in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::mt19937 random(20261207);
    for (int n = 0; n < kEdited; ++n) {
        std::string text = corpus[random() % corpus.size()];
        for (unsigned edits = 1 + random() % 4; edits > 0; --edits) {
            Edit(text, random);
        }
        Try(text);
    }
    std::printf("%zu corpus inputs and %d edited ones agree with the oracle\n", corpus.size(), kEdited);
    return 0;
}
