#include "probe/options.h"

#include <string_view>
#include <utility>

#include "onewire/ds18x20.h"
#include "probe/mqtt_topics.h"
#include "runtime/integer_text.h"
#include "web/web_server.h"

namespace kv::probe {

const char Usage[] =
    "usage: kalorivox-probe [options] PORT\n"
    "Lists the 1-Wire devices on PORT and reads every DS18B20/DS18S20, once or at an\n"
    "interval, printing the readings and handing them to MQTT or a Prometheus file.\n"
    "PORT is a device name under /dev (ttyUSB0), an absolute path (a pseudo-terminal)\n"
    "or DEMO (a simulated bus).\n"
    "\n"
    "  --invert                  the adapter is powered with DTR and RTS low instead of high\n"
    "  --every SECONDS           one pass every SECONDS (all sensors convert at once); a port\n"
    "                            that is gone or missing is tried again every second, the\n"
    "                            bus is searched again now and then for sensors added\n"
    "  --count N                 stop after N passes; with --every and without --count the\n"
    "                            probe runs until interrupted (Ctrl-C or SIGTERM)\n"
    "  --format tsv|csv|json     one record per reading with its UTC time (ISO 8601):\n"
    "                            tab-separated, comma-separated with a header line, or one\n"
    "                            JSON object per line\n"
    "  --quiet                   a device's line or record only when it is first listed or\n"
    "                            its state changes, not at every pass (for a service: the\n"
    "                            journal then holds the changes and the messages)\n"
    "  --names FILE              names for the sensors: UTF-8 lines 'ROM = name' (the ROM\n"
    "                            code as printed, 28-0417A3C41EFF-50, or as 16 hex digits\n"
    "                            in bus order; # for comments), read again when the file\n"
    "                            changes\n"
    "  --resolution 9..12        set every DS18B20 to this many bits (the scratchpad only;\n"
    "                            the parts return to their stored setting at power-on)\n"
    "  --save-resolution         also store the resolution in the parts' EEPROM\n"
    "  --mqtt HOST[:PORT]        publish to this MQTT broker (port 1883 by default)\n"
    "  --mqtt-user NAME          user name at the broker\n"
    "  --mqtt-password-file FILE the password is the first line of FILE\n"
    "  --topic PREFIX            topic prefix (default kalorivox)\n"
    "  --node NAME               this logger among others on the broker (default: the host\n"
    "                            and the adapter's stable identity); its status topic is\n"
    "                            PREFIX/NAME/status\n"
    "  --prometheus FILE         rewrite FILE after each pass for node_exporter's textfile\n"
    "                            collector\n"
    "  --http ADDRESS:PORT       serve a live page (table and chart of the last day) and its\n"
    "                            JSON API; PORT alone listens on 127.0.0.1, another address is\n"
    "                            reachable from other machines (needs --every)\n"
    "  --http-token-file FILE    the API asks for the first line of FILE as a token\n"
    "  --limits MIN:MAX          the page marks readings outside MIN..MAX whole degrees (as\n"
    "                            the window's Термо контроль) and draws them as a band\n"
    "  --history FILE            CSV records written earlier (--format csv), whose last day\n"
    "                            the page's chart starts with\n"
    "  --inspect                 instead of measuring, check each DS18B20/DS18S20 closely and\n"
    "                            tell whether it is genuine, a clone or not yet to be told\n"
    "                            (and what would tell it), with the evidence (its TH, TL and\n"
    "                            configuration are put back, its EEPROM is never written);\n"
    "                            with --format json one object per sensor; goes with --invert\n"
    "                            only\n"
    "  --help                    this text\n"
    "\n"
    "Without --format, one line per device, in the order of the search, fields separated\n"
    "by tabs:\n"
    "  ROM code (28-0417A3C41EFF-50: family, serial number, CRC)  family (DS18B20,\n"
    "  DS18S20, unknown)\n"
    "  power (external, parasite, error)  temperature in degrees Celsius or -\n"
    "  state (ok; crc for a scratchpad CRC mismatch; rom-crc for a ROM code whose CRC\n"
    "  fails; power-on for the 85 degrees a part holds before its first conversion; range\n"
    "  for a value outside -55..127; or the failure's name)\n"
    "With --format, one record per thermometer: time, ROM code, family, power,\n"
    "resolution (DS18B20), temperature (only when the state is ok), state, and with\n"
    "--names the sensor's name.\n"
    "\n"
    "MQTT (<ROM>: the 16 hex digits in bus order, 28FF1EC4A3170450 for 28-0417A3C41EFF-50):\n"
    "readings in state ok go retained to PREFIX/<ROM>/temperature as plain degrees\n"
    "Celsius. PREFIX/NODE/status is online while the probe reads its port, port-lost while the\n"
    "port is gone, offline once the probe has ended. PREFIX/<ROM>/availability is online\n"
    "while the sensor gives sound readings and offline after two passes without one (its\n"
    "retained temperature is then withdrawn). Each thermometer is announced for Home\n"
    "Assistant on homeassistant/sensor/kalorivox_<ROM>/config with its first sound reading.\n"
    "PREFIX/output is write-failed while the records or the Prometheus file cannot be\n"
    "written (records wait meanwhile), ok otherwise.\n"
    "\n"
    "Exit status 0 when the last pass searched and read the bus or a stop signal ended the\n"
    "run, 1 when the port or the bus failed, a record was lost or the Prometheus file could\n"
    "not be written at the end, or the options or files were wrong.\n";

namespace {

// HOST, HOST:PORT, or [IPv6]:PORT.
bool ParseBroker(std::string_view text, Options& options) {
    std::string_view host = text, port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
    } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        if (text.find(':') != colon) return false;  // a bare IPv6 address needs brackets
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) return false;
    }
    if (host.empty()) return false;
    std::optional<int64_t> number = DefaultMqttPort;
    if (!port.empty()) number = ParseWholeInteger(port, 1, 65535);
    if (!number) return false;
    options.mqttHost = host;
    options.mqttPort = static_cast<int>(*number);
    return true;
}

