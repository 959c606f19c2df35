#include "probe/origin_verdict.h"

#include <algorithm>

#include "onewire/result.h"
#include "onewire/thermometer_family.h"

namespace kv::probe {
namespace {

using Origins = std::vector<const OriginSignature*>;

Fit FitsIf(bool holds) {
    return holds ? Fit::Fits : Fit::RulesOut;
}

Fit Expect(const std::optional<bool>& published, bool seen) {
    return published ? FitsIf(*published == seen) : Fit::NotPublished;
}

std::vector<Fit> RomFits(const Origins& origins, const RomCode& rom) {
    std::vector<Fit> fits;
    bool anyPattern = false;
    for (const OriginSignature* o : origins) {
        const bool fitted = o->rom && o->rom(rom);
        anyPattern = anyPattern || fitted;
        fits.push_back(o->rom ? FitsIf(fitted) : Fit::NotPublished);
    }
    for (size_t i = 0; i < origins.size(); ++i)
        if (origins[i]->irregularRom) fits[i] = FitsIf(!anyPattern);
    return fits;
}

// One fit for each origin: what `judge` makes of it, or NotObserved for all of them when the
// inspection did not see what the check needs.
template <typename Judge>
std::vector<Fit> EachOrigin(const Origins& origins, bool observed, Judge judge) {
    std::vector<Fit> fits;
    for (const OriginSignature* o : origins)
        fits.push_back(observed ? judge(*o) : Fit::NotObserved);
    return fits;
}

std::vector<Fit> PowerUpFits(const Origins& origins, const ThermometerFamily& family,
                             const ThermometerInspection& seen) {
    return EachOrigin(origins, FirstIsPowerUp(seen), [&](const OriginSignature& o) {
        return o.powerUp ? FitsIf(o.powerUp(family, *seen.first)) : Fit::NotPublished;
    });
}

std::vector<Fit> ConvertedFits(const Origins& origins, const ThermometerInspection& seen) {
    return EachOrigin(origins, seen.converted.has_value(), [&](const OriginSignature& o) {
        return o.converted ? o.converted(*seen.converted) : Fit::NotPublished;
    });
}

// The conversion ended after busyMs and by doneMs: an origin fits when its span meets that.
std::vector<Fit> TimeFits(const Origins& origins, const ThermometerInspection& seen) {
    const bool observed = seen.fullTime && !seen.fullTime->cutShort;
    return EachOrigin(origins, observed, [&](const OriginSignature& o) {
        if (!o.conversion) return Fit::NotPublished;
        const ConversionTime& t = *seen.fullTime;
        return FitsIf(t.ended && t.busyMs < o.conversion->maxMs && t.doneMs >= o.conversion->minMs);
    });
}

std::vector<Fit> ResolutionFits(const Origins& origins, const ThermometerInspection& seen) {
    const std::optional<bool> honoured = ResolutionHonoured(seen);
    return EachOrigin(origins, honoured.has_value(), [&](const OriginSignature& o) {
        return Expect(o.resolutionHonoured, *honoured);
    });
}

// Only a part that says it runs on parasite power tells anything here.
std::vector<Fit> ParasiteFits(const Origins& origins, const ThermometerInspection& seen) {
    const bool parasite = seen.external == false && seen.converted.has_value();
    return EachOrigin(origins, parasite,
                      [](const OriginSignature& o) { return Expect(o.parasitePower, true); });
}

struct Tally {
    std::vector<Check> fits;  // strong checks that fit
    std::vector<Check> rulesOut;
    bool romFits = false;
    bool romRulesOut = false;

