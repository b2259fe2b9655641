#include "engine/outcome.h"

namespace quenrix {

std::string NotCarriedOverText(const ConversionCounts& counts, Language language) {
    if (counts.inputBytes <= counts.outputBytes)
        return {};
    const RecordTotals totals = counts.Totals();
    const std::string bytes = std::to_string(counts.inputBytes - counts.outputBytes);
    const std::string bad = std::to_string(totals.badCheck);
    const std::string cut = std::to_string(totals.cutShort);
    if (language == Language::Japanese)
        return bytes + " バイトは引き継がれません（チェック値不正のレコード " + bad +
               " 件、途中で切れたレコード " + cut + " 件）";
    const auto plural = [](std::uint64_t count) { return count == 1 ? "" : "s"; };
    return bytes + " byte" + plural(counts.inputBytes - counts.outputBytes) +
           " not carried over (" + bad + " record" + plural(totals.badCheck) +
           " with a bad check value, " + cut + " cut short)";
}

std::string ReasonText(const FileOutcome& outcome, Language language) {
    if (outcome.problem)
        return ReasonText(outcome.problem, language);
    if (outcome.inputKept)
        return language == Language::English ? kDroppedRecordsKeptReason
                                             : kDroppedRecordsKeptReasonJapanese;
    if (outcome.outcome == Outcome::Corrected)
        return NotCarriedOverText(outcome.conversion.counts, language);
    return {};
}

}  // namespace quenrix
