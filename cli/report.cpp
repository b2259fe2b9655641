#include "cli/report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "engine/gps_time.h"
#include "support/paths.h"
#include "support/utf8.h"

namespace quenrix::cli {
namespace {

// Length of the well-formed UTF-8 character at `at`; 0 where none starts.
std::size_t CharacterAt(const std::string& text, std::size_t at) {
    return utf8::WellFormedLength(reinterpret_cast<const unsigned char*>(text.data()) + at,
                                  text.size() - at);
}

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = CharacterAt(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

// A name's field, and beside it, where the name is not UTF-8 (Linux takes
// any bytes but "/" and NUL), "<field>_hex" with its exact bytes: the
// field itself then shows U+FFFD for the bytes it cannot spell, and two
// such names could read alike.
void PutName(nlohmann::json& file, const std::string& field, const std::string& name) {
    file[field] = name.empty() && field != "path" ? nlohmann::json(nullptr) : nlohmann::json(name);
    if (!IsUtf8(name))
        file[field + "_hex"] = Hex(name);
}

std::string KindName(std::size_t kind) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(kind));
    return text;
}

}  // namespace

std::string Counted(std::uint64_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string GpsTimeText(std::uint32_t seconds) {
    DateTimeRecord date;
    GpsSecondsToDateTime(seconds, date);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", date.year, date.month,
                  date.day, date.hour, date.minute, date.second);
    return text;
}

std::string Printable(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    char escaped[8];
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = CharacterAt(text, i);
        const auto lead = static_cast<unsigned char>(text[i]);
        const bool c1 = n == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (n == 0 || (n == 1 && (lead < 0x20 || lead == 0x7F)) || c1) {
            // A byte that is no character, or a control character (C0,
            // DEL, C1), which would act on the terminal: written out.
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k) {
                std::snprintf(escaped, sizeof escaped, "\\x%02X",
                              static_cast<unsigned char>(text[i + k]));
                shown += escaped;
            }
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        shown.append(text, i, n);
        i += n;
    }
    return shown;
}

std::string TextLine(const FileReport& report, bool verbose) {
    const RecordTotals totals = report.counts.Totals();
    std::string line = Printable(report.path) + ": ";
    // A reason that names the outcome itself ("input missing: no such
    // file") stands in its place.
    if (!ReasonNamesItsOutcome(report.problem))
        line += report.outcome + (report.problem ? ": " : "");
    line += Printable(ReasonText(report.problem));
    if (!report.output.empty())
        line += " -> " + Printable(report.output);
    if (report.alreadyStored)
        line += " (already stored)";
    if (report.inputDeleted)
        line += " (input deleted)";
    if (report.inputKept)
        line += " (" + KeptInputReason(report.counts) + "; --delete-damaged-input deletes it)";
    if (report.result == static_cast<std::int32_t>(ConvertResult::Converted)) {
        line += "; " + Counted(totals.written, "record") + " kept, " +
                std::to_string(totals.badCheck + totals.cutShort) + " dropped (" +
                std::to_string(totals.badCheck) + " bad check value, " +
                std::to_string(totals.cutShort) + " cut short), " +
                Counted(report.counts.inputBytes - report.counts.outputBytes, "byte") +
                " not carried over, " +
                Counted(report.counts.oneStep + report.counts.twoSteps, "time") + " corrected (" +
                std::to_string(report.counts.twoSteps) + " by two steps)";
        if (report.firstGpsTime)
            line += "; first GPS time " + GpsTimeText(*report.firstGpsTime);
    }
    if (verbose) {
        for (std::size_t kind = 0; kind < 256; ++kind) {
            const auto& c = report.counts;
            if (c.accepted[kind] + c.badCheck[kind] + c.cutShort[kind] == 0)
                continue;
            char row[128];
            std::snprintf(row, sizeof row,
                          "\n    kind %s: %llu kept, %llu bad check value, %llu cut short",
                          KindName(kind).c_str(), static_cast<unsigned long long>(c.accepted[kind]),
                          static_cast<unsigned long long>(c.badCheck[kind]),
                          static_cast<unsigned long long>(c.cutShort[kind]));
            line += row;
        }
        for (const std::string& message : report.messages) line += "\n    " + Printable(message);
    }
    if (verbose || !report.ok) {
        for (const std::string& message : report.log) line += "\n    log: " + Printable(message);
    }
    return line;
}

