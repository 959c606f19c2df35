#include "prometheus_text.h"

#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>

namespace kv::test {
namespace {

const std::regex MetricName("[a-zA-Z_:][a-zA-Z0-9_:]*");
const std::regex HelpLine("# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) (.*)");
const std::regex TypeLine(
    "# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)");
const std::regex Label("([a-zA-Z_][a-zA-Z0-9_]*)=\"((?:[^\"\\\\\\n]|\\\\[\"\\\\n])*)\"");

bool ParseValue(const std::string& text, double& value) {
    if (text == "NaN" || text == "+Inf" || text == "-Inf") {
        value = text == "NaN" ? NAN : text[0] == '-' ? -INFINITY : INFINITY;
        return true;
    }
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos)
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

bool ParseSample(const std::string& line, PromSample& sample) {
    const size_t nameEnd = line.find_first_of("{ ");
    if (nameEnd == std::string::npos) return false;
    sample.name = line.substr(0, nameEnd);
    if (!std::regex_match(sample.name, MetricName)) return false;
    size_t at = nameEnd;
    if (line[at] == '{') {
        const size_t close = line.find("} ", at);
        if (close == std::string::npos) return false;
        const std::string body = line.substr(at + 1, close - at - 1);
        size_t p = 0;
        while (p < body.size()) {
            std::smatch m;
            const std::string rest = body.substr(p);
            if (!std::regex_search(rest, m, Label, std::regex_constants::match_continuous))
                return false;
            if (!sample.labels.emplace(m[1], m[2]).second) return false;  // a label twice
            p += static_cast<size_t>(m.length(0));
            if (p < body.size()) {
                if (body[p] != ',') return false;
                ++p;
            }
        }
        at = close + 1;
    }
    if (line[at] != ' ') return false;
    std::string value = line.substr(at + 1);
    // An optional timestamp in milliseconds may follow; the probe writes none.
    if (value.find(' ') != std::string::npos) return false;
    return ParseValue(value, sample.value);
}

}  // namespace

double PromFile::value(const std::string& name,
                       const std::map<std::string, std::string>& labels) const {
    double found = NAN;
    int count = 0;
    for (const PromSample& s : samples) {
        if (s.name == name && s.labels == labels) {
            found = s.value;
            ++count;
        }
    }
    return count == 1 ? found : NAN;
}

bool ParsePrometheusText(const std::string& text, PromFile& file, std::string& error) {
    if (!text.empty() && text.back() != '\n') {
        error = "the last line has no newline";
        return false;
    }
    std::set<std::string> helped, sampled;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + " (" + line + "): " + why;
            return false;
        };
        std::smatch m;
        if (line.empty()) return fail("empty line");
        if (line.rfind("# HELP ", 0) == 0) {
            if (!std::regex_match(line, m, HelpLine)) return fail("bad HELP");
            if (!helped.insert(m[1]).second) return fail("second HELP");
        } else if (line.rfind("# TYPE ", 0) == 0) {
            if (!std::regex_match(line, m, TypeLine)) return fail("bad TYPE");
            if (sampled.count(m[1])) return fail("TYPE after the samples");
            if (!file.types.emplace(m[1], m[2]).second) return fail("second TYPE");
        } else if (line[0] == '#') {
            continue;  // a comment
        } else {
            PromSample sample;
            if (!ParseSample(line, sample)) return fail("bad sample");
            if (!file.types.count(sample.name)) return fail("sample without TYPE");
            const std::string& name = sample.name;
            const bool total = name.size() > 6 && name.compare(name.size() - 6, 6, "_total") == 0;
            if (file.types[name] == "counter" && !total) return fail("counter not named _total");
            if (sampled.count(name) && file.samples.back().name != name)
                return fail("the samples of one metric are not together");
            sampled.insert(name);
            for (const PromSample& other : file.samples)
                if (other.name == sample.name && other.labels == sample.labels)
                    return fail("the same series twice");
            file.samples.push_back(sample);
        }
    }
    return true;
}

}  // namespace kv::test
