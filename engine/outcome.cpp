#include "engine/outcome.h"

namespace quenrix {

std::string ReasonText(const FileOutcome& outcome, Language language) {
    if (outcome.problem)
        return ReasonText(outcome.problem, language);
    if (outcome.inputKept)
        return language == Language::English
                   ? kDroppedRecordsKeptReason
                   : "入力ファイルは残しました：補正後ファイルにないレコードがあります"
                     "（チェック値不正、または途中で切れたレコード）";
    if (outcome.outcome == Outcome::Corrected)
        return NotCarriedOverText(outcome.conversion.counts, language);
    return {};
}

}  // namespace quenrix
