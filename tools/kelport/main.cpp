// kelport: each family of the library's calls on this host, with its trace.
#include <functional>
#include <iostream>
#include <list>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "KelDebug.h"
#include "KelPortVersion.h"

namespace tool = kelport::tool;

namespace {

// An option as the user gave it, less any value joined to it ("--bogus=3", "-x5").
std::string OptionName(const std::string& word)
{
    if (word.compare(0, 2, "--") == 0) {
        return word.substr(0, word.find('='));
    }
    return word.substr(0, 2);
}

bool IsOption(const std::string& word)
{
    return word.size() > 1 && word[0] == '-';
}

// What CLI11 left over, in the order given: before the subcommand, an option or a subcommand
// that kelport does not have; after it, what the subcommand does not take. Each is bad usage.
// CLI11 keeps these aside because kelport allows extras everywhere: it says nothing of an
// unknown option before a subcommand, and lists the words of its own message backwards.
void RefuseLeftOver(const CLI::App& app, const CLI::App* sub)
{
    for (const std::string& word : app.remaining()) {
        if (IsOption(word)) {
            throw tool::UsageError("'" + OptionName(word) + "' is not an option (kelport --help lists them)");
        }
    }
    if (!app.remaining().empty()) {
        throw tool::UsageError("'" + app.remaining().front() +
                               "' is not a subcommand (kelport --help lists them)");
    }
    if (sub == nullptr || sub->remaining().empty()) {
        return;
    }
    const std::string name = sub->get_name();
    std::string words;
    for (const std::string& word : sub->remaining()) {
        words += (words.empty() ? "" : " ") + word;
        if (IsOption(word)) {
            throw tool::UsageError(
                "'" + OptionName(word) + "' is not an option of " + name +
                (app.get_option_no_throw(OptionName(word)) != nullptr
                     ? "; kelport's own options go before the subcommand (kelport --help tells more)"
                     : " (kelport help " + name + " lists them)"));
        }
    }
    throw tool::UsageError(name + " does not take '" + words + "' (kelport help " + name + " tells more)");
}

}  // namespace

int main(int argc, char** argv)
{
    // Each line out as it is written, so that a pipe or a log gets results and traces in the
    // order the calls made them.
    std::cout << std::unitbuf;

    CLI::App app{"kelport: runs the portability library's calls on this host and shows what they give.\n"
                 "Traces go where the tracing library is configured (JUZAD_TRACE, JUZAD_TRACE_SINK,\n"
                 "JUZAD_TRACE_FORMAT; standard error by default) once --debug raises the level.",
                 "kelport"};
    // The same syntax on every system: a path that begins with '/' is no option.
    app.allow_windows_style_options(false);
    app.require_subcommand(0, 1);
    app.footer("Exit status: 0 on success, 1 when a call failed, 2 for bad usage.");
    app.set_version_flag("--version", "kelport " KELPORT_VERSION_STRING " (" KELPORT_BUILD_TARGET ")");
    std::string debugLevel = "0";
    app.add_option("--debug", debugLevel, "Debug level: 1 sick reports, 2 dynamic loading, 4 every trace")
        ->type_name("INT");

    // Each subcommand's arguments are its own, and stay where its options point.
    std::function<int()> run;
    std::list<tool::Arguments> arguments;
    const auto add = [&app](const char* name, const char* help) {
        CLI::App* sub = app.add_subcommand(name, help);
        sub->allow_extras();
        return sub;
    };
    for (const tool::Subcommand& command : tool::Subcommands()) {
        CLI::App* sub = add(command.name, command.help);
        sub->callback([&run, action = command.define(*sub, arguments.emplace_back())] { run = action; });
    }

    std::vector<std::string> topic;
    CLI::App* help = add("help", "What kelport does, or what one SUBCOMMAND does");
    help->add_option("SUBCOMMAND", topic)->expected(0, 1);
    help->callback([&] {
        run = [&] {
            if (topic.empty()) {
                std::cout << app.get_formatter()->make_help(&app, "kelport", CLI::AppFormatMode::Normal);
                return 0;
            }
            for (const CLI::App* sub : app.get_subcommands({})) {
                if (sub->get_name() == topic[0]) {
                    std::cout << sub->help("kelport");
                    return 0;
                }
            }
            throw tool::UsageError("'" + topic[0] + "' is not a subcommand (kelport --help lists them)");
        };
    });

    app.allow_extras();

    try {
        app.parse(argc, argv);
        const std::vector<CLI::App*> parsed = app.get_subcommands();
        RefuseLeftOver(app, parsed.empty() ? nullptr : parsed.front());
        if (!run) {
            throw tool::UsageError("a subcommand is required (kelport --help lists them)");
        }
        __Kelvora_Debug_Level = tool::ArgumentNumber<int>("--debug", debugLevel, 0);
        return run();
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::cerr << "kelport: " << error.what() << " (kelport --help tells more)" << std::endl;
        return 2;
    } catch (const tool::UsageError& error) {
        std::cerr << "kelport: " << error.what() << std::endl;
        return 2;
    } catch (const std::exception& error) {
        // What the program needs for itself and could not have (sockets, memory), not a call.
        std::cerr << "kelport: " << error.what() << std::endl;
        return 1;
    }
}