FileReport FolderReport(const Failure& failure) {
    FileReport report;
    report.path = failure.path;
    report.kind = "folder";
    report.result = static_cast<std::int32_t>(ConvertResult::Failed);
    report.code = Outcome::Failed;
    report.outcome = Describe(Outcome::Failed).word;
    report.problem = Problem(Problem::Kind::CannotReadFolder, failure.path, failure.cause);
    return report;
}

std::string SummaryLine(const Summary& summary) {
    std::string text = Counted(summary.batch.files, "file");
    if (summary.foldersNotRead != 0)
        text += " and " + Counted(summary.foldersNotRead, "folder") + " not read";
    char figures[128];
    std::snprintf(figures, sizeof figures, ": %zu %s, %zu unchanged, %zu failed",
                  summary.batch.corrected, summary.dryRun ? "would be corrected" : "corrected",
                  summary.batch.unchanged, summary.batch.failed + summary.foldersNotRead);
    text += figures;
    std::snprintf(figures, sizeof figures, "; %.1f MiB read in %.1f s",
                  static_cast<double>(summary.batch.bytes) / (1024.0 * 1024.0), summary.seconds);
    text += figures;
    if (summary.batch.end == BatchEnd::Interrupted)
        text += "; interrupted, " + Counted(summary.batch.notConverted, "file") + " not converted";
    return text;
}

std::string JsonReport(const std::vector<FileReport>& reports, const Summary& summary,
                       bool dryRun) {
    nlohmann::json files = nlohmann::json::array();
    for (const FileReport& report : reports) {
        const RecordTotals totals = report.counts.Totals();
        nlohmann::json byKind = nlohmann::json::object();
        for (std::size_t kind = 0; kind < 256; ++kind) {
            const auto& c = report.counts;
            if (c.accepted[kind] + c.badCheck[kind] + c.cutShort[kind] == 0)
                continue;
            byKind[KindName(kind)] = {{"kept", c.accepted[kind]},
                                      {"bad_check_value", c.badCheck[kind]},
                                      {"cut_short", c.cutShort[kind]}};
        }
        nlohmann::json file = {
            {"kind", report.kind},
            {"result", report.result},
            {"outcome", report.outcome},
            {"ok", report.ok},
            {"receiver_type", report.receiverType},
            {"records",
             {{"kept", totals.written},
              {"bad_check_value", totals.badCheck},
              {"cut_short", totals.cutShort},
              {"by_kind", byKind}}},
            {"bytes",
             {{"read", report.counts.inputBytes},
              {"kept", report.counts.outputBytes},
              {"not_carried_over", report.counts.inputBytes - report.counts.outputBytes}}},
            {"times_corrected",
             {{"one_step", report.counts.oneStep}, {"two_steps", report.counts.twoSteps}}},
            {"first_gps_time", report.firstGpsTime
                                   ? nlohmann::json(GpsTimeText(*report.firstGpsTime))
                                   : nlohmann::json(nullptr)},
            {"input_deleted", report.inputDeleted},
            {"already_stored", report.alreadyStored},
            {"input_kept", report.inputKept ? nlohmann::json(KeptInputReason(report.counts))
                                            : nlohmann::json(nullptr)},
            {"messages", report.messages},
            {"reason",
             report.problem ? nlohmann::json(ReasonText(report.problem)) : nlohmann::json(nullptr)},
            {"log", report.log},
        };
        PutName(file, "path", report.path);
        PutName(file, "output", report.output);
        files.push_back(std::move(file));
    }
    const nlohmann::json totals = {
        {"files", summary.batch.files},
        {"folders_not_read", summary.foldersNotRead},
        {"corrected", summary.batch.corrected},
        {"unchanged", summary.batch.unchanged},
        {"failed", summary.batch.failed + summary.foldersNotRead},
        {"not_done", summary.batch.notConverted},
        {"bytes_read", summary.batch.bytes},
        {"seconds", summary.seconds},
    };
    nlohmann::json document = {{"dry_run", dryRun},
                               {"interrupted", summary.batch.end == BatchEnd::Interrupted},
                               {"summary", totals},
                               {"files", std::move(files)}};
    // Names that are not UTF-8 are shown with replacement characters, and
    // exactly in their "_hex" fields.
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace quenrix::cli