    bool consistent() const { return rulesOut.empty() && !fits.empty(); }
};

std::string Names(const Origins& origins, const std::vector<size_t>& which) {
    std::string text;
    for (size_t i = 0; i < which.size(); ++i) {
        if (i) text += i + 1 == which.size() ? " and " : ", ";
        text += origins[which[i]]->name;
    }
    return text;
}

void Conclude(OriginJudgement& j) {
    std::vector<Tally> tallies(j.origins.size());
    for (const CheckOutcome& outcome : j.checks) {
        for (size_t i = 0; i < tallies.size(); ++i) {
            const Fit fit = outcome.fits[i];
            if (IsWeak(outcome.check)) {
                tallies[i].romFits = fit == Fit::Fits;
                tallies[i].romRulesOut = fit == Fit::RulesOut;
            } else if (fit == Fit::Fits) {
                tallies[i].fits.push_back(outcome.check);
            } else if (fit == Fit::RulesOut) {
                tallies[i].rulesOut.push_back(outcome.check);
            }
        }
    }
    std::vector<size_t> clones;
    for (size_t i = 1; i < tallies.size(); ++i)
        if (tallies[i].consistent()) clones.push_back(i);
    const Tally& genuine = tallies[0];
    j.notGenuine = genuine.rulesOut;

    if (genuine.rulesOut.empty()) {
        if (genuine.fits.empty()) {
            j.reason = "too little could be seen to tell";
            return;
        }
        // A genuine part is never called a clone on the strength of its ROM code alone.
        std::vector<size_t> romClones;
        for (size_t i : clones)
            if (tallies[i].romFits) romClones.push_back(i);
        if (genuine.romRulesOut && !romClones.empty()) {
            j.reason = "the checks fit a genuine part, but the ROM code is that of clone family " +
                       Names(j.origins, romClones);
            return;
        }
        j.conclusion = Conclusion::Genuine;
        j.decidedBy = genuine.fits;
        return;
    }
    if (clones.empty()) {
        j.reason = "it fits no published origin";
        return;
    }
    // The clone family that the most checks fit; the ROM code settles a tie.
    size_t most = 0;
    for (size_t i : clones) most = std::max(most, tallies[i].fits.size());
    std::vector<size_t> best;
    for (size_t i : clones)
        if (tallies[i].fits.size() == most) best.push_back(i);
    bool byRom = false;
    if (best.size() > 1) {
        std::vector<size_t> romBest;
        for (size_t i : best)
            if (tallies[i].romFits) romBest.push_back(i);
        byRom = romBest.size() == 1;
        if (byRom) best = romBest;
    }
    if (best.size() > 1) {
        j.reason = "it fits clone families " + Names(j.origins, best) + " alike";
        return;
    }
    j.conclusion = Conclusion::Clone;
    j.clone = j.origins[best[0]];
    j.decidedBy = tallies[best[0]].fits;
    if (byRom) j.decidedBy.push_back(Check::Rom);
}

struct CheckWords {
    Check check;
    const char* name;
    const char* key;
};
constexpr CheckWords Words[] = {
    {Check::Rom, "ROM code", "rom"},
    {Check::PowerUp, "power-up value", "power-up"},
    {Check::Scratchpad, "scratchpad bytes 5-7", "scratchpad"},
    {Check::ConversionTime, "conversion time", "conversion-time"},
    {Check::ResolutionWrite, "resolution write", "resolution-write"},
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

bool FirstIsPowerUp(const ThermometerInspection& seen) {
    const ThermometerFamily* family = FindThermometerFamily(seen.rom[0]);
    if (!family || !seen.first) return false;
    for (const OriginSignature* o : OriginSignatures(seen.rom[0]))
        if (o->powerUp && o->powerUp(*family, *seen.first)) return true;
    return false;
}

std::optional<bool> ResolutionHonoured(const ThermometerInspection& seen) {
    const ThermometerFamily* family = FindThermometerFamily(seen.rom[0]);
    if (!family || !seen.reduced || seen.reducedBits == 0) return std::nullopt;
    if (ScratchpadResolution(*family, *seen.reduced) != seen.reducedBits) return false;
    // Each bit less halves the conversion; a part that converts at the lower resolution no
    // quicker than in half the full time has not taken it, whatever its register says.
    const std::optional<ConversionTime>&full = seen.fullTime, &reduced = seen.reducedTime;
    if (full && reduced && full->ended && reduced->ended && reduced->busyMs * 2 >= full->doneMs)
        return false;
    return true;
}

OriginJudgement JudgeOrigin(const ThermometerInspection& seen) {
    OriginJudgement j;
    j.origins = OriginSignatures(seen.rom[0]);
    const ThermometerFamily* family = FindThermometerFamily(seen.rom[0]);
    if (j.origins.empty() || !family) {
        j.reason = "nothing is published for this family";
        return j;
    }
    if (!seen.first) {
        j.reason = "the part could not be read (" + OneWireResultLabel(seen.result) + ")";
        return j;
    }
    j.checks = {
        {Check::Rom, RomFits(j.origins, seen.rom)},
        {Check::PowerUp, PowerUpFits(j.origins, *family, seen)},
        {Check::Scratchpad, ConvertedFits(j.origins, seen)},
        {Check::ConversionTime, TimeFits(j.origins, seen)},
        {Check::ResolutionWrite, ResolutionFits(j.origins, seen)},
        {Check::Parasite, ParasiteFits(j.origins, seen)},
    };
    Conclude(j);
    return j;
}

}  // namespace kv::probe
