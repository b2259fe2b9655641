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

std::string KeptInputReason(const ConversionCounts& counts, Language language) {
    const bool english = language == Language::English;
    if (counts.Totals().Dropped() > 0)
        return english ? kDroppedRecordsKeptReason : kDroppedRecordsKeptReasonJapanese;
    return english
               ? "input kept: it holds bytes between records that the corrected file does "
                 "not, so the corrected file could not give it back"
               : "入力ファイルは残しました：補正後ファイルにない、レコード間のバイトがあるため、"
                 "補正後ファイルからは元に戻せません";
}

std::string ReasonText(const FileOutcome& outcome, Language language) {
    if (outcome.problem)
        return ReasonText(outcome.problem, language);
    if (outcome.inputKept)
        return KeptInputReason(outcome.conversion.counts, language);
    if (outcome.outcome == Outcome::Corrected)
        return NotCarriedOverText(outcome.conversion.counts, language);
    return {};
}

}  // namespace quenrix
