#include "probe/origin_verdict.h"

#include <algorithm>

#include "onewire/result.h"

namespace kv::probe {
namespace {

using Origins = std::span<const ThermometerOrigin>;

struct Tally {
    std::vector<Check> fits;  // checks that fit, the weak one aside
    bool romFits = false;
    bool ruledOut = false;
};

std::vector<Tally> Count(const OriginJudgement& j) {
    std::vector<Tally> tallies(j.origins.size());
    for (const CheckOutcome& outcome : j.checks) {
        if (!outcome.applies) continue;
        for (size_t i = 0; i < tallies.size(); ++i) {
            if (outcome.fits[i] == Fit::RulesOut) tallies[i].ruledOut = true;
            if (outcome.fits[i] != Fit::Fits) continue;
            if (IsWeak(outcome.check))
                tallies[i].romFits = true;
            else
                tallies[i].fits.push_back(outcome.check);
        }
    }
    return tallies;
}

std::string Names(Origins origins, const std::vector<size_t>& which) {
    std::string text;
    for (size_t i = 0; i < which.size(); ++i) {
        if (i) text += i + 1 == which.size() ? " and " : ", ";
        text += origins[which[i]].name;
    }
    return text;
}

const char* RemedyText(Remedy remedy) {
    switch (remedy) {
        case Remedy::RunAgain:
            return "run the inspection again";
        case Remedy::LowerLatency:
            return "lower the serial adapter's latency (1 ms) and run it again";
        case Remedy::RoomTemperature:
            return "inspect it between 0 and 30 °C";
        case Remedy::OwnSupply:
            return "power it with three wires and run it again";
        case Remedy::None:
            break;
    }
    return "";
}

std::string Suggestion(std::vector<Remedy> remedies) {
    std::sort(remedies.begin(), remedies.end());
    remedies.erase(std::unique(remedies.begin(), remedies.end()), remedies.end());
    std::string text;
    for (Remedy r : remedies) {
        if (r == Remedy::None) continue;
        if (!text.empty()) text += "; ";
        text += RemedyText(r);
    }
    return text;
}

// The checks a genuine part's answer lacks, and what would supply them.
std::vector<const CheckOutcome*> Missing(const OriginJudgement& j) {
    std::vector<const CheckOutcome*> missing;
    for (const CheckOutcome& outcome : j.checks)
        if (outcome.applies && outcome.fits.front() == Fit::NotObserved)
            missing.push_back(&outcome);
    return missing;
}

std::vector<Remedy> Remedies(const std::vector<const CheckOutcome*>& missing) {
    std::vector<Remedy> remedies;
    for (const CheckOutcome* m : missing) remedies.push_back(m->remedy);
    return remedies;
}

// The checks that fit each candidate, of those that tell every candidate something: a
// check one of them could not be judged by (a span too wide for its published one, say)
// favours none of them.
std::vector<std::vector<Check>> FitsToCompare(const OriginJudgement& j,
                                              const std::vector<size_t>& candidates) {
    std::vector<std::vector<Check>> fits(candidates.size());
    for (const CheckOutcome& outcome : j.checks) {
        if (!outcome.applies || IsWeak(outcome.check)) continue;
        const bool open = std::any_of(candidates.begin(), candidates.end(), [&](size_t i) {
            return outcome.fits[i] == Fit::NotObserved;
        });
        if (open) continue;
        for (size_t k = 0; k < candidates.size(); ++k)
            if (outcome.fits[candidates[k]] == Fit::Fits) fits[k].push_back(outcome.check);
    }
    return fits;
}

// Not genuine: the family that the most checks fit, of those no check rules out; the ROM
// pattern settles a tie.
void NameTheClone(OriginJudgement& j, const std::vector<Tally>& tallies) {
    j.conclusion = Conclusion::Clone;
    std::vector<size_t> candidates;
    for (size_t i = 1; i < tallies.size(); ++i)
        if (!tallies[i].ruledOut) candidates.push_back(i);
    const std::vector<std::vector<Check>> fits = FitsToCompare(j, candidates);
    size_t most = 0;
    for (const std::vector<Check>& f : fits) most = std::max(most, f.size());
    std::vector<size_t> best;
    for (size_t k = 0; k < candidates.size(); ++k)
        if (fits[k].size() == most) best.push_back(candidates[k]);
    bool byRom = false;
    if (best.size() > 1) {
        std::vector<size_t> romBest;
        for (size_t i : best)
            if (tallies[i].romFits) romBest.push_back(i);
        byRom = romBest.size() == 1;
        if (byRom) best = romBest;
    }
    if (candidates.empty() || most == 0 || best.size() != 1) {
        if (candidates.empty())
            j.reason = "it fits no published family";
        else if (most == 0)
            j.reason = "too little was seen to tell its family";
        else
            j.reason = "it fits families " + Names(j.origins, best) + " alike";
        j.suggestion = Suggestion(Remedies(Missing(j)));
        return;
    }
    j.clone = &j.origins[best.front()];
    j.decidedBy = tallies[best.front()].fits;
    if (byRom) j.decidedBy.push_back(Check::Rom);
}

void Conclude(OriginJudgement& j, const ThermometerInspection& seen) {
    const std::vector<Tally> tallies = Count(j);
    for (const CheckOutcome& outcome : j.checks)
        if (outcome.applies && outcome.fits.front() == Fit::RulesOut)
            j.notGenuine.push_back(outcome.check);
    if (!j.notGenuine.empty()) {
        NameTheClone(j, tallies);
        return;
    }
    if (!seen.first) {
        j.reason = "the part could not be read (" + OneWireResultLabel(seen.result) + ")";
        j.suggestion = RemedyText(Remedy::RunAgain);
        return;
    }
    const std::vector<const CheckOutcome*> missing = Missing(j);
    std::vector<size_t> open;
    for (size_t i = 1; i < tallies.size(); ++i)
        if (!tallies[i].ruledOut) open.push_back(i);
    if (missing.empty() && open.empty()) {
        j.conclusion = Conclusion::Genuine;
        for (const CheckOutcome& outcome : j.checks)
            if (outcome.applies && outcome.fits.front() == Fit::Fits)
                j.decidedBy.push_back(outcome.check);
        return;
    }
    std::vector<Remedy> remedies = Remedies(missing);
    for (const CheckOutcome* m : missing) {
        if (!j.reason.empty()) j.reason += "; ";
        j.reason += std::string(CheckName(m->check)) + ": " + m->unseen;
    }
    if (!open.empty()) {
        if (!j.reason.empty()) j.reason += "; ";
        j.reason += "nothing seen rules out clone famil" +
                    std::string(open.size() > 1 ? "ies " : "y ") + Names(j.origins, open);
        // What tells those apart is what a part on parasite power cannot show.
        if (missing.empty())
            remedies.push_back(seen.external == false ? Remedy::OwnSupply : Remedy::RunAgain);
    }
    j.suggestion = Suggestion(remedies);
}

struct CheckWords {
    Check check;
    const char* name;
    const char* key;
};
constexpr CheckWords Words[] = {
    {Check::Rom, "ROM code", "rom"},
    {Check::Found, "scratchpad as found", "found"},
    {Check::Write, "scratchpad write", "write"},
    {Check::Eeprom, "EEPROM recall", "eeprom"},
    {Check::Converted, "scratchpad bytes 5-7", "scratchpad"},
    {Check::Resolution, "resolution write", "resolution-write"},
    {Check::ConversionTime, "conversion time", "conversion-time"},
    {Check::Busy, "busy signal", "busy-signal"},
    {Check::Parasite, "parasite power", "parasite"},
};

const CheckWords& WordsOf(Check check) {
    for (const CheckWords& w : Words)
        if (w.check == check) return w;
    return Words[0];
}

}  // namespace

const char* CheckName(Check check) {
    return WordsOf(check).name;
}

const char* CheckKey(Check check) {
    return WordsOf(check).key;
}

OriginJudgement JudgeOrigin(const ThermometerInspection& seen) {
    OriginJudgement j;
    j.origins = ThermometerOrigins(seen.rom[0]);
    if (j.origins.empty()) {
        j.reason = "nothing is published for this family";
        return j;
    }
    j.checks = HoldAgainstOrigins(seen, j.origins);
    Conclude(j, seen);
    return j;
}

}  // namespace kv::probe