// MQTT wildcards and empty levels at the ends have no place in a topic one publishes to.
bool TopicPrefixUsable(std::string_view prefix) {
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/') return false;
    return prefix.find_first_of("+#") == std::string_view::npos &&
           prefix.find('\0') == std::string_view::npos;
}

constexpr int64_t MaxEverySeconds = 24 * 60 * 60;
// The window's limits spin between these.
constexpr int64_t MinLimit = -55, MaxLimit = 125;

// One entry per option: its name, whether it takes the next word as its value, and what it
// does with that value (false when the value is not usable).
struct OptionEntry {
    std::string_view name;
    bool takesValue;
    bool (*apply)(Options& options, std::string_view value);
};

bool SetEvery(Options& o, std::string_view text) {
    const auto number = ParseWholeInteger(text, 1, MaxEverySeconds);
    if (number) o.everySeconds = static_cast<int>(*number);
    return number.has_value();
}

bool SetCount(Options& o, std::string_view text) {
    const auto number = ParseWholeInteger(text, 1, INT64_MAX);
    if (number) o.count = *number;
    return number.has_value();
}

bool SetFormat(Options& o, std::string_view text) {
    constexpr std::pair<std::string_view, Format> Formats[] = {
        {"tsv", Format::Tsv}, {"csv", Format::Csv}, {"json", Format::Json}};
    for (const auto& [name, format] : Formats) {
        if (text != name) continue;
        o.format = format;
        return true;
    }
    return false;
}

bool SetResolution(Options& o, std::string_view text) {
    const auto number = ParseWholeInteger(text, MinResolutionBits, MaxResolutionBits);
    if (number) o.resolution = static_cast<int>(*number);
    return number.has_value();
}

// A file name: anything but empty.
bool SetPath(std::string& path, std::string_view text) {
    path = text;
    return !text.empty();
}

// MIN:MAX, whole degrees as the window's limits take them, MIN below MAX.
bool SetLimits(Options& o, std::string_view text) {
    const size_t colon = text.find(':', 1);
    if (colon == std::string_view::npos) return false;
    const auto low = ParseWholeInteger(text.substr(0, colon), MinLimit, MaxLimit);
    const auto high = ParseWholeInteger(text.substr(colon + 1), MinLimit, MaxLimit);
    if (!low || !high || *low >= *high) return false;
    o.limitsOn = true;
    o.thermoMin = static_cast<int>(*low);
    o.thermoMax = static_cast<int>(*high);
    return true;
}

bool SetHttp(Options& o, std::string_view text) {
    web::ServerSettings settings;
    if (!web::ParseListenAddress(text, settings)) return false;
    o.httpAddress = settings.address;
    o.httpPort = settings.port;
    return true;
}

