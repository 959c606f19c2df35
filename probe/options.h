// The probe's command line: what to read, how often, and where the readings go.
#pragma once
#include <cstdint>
#include <string>

namespace kv::probe {

enum class Format {
    Lines,  // one line per device, as the probe has always printed
    Tsv,
    Csv,
    Json,
};

inline constexpr int DefaultMqttPort = 1883;
inline constexpr char DefaultTopicPrefix[] = "kalorivox";

struct Options {
    std::string port;
    bool invert = false;
    int everySeconds = 0;  // 0: one pass
    int64_t count = 0;     // 0: no limit (one pass without --every)
    Format format = Format::Lines;
    int resolution = 0;  // 0: leave the thermometers as they are
    bool saveResolution = false;
    std::string mqttHost;  // empty: no MQTT
    int mqttPort = DefaultMqttPort;
    std::string mqttUser;
    std::string mqttPasswordFile;
    std::string topicPrefix = DefaultTopicPrefix;
    std::string node;  // empty: made from the host and the adapter
    std::string prometheusFile;
    std::string namesFile;    // empty: no names
    std::string httpAddress;  // empty: no live page
    int httpPort = 0;
    std::string httpTokenFile;  // empty: the page's API asks for no token
    std::string historyFile;    // CSV records read back at start for the page's chart
    bool limitsOn = false;      // the page marks readings outside thermoMin..thermoMax
    int thermoMin = 0, thermoMax = 0;
    bool quiet = false;    // standard output only when a device's state changes
    bool inspect = false;  // look at each thermometer closely instead of measuring
    bool help = false;

    bool repeats() const { return everySeconds > 0; }
};

extern const char Usage[];

// false with a message (without the program's name) when the command line is not usable.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

}  // namespace kv::probe
