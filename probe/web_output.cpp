#include "probe/web_output.h"

#include <chrono>

#include "probe/messages.h"
#include "runtime/date_text.h"
#include "runtime/utf.h"
#include "web/csv_history.h"
#include "web/web_json.h"

namespace kv::probe {
namespace {

int64_t MsOf(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

web::PowerMode PowerOf(SensorRecord::Supply power) {
    switch (power) {
        case SensorRecord::Supply::External:
            return web::PowerMode::External;
        case SensorRecord::Supply::Parasite:
            return web::PowerMode::Parasite;
        case SensorRecord::Supply::NotAsked:
            break;
    }
    return web::PowerMode::Unknown;
}

web::Limits LimitsOf(const Options& options) {
    return web::Limits{options.limitsOn, options.thermoMin, options.thermoMax};
}

}  // namespace

web::PassInput WebPassInput(const SensorList& devices, const Pass& pass, const SensorNames& names) {
    web::PassInput input;
    input.instantMs =
        MsOf(pass.readings.empty() ? std::chrono::system_clock::now() : pass.readings.front().time);
    input.localDate = CurrentDate();
    input.sound = pass.sound;
    for (const SensorRecord& d : devices.records()) {
        web::PassDevice device{d.Rom, PowerOf(d.Power), names.nameOf(d.Rom)};
        for (const Reading& r : pass.readings) {
            if (r.rom != d.Rom) continue;
            device.measured = true;
            device.verdict = r.verdict;
            device.result = r.result;
            device.celsius = r.celsius;
            device.answered = r.answered;
        }
        input.devices.push_back(std::move(device));
    }
    return input;
}

WebOutput::WebOutput(const Options& options)
    : options_(options),
      model_(Utf16FromPathBytes(options.port), options.everySeconds, LimitsOf(options),
             MsOf(std::chrono::system_clock::now())),
      server_(model_) {}

WebOutput::~WebOutput() {
    stop();
}

bool WebOutput::start(const std::string& token, std::string& error) {
    web::ServerSettings settings{options_.httpAddress, options_.httpPort, token};
    if (!server_.start(settings, error)) return false;
    model_.setNotify([this] { server_.wake(); });
    const std::string where =
        (options_.httpAddress.find(':') != std::string::npos ? "[" + options_.httpAddress + "]"
                                                             : options_.httpAddress) +
        ":" + std::to_string(options_.httpPort);
    Message("the live page is at http://" + where + "/");
    if (!web::IsLoopbackAddress(options_.httpAddress))
        Message("the page listens on " + where + ", which other machines can reach: " +
                (token.empty() ? "anyone who reaches it sees the readings (--http-token-file "
                                 "asks for a token)"
                               : "its API asks for the token"));
    if (!options_.historyFile.empty()) {
        // Read beside the passes, which must not wait for a large file.
        loader_ = std::thread([this] {
            const int64_t now = MsOf(std::chrono::system_clock::now());
            const web::CsvLoad load =
                web::LoadCsvHistory(options_.historyFile, now - web::PageSpanMs, now);
            if (!load.opened)
                Message("cannot read " + options_.historyFile + "; the chart starts empty");
            model_.loadHistory(load.readings);
        });
    }
    return true;
}

void WebOutput::pass(const SensorList& devices, const Pass& pass, const SensorNames& names) {
    passed_ = true;
    model_.takePass(WebPassInput(devices, pass, names));
}

void WebOutput::portLost() {
    model_.portLost(!passed_);
}

void WebOutput::stop() {
    if (loader_.joinable()) loader_.join();
    model_.setNotify(nullptr);
    server_.stop();
}

}  // namespace kv::probe
