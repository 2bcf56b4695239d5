// kelport: each family of the library's calls on this host, with its trace.
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Capture.h"
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

    // Numbers are read by the program itself, so that an empty or too large one is named as
    // such rather than taken for 0.
    std::function<int()> run;
    const auto command = [&app, &run](const char* name, const char* description,
                                      std::function<int()> action) {
        CLI::App* sub = app.add_subcommand(name, description);
        sub->callback([&run, action] { run = action; });
        sub->allow_extras();
        return sub;
    };

    command("hostname", "The host name, through KelSysInfo", [] { return tool::HostName(); });

    std::string query;
    command("sysinfo", "KelSysInfo with query N (13 is the host name; 1 to 12 are not served)",
            [&] { return tool::SysInfo(tool::ArgumentNumber<int>("N", query)); })
        ->add_option("N", query, "The query number")
        ->type_name("INT")
        ->required();

    command("pid", "The process id, through KelGetPid", [] { return tool::Pid(); });
    command("fork", "KelFork: the child exits at once and the parent reports its status (not on Windows)",
            [] { return tool::Fork(); });

    std::string threads;
    command("maxthreads", "KelMaxThreads for a request of N threads",
            [&] { return tool::MaxThreads(tool::ArgumentNumber<int>("N", threads)); })
        ->add_option("N", threads, "Threads asked for")
        ->type_name("INT")
        ->required();

    std::string library;
    std::vector<std::string> symbols;
    CLI::App* dl = command("dl", "KelDLOpen the library, then KelDLSym each symbol",
                           [&] { return tool::DynamicLoad(library, symbols); });
    dl->add_option("LIBRARY", library, "File name or path of a shared library")->required();
    dl->add_option("SYMBOL", symbols, "Names to look up");

    std::vector<std::string> texts;
    command("atoll", "KelAtoll of each text", [&] { return tool::Atoll(texts); })
        ->add_option("TEXT", texts, "Decimal texts")
        ->required();

    std::string name;
    command("proto", "KelGetProtoByName_r", [&] { return tool::Proto(name); })
        ->add_option("NAME", name, "Protocol name, such as tcp")
        ->required();
    command("host", "KelGetHostByName_r", [&] { return tool::Host(name); })
        ->add_option("NAME", name, "Host name")
        ->required();
    command("addr", "KelGetHostByAddr_r", [&] { return tool::Addr(name); })
        ->add_option("A.B.C.D", name, "IPv4 address")
        ->required();

    std::vector<std::string> seconds;
    command("ctime", "KelCTime_r of SECONDS since the epoch (now when not given)",
            [&] {
                return seconds.empty() ? tool::CTime(std::nullopt)
                                       : tool::CTime(tool::ArgumentNumber<long>("SECONDS", seconds[0]));
            })
        ->add_option("SECONDS", seconds, "Calendar time")
        ->type_name("INT")
        ->expected(0, 1);
    command("asctime", "KelAscTime_r of the local time now", [] { return tool::AscTime(); });

    std::string request = "KEL_SOCKET_N_READ";
    std::string queued = "10";
    const auto bytes = [&queued] { return tool::ArgumentNumber<int>("--bytes", queued, 0); };
    CLI::App* ioctl = command("ioctl", "KelIoctl on two connected sockets with bytes queued",
                              [&] { return tool::Ioctl(request, bytes()); });
    ioctl->add_option("REQUEST", request, "A KelIoctlEnum name or number")->capture_default_str();
    ioctl->add_option("--bytes", queued, "Bytes queued on the socket")
        ->type_name("INT")
        ->capture_default_str();
    command("pktlen", "KelGetSocketPacketLength on two connected sockets with bytes queued",
            [&] { return tool::PacketLength(bytes()); })
        ->add_option("--bytes", queued, "Bytes queued on the socket")
        ->type_name("INT")
        ->capture_default_str();

    std::string value;
    bool hostOrder = false;
    CLI::App* ipstr = command("ipstr", "KelGetIPStr of dotted text or a 32-bit number",
                              [&] { return tool::IpStr(value, hostOrder); });
    ipstr->add_option("VALUE", value, "A.B.C.D, or a number (decimal or 0x hex), network order")->required();
    ipstr->add_flag("--host-order", hostOrder,
                    "The number is in host byte order (KelGetIPStrH); numbers only");
    command("aton", "KelInetAtoN of a dotted text", [&] { return tool::Aton(value); })
        ->add_option("TEXT", value, "Address text")
        ->required();

    std::vector<std::string> frames;
    std::string pcap;
    CLI::App* ether = command("ether", "CKelEtherHeader over frames given in hex or read from a pcap file",
                              [&] { return tool::Ether(frames, pcap); });
    ether->add_option("HEX", frames, "A frame's bytes in hex (':' or '-' may separate them)");
    ether->add_option("--pcap", pcap,
                      tool::kHasCaptureReader
                          ? "A capture file of Ethernet frames"
                          : "A capture file of Ethernet frames (not in this build: it has no libpcap)");

    std::vector<std::string> codes;
    command("errors", "List the error catalogue, or look up CODEs", [&] {
        return tool::Errors(codes);
    })->add_option("CODE", codes, "Catalogue codes, -220566 to -220403");

    std::string code;
    std::string line = "0";
    std::optional<std::string> message;
    CLI::App* raise =
        command("raise",
                "Report CODE through CKelError as a caller would. Fatal codes, and codes that are not in the "
                "catalogue, abort this program, and exit codes end it with status 1, as they end any caller",
                [&] {
                    return tool::Raise(tool::ArgumentNumber<int>("CODE", code),
                                       tool::ArgumentNumber<int>("--line", line), message);
                });
    raise->add_option("CODE", code, "Catalogue code")->type_name("INT")->required();
    raise->add_option("--line", line, "Source line of the report (0: none)")->type_name("INT");
    raise->add_option("--msg", message, "Extra text of the report");

    command("tour", "Every family once on this host, at debug level 4", [] { return tool::Tour(); });

    std::vector<std::string> topic;
    command("help", "What kelport does, or what one SUBCOMMAND does",
            [&] {
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
            })
        ->add_option("SUBCOMMAND", topic)
        ->expected(0, 1);

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
    }
}
