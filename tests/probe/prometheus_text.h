// A strict reader of the Prometheus text exposition format, as far as the probe uses it:
// HELP and TYPE lines, samples with labels and a value, every line ended by a newline.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace kv::test {

struct PromSample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0.0;
};

struct PromFile {
    std::map<std::string, std::string> types;  // metric name -> gauge, counter, ...
    std::vector<PromSample> samples;
    // The value of the one sample with this name and these labels; NaN when there is none.
    double value(const std::string& name,
                 const std::map<std::string, std::string>& labels = {}) const;
};

// false with the first offending line's number and reason.
bool ParsePrometheusText(const std::string& text, PromFile& file, std::string& error);

}  // namespace kv::test
