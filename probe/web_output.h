// The live page beside the other outputs: its model, fed after every pass through one
// function that turns the probe's devices and readings into the page's own rows, and the
// server that shows it.
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "monitor/sensor_names.h"
#include "probe/options.h"
#include "probe/pass_readings.h"
#include "session/sensor_list.h"
#include "web/web_model.h"
#include "web/web_server.h"

namespace kv::probe {

// The page's model of one pass.
web::PassInput WebPassInput(const SensorList& devices, const Pass& pass, const SensorNames& names);

class WebOutput {
  public:
    explicit WebOutput(const Options& options);
    ~WebOutput();

    // Starts serving (and reading the history back); false with a reason.
    bool start(const std::string& token, std::string& error);
    void pass(const SensorList& devices, const Pass& pass, const SensorNames& names);
    void portLost();
    void stop();

  private:
    const Options& options_;
    web::WebModel model_;
    web::WebServer server_;
    std::thread loader_;
    bool passed_ = false;
};

}  // namespace kv::probe
