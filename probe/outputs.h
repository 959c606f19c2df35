// Where the probe's readings go: standard output always, an MQTT broker and a Prometheus file
// when asked, each with the sensors' names when a names file is given.
#pragma once
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/sensor_names.h"
#include "probe/mqtt_publisher.h"
#include "probe/mqtt_report.h"
#include "probe/options.h"
#include "probe/prometheus_file.h"
#include "probe/record_format.h"
#include "probe/web_output.h"

namespace kv::probe {

// A password is one line of a small file.
inline constexpr size_t MaxPasswordFileBytes = 4096;

class ProbeOutputs {
  public:
    // Records go to `records`.
    ProbeOutputs(const Options& options, std::FILE* records);

    // Reads the files the outputs need (the names, the password, the page's token); false with a
    // reason when one is not usable.
    bool prepare(std::string& error);
    // Starts the outputs, saying whether the port is there; false with a reason when the MQTT
    // client cannot be made or the page cannot be served.
    bool start(bool portThere, std::string& error);

    // One pass over the devices found.
    void pass(const SensorList& devices, Pass pass);
    // The port is gone; nothing is measured until it is back (the next pass says so).
    void portLost();
    // The run ends: the broker is told the probe is offline.
    void stop();
    // After the run: a last attempt at the records that wait. False when a record was lost
    // or the Prometheus file's last write failed.
    bool finish();

  private:
    void outputsWritten();

    const Options& options_;
    SensorNames names_;
    RecordWriter writer_;
    std::string password_;
    std::optional<MqttPublisher> mqtt_;
    std::optional<MqttReport> report_;
    std::optional<PrometheusFile> prometheus_;
    std::string httpToken_;
    std::optional<WebOutput> web_;
};

}  // namespace kv::probe