const OptionEntry OptionTable[] = {
    {"--help", false, [](Options& o, std::string_view) { return o.help = true; }},
    {"-h", false, [](Options& o, std::string_view) { return o.help = true; }},
    {"--invert", false, [](Options& o, std::string_view) { return o.invert = true; }},
    {"--save-resolution", false,
     [](Options& o, std::string_view) { return o.saveResolution = true; }},
    {"--inspect", false, [](Options& o, std::string_view) { return o.inspect = true; }},
    {"--quiet", false, [](Options& o, std::string_view) { return o.quiet = true; }},
    {"--every", true, SetEvery},
    {"--count", true, SetCount},
    {"--format", true, SetFormat},
    {"--resolution", true, SetResolution},
    {"--mqtt", true, [](Options& o, std::string_view text) { return ParseBroker(text, o); }},
    {"--mqtt-user", true,
     [](Options& o, std::string_view text) {
         o.mqttUser = text;
         return true;
     }},
    {"--mqtt-password-file", true,
     [](Options& o, std::string_view text) { return SetPath(o.mqttPasswordFile, text); }},
    {"--topic", true,
     [](Options& o, std::string_view text) {
         o.topicPrefix = text;
         return TopicPrefixUsable(text);
     }},
    {"--node", true,
     [](Options& o, std::string_view text) {
         o.node = text;
         return NodeUsable(o.node);
     }},
    {"--prometheus", true,
     [](Options& o, std::string_view text) { return SetPath(o.prometheusFile, text); }},
    {"--names", true, [](Options& o, std::string_view text) { return SetPath(o.namesFile, text); }},
    {"--http", true, SetHttp},
    {"--http-token-file", true,
     [](Options& o, std::string_view text) { return SetPath(o.httpTokenFile, text); }},
    {"--history", true,
     [](Options& o, std::string_view text) { return SetPath(o.historyFile, text); }},
    {"--limits", true, SetLimits},
};

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool countGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const OptionEntry* entry = nullptr;
        for (const OptionEntry& e : OptionTable)
            if (e.name == arg) entry = &e;
        if (entry) {
            std::string_view value;
            if (entry->takesValue) {
                if (i + 1 >= argc) {
                    error = "option " + std::string(arg) + " needs a value (try --help)";
                    return false;
                }
                value = argv[++i];
            }
            if (!entry->apply(options, value)) {
                error = "bad value '" + std::string(value) + "' for " + std::string(arg) +
                        " (try --help)";
                return false;
            }
            if (options.help) return true;
            countGiven = countGiven || arg == "--count";
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + std::string(arg) + "' (try --help)";
            return false;
        } else if (options.port.empty()) {
            options.port = arg;
        } else {
            error = "only one port, please (try --help)";
            return false;
        }
    }
    if (options.port.empty()) {
        error = "no port given (try --help)";
        return false;
    }
    const bool measuring = options.repeats() || countGiven || options.resolution ||
                           !options.mqttHost.empty() || !options.prometheusFile.empty() ||
                           !options.namesFile.empty() || !options.httpAddress.empty() ||
                           options.quiet;
    if (options.inspect &&
        (measuring || options.format == Format::Tsv || options.format == Format::Csv)) {
        error = "--inspect goes only with --format json and --invert (try --help)";
        return false;
    }
    if (options.saveResolution && options.resolution == 0) {
        error = "--save-resolution needs --resolution (try --help)";
        return false;
    }
    const bool mqttDetails =
        !options.mqttUser.empty() || !options.mqttPasswordFile.empty() || !options.node.empty();
    if (mqttDetails && options.mqttHost.empty()) {
        error = "--mqtt-user, --mqtt-password-file and --node need --mqtt (try --help)";
        return false;
    }
    if (!options.mqttPasswordFile.empty() && options.mqttUser.empty()) {
        error = "--mqtt-password-file needs --mqtt-user (try --help)";
        return false;
    }
    const bool pageDetails =
        !options.httpTokenFile.empty() || !options.historyFile.empty() || options.limitsOn;
    if (pageDetails && options.httpAddress.empty()) {
        error = "--http-token-file, --history and --limits need --http (try --help)";
        return false;
    }
    if (!options.httpAddress.empty() && !options.repeats()) {
        error = "--http needs --every (try --help)";
        return false;
    }
    // Without --every a count means passes back to back; without either, one pass.
    if (!countGiven && !options.repeats()) options.count = 1;
    return true;
}

}  // namespace kv::probe
